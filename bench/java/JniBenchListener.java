import com.varnex.optika.JniOptika;

/** Hands each label that reaches Java, with the moment it did, to the benchmark. */
public final class JniBenchListener implements JniOptika.Listener {
    static native void arrived(byte[] label, long nanos);

    @Override
    public void barcode(byte[] aimId, byte codeId, byte[] data, int length) {
        arrived(data, System.nanoTime());
    }

    /** Loads the bridge (by absolute path, into this class loader) and listens. */
    public static void install(String library) {
        System.load(library);
        JniOptika.setListener(new JniBenchListener());
    }
}
