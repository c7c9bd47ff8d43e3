// The Java bridge's module-wide state and the helpers every entry shares:
// the Java VM, the debug output, the Java class reference with the callback
// method ids, the bridge's own result codes and the log helpers.
//
// Threads: natives run on Java threads, forwarders on SDK threads. The
// class reference and the method ids are read and written only under
// ClassLock(): a forwarder takes a local reference to the class and copies
// the ids under it, deInitMIDs clears them under it, so no thread ever uses
// a reference that was released.
#pragma once

#include "debug/ZRIDbgBase.h"

#include <jni.h>

#include <atomic>
#include <mutex>
#include <string>

// The bridge's own failures, thrown inside natives and returned as results.
enum JniResult_tag {
    JNI_RESULT_ALLOCATION = 2001,
    JNI_RESULT_ARRAY_COPY = 2004,
    JNI_RESULT_CALLBACK = 2006,
    JNI_RESULT_IN_USE = 2007,
    JNI_RESULT_NO_CLASS = 2009,
};

constexpr const char* kJniOptikaClass = "com/varnex/optika/JniOptika";

// The callbacks, in the order initMIDs looks them up.
enum JniCallback {
    CB_STATUS_UPDATE,
    CB_BARCODE,
    CB_BARCODE_ERROR,
    CB_UPDATE_FIRMWARE,
    CB_MENU_DATA,
    CB_IMAGE_DATA,
    CB_DISCONNECT,
    CB_RAW_DATA,
    CB_COUNT
};

struct JniCallbackName {
    const char* name;
    const char* signature;
};
extern const JniCallbackName g_callbackNames[CB_COUNT];

extern std::atomic<JavaVM*> g_pJavaVM;
// The debug output; null: no logging. Written by the load export and
// pfnSetDebugger, read by every log call.
extern std::atomic<ZRIDbgBase*> g_pDebugger;

// Guards g_classRef and g_methodIds.
std::mutex& ClassLock();
extern jclass g_classRef;
extern jmethodID g_methodIds[CB_COUNT];

// A local reference to the class and the method id of `callback`, taken
// under the class lock; false (nothing taken) when either is missing. The
// caller deletes *localClass.
bool TakeCallback(JNIEnv* env, JniCallback callback, jclass* localClass, jmethodID* method);

// Log lines through the debugger, when there is one.
void DbgLog(const char* tag, const char* text);
void DbgLog(const char* tag, const char* text, long number);
void DbgLog(const char* tag, const char* text, const char* text2);

// Reports a bridge failure to Java through cppBarcodeErrorCallBack.
void SendErrMsgToJava(JNIEnv* env, int code);

// Looks up a static method; false (the exception cleared) when it is
// missing.
bool GetCallBackMethod(JNIEnv* env, jclass cls, jmethodID* method, const char* name, const char* signature);
