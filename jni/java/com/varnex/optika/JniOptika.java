package com.varnex.optika;

/**
 * The Java face of the scanner bridge libjniOptika.so.
 *
 * The library is loaded by the program (System.load with the library's
 * absolute path, or System.loadLibrary("jniOptika")) before the first call.
 * Call initMIDs first, then pfnFindFirstPort, pfnConnect, the commands, and
 * finally pfnDisconnect and deInitMIDs.
 *
 * The bridge calls the static cpp...CallBack methods on its own threads (a
 * scanner's data thread, its monitor thread) and on the thread inside
 * pfnUpgradeFirmware for progress. They hand what arrives to the listener
 * set with setListener; without one it is dropped.
 */
public final class JniOptika {
    /** What the bridge delivers; every method runs on a bridge thread. */
    public interface Listener {
        default void barcode(byte[] aimId, byte codeId, byte[] data, int length) {}
        default void barcodeError(char[] message, int code) {}
        default void statusUpdate(int status) {}
        default void firmwareProgress(int transferred, int total) {}
        default void menuData(int terminator, int response, int tagData, byte[] data, int length) {}
        default void imageData(int format, byte[] image, int length) {}
        default void disconnect(byte[] message, int length) {}
        default void rawData(byte[] data, int length) {}
    }

    private static volatile Listener listener;

    private JniOptika() {}

    public static void setListener(Listener l) { listener = l; }

    // --- natives -----------------------------------------------------------
    public static native int initMIDs();
    /** Registered by initMIDs; call it after pfnDisconnect. */
    public static native void deInitMIDs();
    public static native void pfnSetDebugger(int type, String path);
    public static native int pfnConnect(int timeoutMs);
    public static native int pfnDisconnect();
    public static native int pfnReconnect();
    public static native int pfnFindFirstPort(int timeoutMs, int interfaceType, int baud, int dps, byte[] port,
                                              int portLength, boolean autodetect, boolean breakSearch);
    public static native int pfnSendMessageSync(byte[] command, int timeoutMs, char[] response, int reserved);
    public static native int pfnSendMessageAsync(String command, int reserved);
    public static native int pfnSwitchDataMode(int mode);
    public static native int pfnDeviceInformation(char[] deviceInformation, char[] productInformation);
    public static native int pfnUpgradeFirmware(int debugType, int debugLevel, String debugFile, String protocolFile,
                                                String flashLibraryFolder, String flashFile);
    public static native int pfnCancelUpgradeFirmware();
    public static native void pfnSetSDKLogLevel(int level);

    // --- callbacks from the bridge --------------------------------------------
    static void cppStatusUpdateEventCallBack(int status) {
        Listener l = listener;
        if (l != null) l.statusUpdate(status);
    }

    static void cppBarcodeCallBack(byte[] aimId, byte codeId, byte[] data, int length) {
        Listener l = listener;
        if (l != null) l.barcode(aimId, codeId, data, length);
    }

    static void cppBarcodeErrorCallBack(char[] message, int code) {
        Listener l = listener;
        if (l != null) l.barcodeError(message, code);
    }

    static void cppUpdateFirmwareCallBack(int transferred, int total) {
        Listener l = listener;
        if (l != null) l.firmwareProgress(transferred, total);
    }

    static void cppMenuDataCallBack(int terminator, int response, int tagData, byte[] data, int length) {
        Listener l = listener;
        if (l != null) l.menuData(terminator, response, tagData, data, length);
    }

    static void cppImageDataCallBack(int format, byte[] image, int length) {
        Listener l = listener;
        if (l != null) l.imageData(format, image, length);
    }

    static void cppDisconnectCallBack(byte[] message, int length) {
        Listener l = listener;
        if (l != null) l.disconnect(message, length);
    }

    static void cppRawDataCallBack(byte[] data, int length) {
        Listener l = listener;
        if (l != null) l.rawData(data, length);
    }
}
