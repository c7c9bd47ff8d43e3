// The OPOS scanner control's interfaces, as a container uses them: the class
// and interface identifiers, the dual interface in its vtable order, and the
// event interface's dispatch ids.
//
// The dual interfaces derive in turn (1.5, 1.8, 1.9, 1.10, the current one);
// one object answers all of them. Every method's result (pRC) is the OPOS
// ResultCode; boolean properties are VARIANT_BOOL.
#pragma once

#include "platform/ole.h"

inline constexpr CLSID CLSID_OPOSScanner{0x60AE66F2, 0xD32B, 0x4751, {0x8B, 0xF9, 0xA4, 0x88, 0x9F, 0x12, 0x05, 0xF1}};
inline constexpr GUID LIBID_OposScanner_CCO{0x0CB2453F, 0xD506, 0x43E6, {0x89, 0x26, 0x4B, 0xC9, 0x40, 0xE9, 0x99, 0x67}};
inline constexpr IID IID_IOPOSScanner_1_5{0xCCB91181, 0xB81E, 0x11D2, {0xAB, 0x74, 0x00, 0x40, 0x05, 0x4C, 0x37, 0x19}};
inline constexpr IID IID_IOPOSScanner_1_8{0xCCB92181, 0xB81E, 0x11D2, {0xAB, 0x74, 0x00, 0x40, 0x05, 0x4C, 0x37, 0x19}};
inline constexpr IID IID_IOPOSScanner_1_9{0xCCB93181, 0xB81E, 0x11D2, {0xAB, 0x74, 0x00, 0x40, 0x05, 0x4C, 0x37, 0x19}};
inline constexpr IID IID_IOPOSScanner_1_10{0xCCB94181, 0xB81E, 0x11D2, {0xAB, 0x74, 0x00, 0x40, 0x05, 0x4C, 0x37, 0x19}};
inline constexpr IID IID_IOPOSScanner{0xCCB95181, 0xB81E, 0x11D2, {0xAB, 0x74, 0x00, 0x40, 0x05, 0x4C, 0x37, 0x19}};
inline constexpr IID DIID__IOPOSScannerEvents{0xCCB90183, 0xB81E, 0x11D2, {0xAB, 0x74, 0x00, 0x40, 0x05, 0x4C, 0x37, 0x19}};

// Dispatch ids of the events.
constexpr DISPID DISPID_OPOS_DATAEVENT = 1;
constexpr DISPID DISPID_OPOS_DIRECTIOEVENT = 2;
constexpr DISPID DISPID_OPOS_ERROREVENT = 3;
constexpr DISPID DISPID_OPOS_STATUSUPDATEEVENT = 5;

struct IOPOSScanner_1_5 : IDispatch {
    // Callbacks of the service object.
    virtual HRESULT SOData(LONG Status) = 0;
    virtual HRESULT SODirectIO(LONG EventNumber, LONG* pData, BSTR* pString) = 0;
    virtual HRESULT SOError(LONG ResultCode, LONG ResultCodeExtended, LONG ErrorLocus, LONG* pErrorResponse) = 0;
    virtual HRESULT SOOutputCompleteDummy(LONG OutputID) = 0;
    virtual HRESULT SOStatusUpdate(LONG Data) = 0;
    virtual HRESULT SOProcessID(LONG* pProcessID) = 0;
    // Properties and methods.
    virtual HRESULT get_OpenResult(LONG* pOpenResult) = 0;
    virtual HRESULT get_CheckHealthText(BSTR* pCheckHealthText) = 0;
    virtual HRESULT get_Claimed(VARIANT_BOOL* pClaimed) = 0;
    virtual HRESULT get_DataEventEnabled(VARIANT_BOOL* pDataEventEnabled) = 0;
    virtual HRESULT put_DataEventEnabled(VARIANT_BOOL DataEventEnabled) = 0;
    virtual HRESULT get_DeviceEnabled(VARIANT_BOOL* pDeviceEnabled) = 0;
    virtual HRESULT put_DeviceEnabled(VARIANT_BOOL DeviceEnabled) = 0;
    virtual HRESULT get_FreezeEvents(VARIANT_BOOL* pFreezeEvents) = 0;
    virtual HRESULT put_FreezeEvents(VARIANT_BOOL FreezeEvents) = 0;
    virtual HRESULT get_ResultCode(LONG* pResultCode) = 0;
    virtual HRESULT get_ResultCodeExtended(LONG* pResultCodeExtended) = 0;
    virtual HRESULT get_State(LONG* pState) = 0;
    virtual HRESULT get_ControlObjectDescription(BSTR* pControlObjectDescription) = 0;
    virtual HRESULT get_ControlObjectVersion(LONG* pControlObjectVersion) = 0;
    virtual HRESULT get_ServiceObjectDescription(BSTR* pServiceObjectDescription) = 0;
    virtual HRESULT get_ServiceObjectVersion(LONG* pServiceObjectVersion) = 0;
    virtual HRESULT get_DeviceDescription(BSTR* pDeviceDescription) = 0;
    virtual HRESULT get_DeviceName(BSTR* pDeviceName) = 0;
    virtual HRESULT CheckHealth(LONG Level, LONG* pRC) = 0;
    virtual HRESULT ClaimDevice(LONG Timeout, LONG* pRC) = 0;
    virtual HRESULT ClearInput(LONG* pRC) = 0;
    virtual HRESULT Close(LONG* pRC) = 0;
    virtual HRESULT DirectIO(LONG Command, LONG* pData, BSTR* pString, LONG* pRC) = 0;
    virtual HRESULT Open(BSTR DeviceName, LONG* pRC) = 0;
    virtual HRESULT ReleaseDevice(LONG* pRC) = 0;
    virtual HRESULT get_ScanData(BSTR* pScanData) = 0;
    virtual HRESULT get_AutoDisable(VARIANT_BOOL* pAutoDisable) = 0;
    virtual HRESULT put_AutoDisable(VARIANT_BOOL AutoDisable) = 0;
    virtual HRESULT get_BinaryConversion(LONG* pBinaryConversion) = 0;
    virtual HRESULT put_BinaryConversion(LONG BinaryConversion) = 0;
    virtual HRESULT get_DataCount(LONG* pDataCount) = 0;
    virtual HRESULT get_DecodeData(VARIANT_BOOL* pDecodeData) = 0;
    virtual HRESULT put_DecodeData(VARIANT_BOOL DecodeData) = 0;
    virtual HRESULT get_ScanDataLabel(BSTR* pScanDataLabel) = 0;
    virtual HRESULT get_ScanDataType(LONG* pScanDataType) = 0;
    virtual HRESULT get_CapPowerReporting(LONG* pCapPowerReporting) = 0;
    virtual HRESULT get_PowerNotify(LONG* pPowerNotify) = 0;
    virtual HRESULT put_PowerNotify(LONG PowerNotify) = 0;
    virtual HRESULT get_PowerState(LONG* pPowerState) = 0;

protected:
    ~IOPOSScanner_1_5() = default;
};

struct IOPOSScanner_1_8 : IOPOSScanner_1_5 {
    virtual HRESULT get_CapStatisticsReporting(VARIANT_BOOL* pCapStatisticsReporting) = 0;
    virtual HRESULT get_CapUpdateStatistics(VARIANT_BOOL* pCapUpdateStatistics) = 0;
    virtual HRESULT ResetStatistics(BSTR StatisticsBuffer, LONG* pRC) = 0;
    virtual HRESULT RetrieveStatistics(BSTR* pStatisticsBuffer, LONG* pRC) = 0;
    virtual HRESULT UpdateStatistics(BSTR StatisticsBuffer, LONG* pRC) = 0;

protected:
    ~IOPOSScanner_1_8() = default;
};

struct IOPOSScanner_1_9 : IOPOSScanner_1_8 {
    virtual HRESULT get_CapCompareFirmwareVersion(VARIANT_BOOL* pCapCompareFirmwareVersion) = 0;
    virtual HRESULT get_CapUpdateFirmware(VARIANT_BOOL* pCapUpdateFirmware) = 0;
    virtual HRESULT CompareFirmwareVersion(BSTR FirmwareFileName, LONG* pResult, LONG* pRC) = 0;
    virtual HRESULT UpdateFirmware(BSTR FirmwareFileName, LONG* pRC) = 0;

protected:
    ~IOPOSScanner_1_9() = default;
};

struct IOPOSScanner_1_10 : IOPOSScanner_1_9 {
    virtual HRESULT ClearInputProperties(LONG* pRC) = 0;

protected:
    ~IOPOSScanner_1_10() = default;
};

struct IOPOSScanner : IOPOSScanner_1_10 {
protected:
    ~IOPOSScanner() = default;
};
