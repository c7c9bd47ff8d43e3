// The forwarders that carry scanner data, disconnects and firmware progress
// from SDK threads into the static Java callbacks of JniOptika.
//
// Each forwarder attaches its thread to the Java VM for the call (unless
// the thread is a Java thread already, as the flashing thread inside
// pfnUpgradeFirmware is) and detaches only a thread it attached, on every
// way out; it clears every Java exception it causes, frees its local
// references, and reports its own failures to Java through
// SendErrMsgToJava. Without a class reference or method id (initMIDs failed
// or never ran, or deInitMIDs ran) the call is dropped and logged. None
// throws.
//
// Process exit: the bridge is never unloaded, so its facade dies with the
// process while SDK threads may still be running. BeginModuleExit turns
// every later forwarder away before it touches the dying VM and tells
// whether one is still inside; the facade then leaves its SDK objects to
// the process's end instead of waiting for threads that may never return.
#pragma once

#include <cstddef>

void g_BarcodeDataCallBack(const unsigned char aimId[3], unsigned char codeId, const unsigned char* data,
                           std::size_t length);
void g_MenuDataCallBack(int terminator, int response, int tagData, const unsigned char* data, std::size_t length);
void g_ImageDataCallBack(int format, const unsigned char* data, std::size_t length);
void g_RawDataCallBack(const unsigned char* data, std::size_t length);
void g_DisconnectCallBack(const unsigned char* data, std::size_t length);
void g_UpdateFWProgress(void* user, int transferred, int total);

// True when no forwarder is inside the VM; from now on none enters.
bool BeginModuleExit();
