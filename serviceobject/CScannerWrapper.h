// The scanner service object's exported static interface: a host program
// (application type 1) or the COM class (type 0) reaches the one scanner
// logic object of the process through these functions. A host passes its
// settings as texts and receives events through the function pointers it
// registers; those are called on the service object's event-window thread.
//
// Strings are COM strings: OLECHAR texts, BSTRs the caller frees
// (platform/bstr.h). A host's DirectIO strings are BSTRs.
//
// Threads: the functions run on the caller's thread; one scanner logic
// object serves the process.
#pragma once

#include "platform/bstr.h"

class CScannerMgr;
class CScannerSO;

#define VX_SO_EXPORT __attribute__((visibility("default")))

class VX_SO_EXPORT CScannerWrapper {
public:
    using DataEventFP = void (*)(long status);
    using ErrorEventFP = void (*)(long resultCode, long resultCodeExtended, long errorLocus, long* pErrorResponse);
    using StatusEventFP = void (*)(long data);
    using DirectIOFP = void (*)(long eventNumber, long* pData, BSTR* pString);
    using UpdateStatisticsFP = bool (*)(int counter);

    ~CScannerWrapper();

    static void ScannerReleaseInstance();
    // Type 1: DebugType, LogFile, FWDebugLevel, FWDebugType, FWDebugFile,
    // FWProtocolFile, SDKDebugLevel, poll period in ms. Other types read the
    // registry and ignore the texts.
    static void ScannerInit(int appType, const char* debugType, const char* logFile, const char* fwDebugLevel,
                            const char* fwDebugType, const char* fwDebugFile, const char* fwProtocolFile,
                            const char* sdkDebugLevel, const char* pollFrequency);
    static void ScannerInitClosedVars();
    static void InitCallback(CScannerSO* scannerSO);
    static int ScannerGetAppType();
    static int ScannerGetDeviceOpenStatus();
    static void ScannerLogMessage(const char* text);

    static void Set_DataEventFP(DataEventFP function);
    static void Set_ErrorEventFP(ErrorEventFP function);
    static void Set_StatusEventFP(StatusEventFP function);
    static void Set_DirectIOFP(DirectIOFP function);
    static void Set_UpdateStatisticsFP(UpdateStatisticsFP function);

    static long ScannerOpenService(const char* deviceName, const char* autoDetect, const char* port,
                                   const char* maximumTimeOut, const char* commandTimeOut,
                                   const char* scanDataOption01, const char* decodeGs1Ltd);
    static long ScannerCloseService();
    static long ScannerClose();
    static long ScannerClaimDevice(long timeout);
    static long ScannerClaim(long timeout);
    static long ScannerReleaseDevice();
    static long ScannerRelease();
    static long ScannerCheckHealth(long level);
    static long ScannerClearInput();
    static long ScannerClearInputProperties();
    static long ScannerClearOutput();
    static long ScannerCOFreezeEvents(int freeze);
    static long ScannerCompareFirmwareVersion(const char* fileName, long* result);
    static long ScannerUpdateFirmware(const char* fileName);
    static long ScannerDirectIO(long command, long* pData, BSTR* pString);
    static long ScannerGetOpenResult();
    static long ScannerGetPropertyNumber(long index);
    static long ScannerSetPropertyNumber(long index, long value);
    // A BSTR the caller frees.
    static OLECHAR* ScannerGetPropertyString(long index);
    static long ScannerSetPropertyString(long index, const char* text);
    static long ScannerResetStatistics(const char* text);
    static long ScannerUpdateStatistics(const char* text);
    // Type 0: `buffer` is a BSTR*. Other types: a character buffer holding
    // the request, overwritten with the answer's UTF-16 characters; it must
    // hold them.
    static long ScannerRetrieveStatistics(OLECHAR** buffer);
    // DirectIO for hosts with a byte buffer of *pData bytes; -1 for type 0.
    static long ScannerDirectIO2(long command, long* pData, unsigned char* buffer);

    static void ScannerFireUpdateDataEvent(long status);
    static void ScannerFireErrorEvent(long resultCode, long resultCodeExtended, long errorLocus, long* pResponse);
    static void ScannerFireStatusEvent(long status);
    static void ScannerFireDirectIOEvent(long number, long* pData, BSTR* pString);
    static bool ScannerFireUpdateStatistics(int counter);

    // The scanner logic object (created on first use), for the COM class
    // and tests.
    static CScannerMgr* Instance();

private:
    CScannerWrapper() = default;
    CScannerWrapper& operator=(const CScannerWrapper&) { return *this; }
    static CScannerMgr* GetInstance();
};
