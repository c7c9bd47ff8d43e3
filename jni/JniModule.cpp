#include "JniModule.h"
#include "JniCallbacks.h"

#include <algorithm>
#include <climits>
#include <cstring>

const JniCallbackName g_callbackNames[CB_COUNT] = {
    {"cppStatusUpdateEventCallBack", "(I)V"},
    {"cppBarcodeCallBack", "([BB[BI)V"},
    {"cppBarcodeErrorCallBack", "([CI)V"},
    {"cppUpdateFirmwareCallBack", "(II)V"},
    {"cppMenuDataCallBack", "(III[BI)V"},
    {"cppImageDataCallBack", "(I[BI)V"},
    {"cppDisconnectCallBack", "([BI)V"},
    {"cppRawDataCallBack", "([BI)V"},
};

std::atomic<JavaVM*> g_pJavaVM{nullptr};
std::atomic<ZRIDbgBase*> g_pDebugger{nullptr};
jclass g_classRef = nullptr;
jmethodID g_methodIds[CB_COUNT] = {};

std::mutex& ClassLock()
{
    static std::mutex lock;
    return lock;
}

void DbgLog(const char* tag, const char* text)
{
    if (ZRIDbgBase* debugger = g_pDebugger.load())
        debugger->LogText(tag, text);
}

void DbgLog(const char* tag, const char* text, long number)
{
    if (ZRIDbgBase* debugger = g_pDebugger.load())
        debugger->LogTextNumber(tag, text, number);
}

void DbgLog(const char* tag, const char* text, const char* text2)
{
    if (ZRIDbgBase* debugger = g_pDebugger.load())
        debugger->LogText2(tag, text, text2);
}

bool TakeCallback(JNIEnv* env, JniCallback callback, jclass* localClass, jmethodID* method)
{
    std::lock_guard<std::mutex> lock(ClassLock());
    if (g_classRef == nullptr || g_methodIds[callback] == nullptr)
        return false;
    *localClass = static_cast<jclass>(env->NewLocalRef(g_classRef));
    *method = g_methodIds[callback];
    return *localClass != nullptr;
}

bool GetCallBackMethod(JNIEnv* env, jclass cls, jmethodID* method, const char* name, const char* signature)
{
    static const char* const kTag = "GetCallBackMethod() ";
    DbgLog(kTag, "Entered", name);
    if (env == nullptr) {
        DbgLog(kTag, "NULL given for p_env");
        return false;
    }
    const jmethodID found = env->GetStaticMethodID(cls, name, signature);
    if (found != nullptr && !env->ExceptionCheck()) {
        *method = found;
        DbgLog(kTag, "Exiting");
        return true;
    }
    env->ExceptionClear();
    DbgLog(kTag, "  failed to find method");
    return false;
}

void SendErrMsgToJava(JNIEnv* env, int code)
{
    static const char* const kTag = "SendErrMsgToJava() ";
    DbgLog(kTag, "Entered");
    DbgLog(kTag, "process JniResult");
    jclass cls = nullptr;
    jmethodID method = nullptr;
    if (!TakeCallback(env, CB_BARCODE_ERROR, &cls, &method)) {
        DbgLog(kTag, "  no class reference or method id, error dropped", static_cast<long>(code));
        DbgLog(kTag, "Exiting");
        return;
    }
    const char* failure = nullptr;
    jcharArray message = env->NewCharArray(8);
    if (message == nullptr) {
        env->ExceptionClear();
        failure = "  handler is unable to allocate a new jchar array";
    } else {
        const jchar text[8] = {'[', 'E', 'r', 'r', 'o', 'r', ']', 0};
        env->SetCharArrayRegion(message, 0, 8, text);
        if (env->ExceptionCheck()) {
            env->ExceptionClear();
            failure = "  throw handler is unable to pass errors to JniOptika";
        } else {
            env->CallStaticVoidMethod(cls, method, message, static_cast<jint>(code));
            if (env->ExceptionCheck()) {
                env->ExceptionClear();
                failure = "  handler is unable to pass back an error to JniOptika.";
            }
        }
        env->DeleteLocalRef(message);
    }
    env->DeleteLocalRef(cls);
    if (failure != nullptr)
        DbgLog(kTag, failure);
    DbgLog(kTag, "Exiting");
}

// --- forwarders -----------------------------------------------------------------

namespace {

std::atomic<int> g_forwardersInside{0};
std::atomic<bool> g_moduleExiting{false};

// Counts a forwarder in for its whole run; entered() is false once the
// module exits.
class ForwarderScope {
public:
    ForwarderScope()
    {
        g_forwardersInside.fetch_add(1);
        m_entered = !g_moduleExiting.load();
    }
    ~ForwarderScope() { g_forwardersInside.fetch_sub(1); }
    ForwarderScope(const ForwarderScope&) = delete;
    ForwarderScope& operator=(const ForwarderScope&) = delete;
    bool entered() const { return m_entered; }

private:
    bool m_entered = false;
};

// The thread's JNI environment for one call: a Java thread's own, or one
// attached here and detached again at the end.
class JavaThread {
public:
    explicit JavaThread(const char* tag)
    {
        JavaVM* vm = g_pJavaVM.load();
        if (vm == nullptr) {
            DbgLog(tag, "  failed to attach to a JVM");
            return;
        }
        void* env = nullptr;
        if (vm->GetEnv(&env, JNI_VERSION_1_4) == JNI_OK) {
            m_env = static_cast<JNIEnv*>(env);
            return;
        }
        if (vm->AttachCurrentThread(&env, nullptr) != JNI_OK) {
            DbgLog(tag, "  failed to attach to a JVM");
            return;
        }
        m_env = static_cast<JNIEnv*>(env);
        m_vm = vm;
    }
    ~JavaThread()
    {
        if (m_vm != nullptr)
            m_vm->DetachCurrentThread();
    }
    JavaThread(const JavaThread&) = delete;
    JavaThread& operator=(const JavaThread&) = delete;
    JNIEnv* env() const { return m_env; }

private:
    JNIEnv* m_env = nullptr;
    JavaVM* m_vm = nullptr;  // set when this object attached the thread
};

// Deletes a local reference at the end of its scope (a thread that stays
// attached would otherwise keep it).
class LocalRef {
public:
    LocalRef(JNIEnv* env, jobject ref) : m_env(env), m_ref(ref) {}
    ~LocalRef()
    {
        if (m_ref != nullptr)
            m_env->DeleteLocalRef(m_ref);
    }
    LocalRef(const LocalRef&) = delete;
    LocalRef& operator=(const LocalRef&) = delete;

private:
    JNIEnv* m_env;
    jobject m_ref;
};

jsize JavaLength(std::size_t length)
{
    return static_cast<jsize>(std::min<std::size_t>(length, INT_MAX));
}

// A new byte array holding `bytes`; null after reporting the failure
// (2001 or 2004) to Java.
jbyteArray NewFilledArray(JNIEnv* env, const char* tag, const char* allocFailure, const char* copyFailure,
                          const unsigned char* bytes, jsize length)
{
    jbyteArray array = env->NewByteArray(length);
    if (array == nullptr) {
        env->ExceptionClear();
        DbgLog(tag, allocFailure);
        SendErrMsgToJava(env, JNI_RESULT_ALLOCATION);
        return nullptr;
    }
    if (length > 0)
        env->SetByteArrayRegion(array, 0, length, reinterpret_cast<const jbyte*>(bytes));
    if (env->ExceptionCheck()) {
        env->ExceptionClear();
        env->DeleteLocalRef(array);
        DbgLog(tag, copyFailure);
        SendErrMsgToJava(env, JNI_RESULT_ARRAY_COPY);
        return nullptr;
    }
    return array;
}

// The byte-array forwarders' shared run: `call` invokes the method with
// the class, its id and the array.
template <class Call>
void ForwardArray(const char* tag, JniCallback callback, const char* callFailure, const unsigned char* bytes,
                  std::size_t length, Call call)
{
    ForwarderScope scope;
    if (!scope.entered())
        return;
    try {
        DbgLog(tag, "Entered");
        JavaThread thread(tag);
        JNIEnv* env = thread.env();
        if (env == nullptr)
            return;
        jclass cls = nullptr;
        jmethodID method = nullptr;
        if (!TakeCallback(env, callback, &cls, &method)) {
            DbgLog(tag, "  no class reference or method id, call dropped");
            return;
        }
        LocalRef clsRef(env, cls);
        const jsize javaLength = JavaLength(length);
        jbyteArray array = NewFilledArray(env, tag, "  failed allocate a new byte array",
                                          "  failed to SetByteArrayRegion()", bytes, javaLength);
        if (array == nullptr)
            return;
        LocalRef arrayRef(env, array);
        call(env, cls, method, array, javaLength);
        if (env->ExceptionCheck()) {
            env->ExceptionClear();
            DbgLog(tag, callFailure);
            SendErrMsgToJava(env, JNI_RESULT_CALLBACK);
            return;
        }
        DbgLog(tag, "Exiting.");
    } catch (...) {
        DbgLog(tag, "Exception.");
        DbgLog(tag, "Exiting.");
    }
}

}  // namespace

bool BeginModuleExit()
{
    g_moduleExiting.store(true);
    return g_forwardersInside.load() == 0;
}

void g_MenuDataCallBack(int terminator, int response, int tagData, const unsigned char* data, std::size_t length)
{
    ForwardArray("g_MenuDataCallBack() ", CB_MENU_DATA, "  failed CallStaticVoidMethod(...)", data, length,
                 [&](JNIEnv* env, jclass cls, jmethodID method, jbyteArray array, jsize size) {
                     env->CallStaticVoidMethod(cls, method, static_cast<jint>(terminator),
                                               static_cast<jint>(response), static_cast<jint>(tagData), array,
                                               static_cast<jint>(size));
                 });
}

void g_RawDataCallBack(const unsigned char* data, std::size_t length)
{
    ForwardArray("g_RawDataCallBack() ", CB_RAW_DATA, "  failed CallStaticVoidMethod(gMID_cppRawDataCallBack)", data,
                 length, [](JNIEnv* env, jclass cls, jmethodID method, jbyteArray array, jsize size) {
                     env->CallStaticVoidMethod(cls, method, array, static_cast<jint>(size));
                 });
}

void g_ImageDataCallBack(int format, const unsigned char* data, std::size_t length)
{
    ForwardArray("g_ImageDataCallBack() ", CB_IMAGE_DATA, "  failed CallStaticVoidMethod(gMID_cppImageDataCallBack)",
                 data, length, [&](JNIEnv* env, jclass cls, jmethodID method, jbyteArray array, jsize size) {
                     env->CallStaticVoidMethod(cls, method, static_cast<jint>(format), array,
                                               static_cast<jint>(size));
                 });
}

void g_DisconnectCallBack(const unsigned char* data, std::size_t length)
{
    ForwardArray("g_DisconnectCallBack() ", CB_DISCONNECT, "  failed CallStaticVoidMethod(...)", data, length,
                 [](JNIEnv* env, jclass cls, jmethodID method, jbyteArray array, jsize size) {
                     env->CallStaticVoidMethod(cls, method, array, static_cast<jint>(size));
                 });
}

void g_BarcodeDataCallBack(const unsigned char aimId[3], unsigned char codeId, const unsigned char* data,
                           std::size_t length)
{
    static const char* const kTag = "g_BarcodeDataCallBack() ";
    ForwarderScope scope;
    if (!scope.entered())
        return;
    try {
        DbgLog(kTag, "Entered");
        JavaThread thread(kTag);
        JNIEnv* env = thread.env();
        if (env == nullptr)
            return;
        {
            std::lock_guard<std::mutex> lock(ClassLock());
            if (g_classRef == nullptr) {
                DbgLog(kTag, "  no class reference, call dropped");
                return;
            }
        }
        jbyteArray aim = NewFilledArray(env, kTag, "  failed allocate a new byte array aimID",
                                        "  failed to SetByteArrayRegion(aimID)", aimId, 3);
        if (aim == nullptr)
            return;
        LocalRef aimRef(env, aim);
        const jsize javaLength = JavaLength(length);
        jbyteArray array = NewFilledArray(env, kTag, "  failed allocate a new byte array",
                                          "  failed to SetByteArrayRegion()", data, javaLength);
        if (array == nullptr)
            return;
        LocalRef arrayRef(env, array);
        jclass cls = env->FindClass(kJniOptikaClass);
        if (cls == nullptr) {
            env->ExceptionClear();
            DbgLog(kTag, "  failure to get local reference");
            return;
        }
        LocalRef clsRef(env, cls);
        jmethodID method = nullptr;
        if (!GetCallBackMethod(env, cls, &method, g_callbackNames[CB_BARCODE].name,
                               g_callbackNames[CB_BARCODE].signature)) {
            DbgLog(kTag, "  GetCallBackMethod(cppBarcodeCallBack failed)");
            return;
        }
        {
            std::lock_guard<std::mutex> lock(ClassLock());
            if (g_classRef != nullptr)
                g_methodIds[CB_BARCODE] = method;
        }
        env->CallStaticVoidMethod(cls, method, aim, static_cast<jbyte>(codeId), array, static_cast<jint>(javaLength));
        if (env->ExceptionCheck()) {
            env->ExceptionDescribe();
            env->ExceptionClear();
            DbgLog(kTag, "  failed CallStaticVoidMethod(gMID_cppBarcodeCallBack)");
            SendErrMsgToJava(env, JNI_RESULT_CALLBACK);
            return;
        }
        DbgLog(kTag, "Exiting.");
    } catch (...) {
        DbgLog(kTag, "Exception.");
        DbgLog(kTag, "Exiting.");
    }
}

void g_UpdateFWProgress(void* /*user*/, int transferred, int total)
{
    static const char* const kTag = "g_UpdateFWProgress() ";
    ForwarderScope scope;
    if (!scope.entered())
        return;
    try {
        JavaThread thread(kTag);
        JNIEnv* env = thread.env();
        if (env == nullptr)
            return;
        jclass cls = nullptr;
        jmethodID method = nullptr;
        if (!TakeCallback(env, CB_UPDATE_FIRMWARE, &cls, &method)) {
            DbgLog(kTag, "  no class reference or method id, call dropped");
            return;
        }
        LocalRef clsRef(env, cls);
        env->CallStaticVoidMethod(cls, method, static_cast<jint>(transferred), static_cast<jint>(total));
        if (env->ExceptionCheck()) {
            env->ExceptionClear();
            DbgLog(kTag, "  failed CallStaticVoidMethod(cppUpdateFirmwareCallBack)");
            SendErrMsgToJava(env, JNI_RESULT_CALLBACK);
        }
    } catch (...) {
        DbgLog(kTag, "Exception.");
    }
}
