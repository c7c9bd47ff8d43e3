// The library's load and unload exports, the native methods of
// com.varnex.optika.JniOptika and the cross-process in-use lock.
//
// Every native logs "Entered" and "Exiting" under its tag, catches every
// exception and answers a code: the bridge's own (JniResult_tag), the
// facade's, -1 for a missing argument, or its fixed fall-back. JNI
// resources a native obtains are released on every way out.
//
// Threads: every native that touches the scanner runs under the facade's
// lock (CSDKKestrel::Turn); pfnCancelUpgradeFirmware does not, so that it
// reaches a running flash.
//
// In-use lock: one process at a time drives a scanner through the library.
// pfnConnect takes a machine-wide mutex in one step and keeps it, also when
// the connect fails; only pfnDisconnect in the holding process, or that
// process's end, lets it go.
#include "CSDKKestrel.h"
#include "JniCallbacks.h"
#include "JniModule.h"

#include "debug/DebugLog.h"
#include "debug/DebugStd.h"
#include "debug/DebugStd_TID.h"

#include "platform/debug.h"
#include "platform/error.h"
#include "platform/sync.h"

#include <jni.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr const char* kInUseName = "Global\\VarnexJniOptikaInUse";

// The application object: owns the one facade from load to the process's
// end (the system loader never unloads the library).
class CJniOptika {
public:
    CSDKKestrel& Kestrel() { return m_kestrel; }

private:
    CSDKKestrel m_kestrel;
};

CJniOptika theApp;

// The in-use mutex this process holds; null when it holds none.
std::mutex g_inUseLock;
HANDLE g_inUse = nullptr;
jobject g_callerRef = nullptr;

// Array elements released (copied back) when the scope ends.
class ByteElements {
public:
    ByteElements(JNIEnv* env, jbyteArray array) : m_env(env), m_array(array)
    {
        m_bytes = env->GetByteArrayElements(array, nullptr);
    }
    ~ByteElements()
    {
        if (m_bytes != nullptr)
            m_env->ReleaseByteArrayElements(m_array, m_bytes, 0);
    }
    ByteElements(const ByteElements&) = delete;
    ByteElements& operator=(const ByteElements&) = delete;
    const char* get() const { return reinterpret_cast<const char*>(m_bytes); }

private:
    JNIEnv* m_env;
    jbyteArray m_array;
    jbyte* m_bytes = nullptr;
};

class UtfChars {
public:
    UtfChars(JNIEnv* env, jstring text) : m_env(env), m_text(text) { m_chars = env->GetStringUTFChars(text, nullptr); }
    ~UtfChars()
    {
        if (m_chars != nullptr)
            m_env->ReleaseStringUTFChars(m_text, m_chars);
    }
    UtfChars(const UtfChars&) = delete;
    UtfChars& operator=(const UtfChars&) = delete;
    const char* get() const { return m_chars; }

private:
    JNIEnv* m_env;
    jstring m_text;
    const char* m_chars = nullptr;
};

class NativeTrace {
public:
    explicit NativeTrace(const char* tag, const char* exitText = "Exiting") : m_tag(tag), m_exitText(exitText)
    {
        DbgLog(m_tag, "Entered");
    }
    ~NativeTrace()
    {
        if (m_exitLine)
            DbgLog(m_tag, m_exitText);
    }
    NativeTrace(const NativeTrace&) = delete;
    NativeTrace& operator=(const NativeTrace&) = delete;
    // A missing argument ends the native without its "Exiting" line.
    jint missingArgument(const char* text)
    {
        DbgLog(m_tag, text);
        m_exitLine = false;
        return -1;
    }

private:
    const char* m_tag;
    const char* m_exitText;
    bool m_exitLine = true;
};

// Widens bytes one Java char per byte (no character-set conversion) and
// writes them at index 0 of `array`. False when the JVM raised an exception
// (left pending for the caller to handle).
bool WriteChars(JNIEnv* env, jcharArray array, const std::string& bytes)
{
    std::vector<jchar> chars;
    chars.reserve(bytes.size());
    for (unsigned char byte : bytes)
        chars.push_back(byte);
    env->SetCharArrayRegion(array, 0, static_cast<jsize>(chars.size()), chars.data());
    return !env->ExceptionCheck();
}

std::string UpToZero(const std::string& bytes)
{
    return bytes.substr(0, bytes.find('\0'));
}

void JNICALL DeInitMIDs(JNIEnv* env, jclass);

}  // namespace

extern "C" {

JNIEXPORT jint JNICALL JNI_OnLoad(JavaVM* vm, void* /*reserved*/)
{
    OutputDebugStringA("JNI Version requested\r\n");
    g_pJavaVM = vm;
    try {
        g_pDebugger = new DebugStd_TID;
    } catch (...) {
        OutputDebugStringA("Exception occured during OnLoad\r\n");
    }
    return JNI_VERSION_1_4;
}

JNIEXPORT void JNICALL JNI_OnUnload(JavaVM* /*vm*/, void* /*reserved*/)
{
    OutputDebugStringA("OnUnLoad entered, deleting the global debugger\r\n");
    try {
        delete g_pDebugger.exchange(nullptr);
    } catch (...) {
        OutputDebugStringA("OnUnLoad exception\r\n");
    }
    g_pJavaVM = nullptr;
}

JNIEXPORT jint JNICALL Java_com_varnex_optika_JniOptika_initMIDs(JNIEnv* env, jclass)
{
    static const char* const kTag = "JniOptika_initMIDS() ";
    NativeTrace trace(kTag);
    try {
        jclass local = env->FindClass(kJniOptikaClass);
        if (local == nullptr) {
            DbgLog(kTag, "  failure to get local reference");
            throw JNI_RESULT_NO_CLASS;
        }
        jclass global = static_cast<jclass>(env->NewGlobalRef(local));
        env->DeleteLocalRef(local);
        if (global == nullptr) {
            DbgLog(kTag, "  failure to get global reference to class");
            throw JNI_RESULT_ALLOCATION;
        }
        {
            std::lock_guard<std::mutex> lock(ClassLock());
            if (g_classRef != nullptr)
                env->DeleteGlobalRef(g_classRef);
            g_classRef = global;
            std::fill(std::begin(g_methodIds), std::end(g_methodIds), nullptr);
            for (int i = 0; i < CB_COUNT; ++i) {
                jmethodID method = nullptr;
                if (!GetCallBackMethod(env, global, &method, g_callbackNames[i].name, g_callbackNames[i].signature)) {
                    const std::string text = std::string("  GetCallBackMethod(") + g_callbackNames[i].name + " failed)";
                    DbgLog(kTag, text.c_str());
                    throw JNI_RESULT_CALLBACK;
                }
                g_methodIds[i] = method;
            }
            static JNINativeMethod deInit = {const_cast<char*>("deInitMIDs"), const_cast<char*>("()V"),
                                             reinterpret_cast<void*>(&DeInitMIDs)};
            if (env->RegisterNatives(global, &deInit, 1) != 0)
                env->ExceptionClear();
        }
        return 0;
    } catch (JniResult_tag code) {
        env->ExceptionClear();
        return code;
    } catch (...) {
        env->ExceptionClear();
        DbgLog(kTag, "Exception");
        return JNI_RESULT_ALLOCATION;
    }
}

JNIEXPORT void JNICALL Java_com_varnex_optika_JniOptika_pfnSetDebugger(JNIEnv* env, jclass, jint type, jstring path)
{
    try {
        if (g_pDebugger.load() != nullptr)
            return;
        if (type == 0) {
            g_pDebugger = new DebugStd;
        } else if (type == 1) {
            g_pDebugger = new DebugStd_TID;
        } else if (type == 2 && path != nullptr) {
            UtfChars chars(env, path);
            if (chars.get() == nullptr) {
                env->ExceptionClear();
                return;
            }
            g_pDebugger = new DebugLog(chars.get());
        }
    } catch (...) {
        delete g_pDebugger.exchange(nullptr);
    }
}

JNIEXPORT jint JNICALL Java_com_varnex_optika_JniOptika_pfnConnect(JNIEnv* env, jclass cls, jint timeout)
{
    static const char* const kTag = "JniOptika_pfnConnect()";
    NativeTrace trace(kTag);
    try {
        // The in-use step and the connect are one turn: a disconnect on
        // another thread comes before or after both.
        const CSDKKestrel::Turn turn(theApp.Kestrel());
        if (!turn) {
            DbgLog(kTag, "Busy: another call holds the scanner.");
            return 7;
        }
        {
            std::lock_guard<std::mutex> lock(g_inUseLock);
            if (g_inUse == nullptr) {
                // Test and take in one step: the name exists machine-wide
                // while its holder lives.
                HANDLE mutex = CreateMutexA(nullptr, FALSE, kInUseName);
                if (mutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
                    CloseHandle(mutex);
                    mutex = nullptr;
                    DbgLog(kTag, "DLL already in use");
                    return JNI_RESULT_IN_USE;
                }
                if (mutex == nullptr) {
                    DbgLog(kTag, "DLL already in use");
                    return JNI_RESULT_IN_USE;
                }
                g_inUse = mutex;
            }
            if (g_callerRef == nullptr) {
                g_callerRef = env->NewGlobalRef(cls);
                if (g_callerRef == nullptr) {
                    env->ExceptionClear();
                    DbgLog(kTag, "throwing NewGlobalRef fail");
                    throw JNI_RESULT_ALLOCATION;
                }
            }
        }
        return theApp.Kestrel().ConnectDevice(timeout);
    } catch (JniResult_tag code) {
        DbgLog(kTag, "JNI Exception: ", static_cast<long>(code));
        return code;
    } catch (...) {
        DbgLog(kTag, "Exception");
        return 2;
    }
}

JNIEXPORT jint JNICALL Java_com_varnex_optika_JniOptika_pfnDisconnect(JNIEnv* env, jclass)
{
    static const char* const kTag = "JniOptika_pfnDisconnect()";
    NativeTrace trace(kTag);
    // The disconnect and the in-use step are one turn, as in pfnConnect.
    const CSDKKestrel::Turn turn(theApp.Kestrel());
    if (!turn) {
        DbgLog(kTag, "Busy: another call holds the scanner.");
        return 12;
    }
    jint result = -1;
    try {
        result = theApp.Kestrel().DisconnectDevice();
    } catch (...) {
        DbgLog(kTag, "Exception");
        result = -1;
    }
    if (result == 12)
        return result;  // refused: still connected, the library stays held
    DbgLog(kTag, "closed handle");
    std::lock_guard<std::mutex> lock(g_inUseLock);
    if (g_inUse != nullptr) {
        CloseHandle(g_inUse);
        g_inUse = nullptr;
    }
    if (g_callerRef != nullptr) {
        env->DeleteGlobalRef(g_callerRef);
        g_callerRef = nullptr;
    }
    return result;
}

JNIEXPORT jint JNICALL Java_com_varnex_optika_JniOptika_pfnReconnect(JNIEnv*, jclass)
{
    static const char* const kTag = "JniOptika_pfnReconnect()";
    NativeTrace trace(kTag);
    try {
        return theApp.Kestrel().ReconnectDevice();
    } catch (...) {
        DbgLog(kTag, "Exception");
        return 7;
    }
}

JNIEXPORT jint JNICALL Java_com_varnex_optika_JniOptika_pfnFindFirstPort(JNIEnv* env, jclass, jint timeout,
                                                                         jint interfaceType, jint baud, jint dps,
                                                                         jbyteArray port, jint portLength,
                                                                         jboolean autodetect, jboolean breakSearch)
{
    static const char* const kTag = "JniOptika_pfnFindFirstPort()";
    NativeTrace trace(kTag, "Exting");
    if (port == nullptr)
        return trace.missingArgument("Paramter/s is not initialized. Exiting.");
    try {
        const jsize arrayLength = env->GetArrayLength(port);
        ByteElements bytes(env, port);
        if (bytes.get() == nullptr) {
            env->ExceptionClear();
            DbgLog(kTag, "throwing GetByteArrayElements out of memory");
            throw JNI_RESULT_ALLOCATION;
        }
        PortSearch search;
        search.autodetect = autodetect != JNI_FALSE;
        search.breakSearch = breakSearch != JNI_FALSE;
        search.interfaceType = interfaceType;
        search.baud = baud;
        search.dps = dps;
        // The length decides (zero bytes included), within the array.
        const jsize length = std::clamp<jsize>(portLength, 0, arrayLength);
        search.portName.assign(bytes.get(), static_cast<std::size_t>(length));
        return theApp.Kestrel().Enumerate(timeout, search);
    } catch (JniResult_tag code) {
        DbgLog(kTag, "JNI Exception :", static_cast<long>(code));
        return code;
    } catch (...) {
        DbgLog(kTag, "Exception");
        return 7;
    }
}

JNIEXPORT jint JNICALL Java_com_varnex_optika_JniOptika_pfnSendMessageSync(JNIEnv* env, jclass, jbyteArray command,
                                                                           jint timeout, jcharArray response, jint)
{
    static const char* const kTag = "JniOptika_pfnSendMessageSync()";
    NativeTrace trace(kTag);
    if (command == nullptr || response == nullptr)
        return trace.missingArgument("Paramter/s is not initialized. Exiting.");
    try {
        const jsize arrayLength = env->GetArrayLength(command);
        std::string text;
        {
            ByteElements bytes(env, command);
            if (bytes.get() == nullptr) {
                env->ExceptionClear();
                DbgLog(kTag, "throwing GetByteArrayElements out of memory");
                throw JNI_RESULT_ALLOCATION;
            }
            // Up to the first zero byte, within the array.
            const char* end = std::find(bytes.get(), bytes.get() + arrayLength, '\0');
            text.assign(bytes.get(), end);
        }
        std::string reply;
        jint result = theApp.Kestrel().SendMenuCmdSync(text, reply, timeout);
        reply = UpToZero(reply);
        if (!reply.empty() && !WriteChars(env, response, reply)) {
            env->ExceptionClear();
            DbgLog(kTag, "throw SetCharArrayRegion bad array index");
            throw JNI_RESULT_ARRAY_COPY;
        }
        return result;
    } catch (JniResult_tag code) {
        DbgLog(kTag, "Exception", static_cast<long>(code));
        return code;
    } catch (...) {
        env->ExceptionClear();
        DbgLog(kTag, "Exception");
        return 12;
    }
}

JNIEXPORT jint JNICALL Java_com_varnex_optika_JniOptika_pfnSendMessageAsync(JNIEnv* env, jclass, jstring command, jint)
{
    static const char* const kTag = "JniOptika_pfnSendMessageAsync() ";
    NativeTrace trace(kTag);
    if (command == nullptr)
        return trace.missingArgument("Parameter/s is not initialized. Exiting.");
    try {
        UtfChars chars(env, command);
        if (chars.get() == nullptr) {
            env->ExceptionClear();
            DbgLog(kTag, "throwing GetStringUTFChars error(command is NULL)");
            throw JNI_RESULT_ALLOCATION;
        }
        DbgLog(kTag, "Command: ", chars.get());
        return theApp.Kestrel().SendCmdAsync(chars.get());
    } catch (JniResult_tag code) {
        DbgLog(kTag, "JNI Exception: ", static_cast<long>(code));
        return code;
    } catch (...) {
        DbgLog(kTag, "Exception");
        return 12;
    }
}

JNIEXPORT jint JNICALL Java_com_varnex_optika_JniOptika_pfnSwitchDataMode(JNIEnv*, jclass, jint mode)
{
    static const char* const kTag = "JniOptika_pfnSwitchDataMode() ";
    NativeTrace trace(kTag);
    jint result = 15;
    try {
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (attempt > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            result = theApp.Kestrel().SwitchMode(mode);
            if (result != 3)
                break;
        }
    } catch (...) {
        DbgLog(kTag, "Exception occured");
    }
    return result;
}

JNIEXPORT jint JNICALL Java_com_varnex_optika_JniOptika_pfnDeviceInformation(JNIEnv* env, jclass,
                                                                             jcharArray deviceInformation,
                                                                             jcharArray productInformation)
{
    static const char* const kTag = "JniOptika_pfnDeviceInformation() ";
    NativeTrace trace(kTag);
    if (deviceInformation == nullptr || productInformation == nullptr)
        return trace.missingArgument("Parameter initialization not done. Exiting.");
    try {
        DeviceInformation information;
        theApp.Kestrel().GetDeviceInformaion(information);
        DbgLog(kTag, "Product Information: ", information.productInformation.c_str());
        char numbers[96];
        std::snprintf(numbers, sizeof numbers, "%d;%d;%d;%d;%d;", information.interfaceType,
                      information.productNumber, information.feature5, information.feature14,
                      information.deviceNumber);
        const std::string device = numbers + information.portName + ";" + information.productName + ";" +
                                   information.serialNumber + ";";
        DbgLog(kTag, "Device Information: ", device.c_str());
        // A Java array that is too short leaves the JVM's exception pending
        // for the caller: no further JNI call but releases.
        if (!WriteChars(env, deviceInformation, device))
            return -1;
        if (information.productInformation.empty())
            return -1;
        if (!WriteChars(env, productInformation, information.productInformation))
            return -1;
        return 0;
    } catch (JniResult_tag code) {
        DbgLog(kTag, "JNI Exception:", static_cast<long>(code));
        return code;
    } catch (...) {
        DbgLog(kTag, "Exception");
        return -1;
    }
}

JNIEXPORT jint JNICALL Java_com_varnex_optika_JniOptika_pfnUpgradeFirmware(JNIEnv* env, jclass, jint debugType,
                                                                           jint debugLevel, jstring debugFile,
                                                                           jstring protocolFile, jstring folder,
                                                                           jstring flashFile)
{
    static const char* const kTag = "JniOptika_pfnUpgradeFirmware()";
    NativeTrace trace(kTag);
    if (folder == nullptr)
        return trace.missingArgument("Flash DLL folder path is empty. Exiting.");
    if (flashFile == nullptr)
        return trace.missingArgument("Flash file is empty. Exiting.");
    if (debugFile == nullptr)
        return trace.missingArgument("Debug file is empty. Exiting.");
    if (protocolFile == nullptr)
        return trace.missingArgument("Protocol file is empty. Exiting.");
    try {
        auto chars = [&](jstring text, const char* failure) {
            auto result = std::make_unique<UtfChars>(env, text);
            if (result->get() == nullptr) {
                env->ExceptionClear();
                DbgLog(kTag, failure);
                throw JNI_RESULT_ALLOCATION;
            }
            return result;
        };
        const auto folderChars = chars(folder, "throwing GetStringUTFChars error(Flash Dll path is NULL)");
        const auto protocolChars = chars(protocolFile, "throwing GetStringUTFChars error(Protocol File is NULL)");
        const auto debugChars = chars(debugFile, "throwing GetStringUTFChars error(Debug File is NULL)");
        const auto flashChars = chars(flashFile, "throwing GetStringUTFChars error(Flash File is NULL)");
        return theApp.Kestrel().UpdateFirmware(debugType, debugLevel, debugChars->get(), protocolChars->get(),
                                               folderChars->get(), flashChars->get());
    } catch (JniResult_tag code) {
        return code;
    } catch (...) {
        DbgLog(kTag, "Exception");
        return -1;
    }
}

JNIEXPORT jint JNICALL Java_com_varnex_optika_JniOptika_pfnCancelUpgradeFirmware(JNIEnv*, jclass)
{
    static const char* const kTag = "JniOptika_pfnCancelUpgradeFirmware()";
    NativeTrace trace(kTag);
    try {
        return theApp.Kestrel().CancelFlashing();
    } catch (...) {
        DbgLog(kTag, "Exception");
        return 2;
    }
}

JNIEXPORT void JNICALL Java_com_varnex_optika_JniOptika_pfnSetSDKLogLevel(JNIEnv*, jclass, jint level)
{
    static const char* const kTag = "JniOptika_pfnSetSDKLogLevel()";
    NativeTrace trace(kTag);
    try {
        theApp.Kestrel().SetSDKLoglevel(level);
    } catch (...) {
        DbgLog(kTag, "Exception");
    }
}

}  // extern "C"

namespace {

void JNICALL DeInitMIDs(JNIEnv* env, jclass)
{
    static const char* const kTag = "JniOptika_deInitMIDS() ";
    NativeTrace trace(kTag);
    try {
        std::lock_guard<std::mutex> lock(ClassLock());
        if (g_classRef != nullptr)
            env->DeleteGlobalRef(g_classRef);
        g_classRef = nullptr;
        std::fill(std::begin(g_methodIds), std::end(g_methodIds), nullptr);
    } catch (...) {
        DbgLog(kTag, "Exception occured");
    }
}

}  // namespace
