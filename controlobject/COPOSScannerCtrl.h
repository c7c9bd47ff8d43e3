// The OPOS scanner control: an in-process object that an application
// creates (ProgID "VXOPOS.Scanner") and drives through IOPOSScanner or its
// IDispatch. It holds no scanner logic: Open finds the device's service
// object in the registry and binds its methods by name; every property and
// method goes to that service object; the service object's callbacks
// (SOData, SODirectIO, SOError, SOStatusUpdate) come back as the control's
// events, fired on the thread that created the control.
//
// Threads: the application calls the control on its creating thread, which
// must pump messages (GetMessage/DispatchMessage) for events raised on other
// threads to arrive. A service object may call the callbacks on any thread;
// such a caller is held until its event was fired on the creating thread, or
// refused (delivery switched off by ReleaseDevice, Close or the control's
// end). Events go to the sinks connected through the connection point of
// _IOPOSScannerEvents, one at a time, in the order they were connected.
#pragma once

#include "OposScanner.h"

#include "platform/dispatch.h"
#include "platform/ole.h"
#include "platform/window.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace platform {
class ComModule;
}

class COPOSScannerCtrl final : public IOPOSScanner, public IConnectionPointContainer, public IOleControl {
public:
    // Creates a control on the calling thread (its creating thread) and
    // answers `iid`; E_UNEXPECTED when its window, event or mutex cannot be
    // made.
    static HRESULT Create(REFIID iid, void** object);

    // The library's module count, which every live control holds.
    static platform::ComModule& Module();

    // IUnknown
    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // IDispatch
    HRESULT GetTypeInfoCount(UINT* count) override;
    HRESULT GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override;
    HRESULT Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* exception, UINT* argumentError) override;

    // IOPOSScanner
    HRESULT SOData(LONG Status) override;
    HRESULT SODirectIO(LONG EventNumber, LONG* pData, BSTR* pString) override;
    HRESULT SOError(LONG ResultCode, LONG ResultCodeExtended, LONG ErrorLocus, LONG* pErrorResponse) override;
    HRESULT SOOutputCompleteDummy(LONG OutputID) override;
    HRESULT SOStatusUpdate(LONG Data) override;
    HRESULT SOProcessID(LONG* pProcessID) override;
    HRESULT get_OpenResult(LONG* pOpenResult) override;
    HRESULT get_CheckHealthText(BSTR* pCheckHealthText) override;
    HRESULT get_Claimed(VARIANT_BOOL* pClaimed) override;
    HRESULT get_DataEventEnabled(VARIANT_BOOL* pDataEventEnabled) override;
    HRESULT put_DataEventEnabled(VARIANT_BOOL DataEventEnabled) override;
    HRESULT get_DeviceEnabled(VARIANT_BOOL* pDeviceEnabled) override;
    HRESULT put_DeviceEnabled(VARIANT_BOOL DeviceEnabled) override;
    HRESULT get_FreezeEvents(VARIANT_BOOL* pFreezeEvents) override;
    HRESULT put_FreezeEvents(VARIANT_BOOL FreezeEvents) override;
    HRESULT get_ResultCode(LONG* pResultCode) override;
    HRESULT get_ResultCodeExtended(LONG* pResultCodeExtended) override;
    HRESULT get_State(LONG* pState) override;
    HRESULT get_ControlObjectDescription(BSTR* pControlObjectDescription) override;
    HRESULT get_ControlObjectVersion(LONG* pControlObjectVersion) override;
    HRESULT get_ServiceObjectDescription(BSTR* pServiceObjectDescription) override;
    HRESULT get_ServiceObjectVersion(LONG* pServiceObjectVersion) override;
    HRESULT get_DeviceDescription(BSTR* pDeviceDescription) override;
    HRESULT get_DeviceName(BSTR* pDeviceName) override;
    HRESULT CheckHealth(LONG Level, LONG* pRC) override;
    HRESULT ClaimDevice(LONG Timeout, LONG* pRC) override;
    HRESULT ClearInput(LONG* pRC) override;
    HRESULT Close(LONG* pRC) override;
    HRESULT DirectIO(LONG Command, LONG* pData, BSTR* pString, LONG* pRC) override;
    HRESULT Open(BSTR DeviceName, LONG* pRC) override;
    HRESULT ReleaseDevice(LONG* pRC) override;
    HRESULT get_ScanData(BSTR* pScanData) override;
    HRESULT get_AutoDisable(VARIANT_BOOL* pAutoDisable) override;
    HRESULT put_AutoDisable(VARIANT_BOOL AutoDisable) override;
    HRESULT get_BinaryConversion(LONG* pBinaryConversion) override;
    HRESULT put_BinaryConversion(LONG BinaryConversion) override;
    HRESULT get_DataCount(LONG* pDataCount) override;
    HRESULT get_DecodeData(VARIANT_BOOL* pDecodeData) override;
    HRESULT put_DecodeData(VARIANT_BOOL DecodeData) override;
    HRESULT get_ScanDataLabel(BSTR* pScanDataLabel) override;
    HRESULT get_ScanDataType(LONG* pScanDataType) override;
    HRESULT get_CapPowerReporting(LONG* pCapPowerReporting) override;
    HRESULT get_PowerNotify(LONG* pPowerNotify) override;
    HRESULT put_PowerNotify(LONG PowerNotify) override;
    HRESULT get_PowerState(LONG* pPowerState) override;
    HRESULT get_CapStatisticsReporting(VARIANT_BOOL* pCapStatisticsReporting) override;
    HRESULT get_CapUpdateStatistics(VARIANT_BOOL* pCapUpdateStatistics) override;
    HRESULT ResetStatistics(BSTR StatisticsBuffer, LONG* pRC) override;
    HRESULT RetrieveStatistics(BSTR* pStatisticsBuffer, LONG* pRC) override;
    HRESULT UpdateStatistics(BSTR StatisticsBuffer, LONG* pRC) override;
    HRESULT get_CapCompareFirmwareVersion(VARIANT_BOOL* pCapCompareFirmwareVersion) override;
    HRESULT get_CapUpdateFirmware(VARIANT_BOOL* pCapUpdateFirmware) override;
    HRESULT CompareFirmwareVersion(BSTR FirmwareFileName, LONG* pResult, LONG* pRC) override;
    HRESULT UpdateFirmware(BSTR FirmwareFileName, LONG* pRC) override;
    HRESULT ClearInputProperties(LONG* pRC) override;

    // IConnectionPointContainer
    HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) override;
    HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

    // IOleControl
    HRESULT GetControlInfo(CONTROLINFO* info) override;
    HRESULT OnMnemonic(MSG* message) override;
    HRESULT OnAmbientPropertyChange(DISPID id) override;
    HRESULT FreezeEvents(BOOL freeze) override;

private:
    // Positions of the service object's methods in m_methods.
    enum Method : int {
        kCOFreezeEvents,
        kGetPropertyNumber,
        kSetPropertyNumber,
        kGetPropertyString,
        kSetPropertyString,
        kOpenService,
        kCheckHealth,
        kClaimDevice,
        kClearInput,
        kCloseService,
        kDirectIO,
        kReleaseDevice,
        kResetStatistics,
        kRetrieveStatistics,
        kUpdateStatistics,
        kCompareFirmwareVersion,
        kUpdateFirmware,
        kClearInputProperties,
        kMethodCount
    };

    // The events and what a cross-thread delivery carries.
    enum class Event { Data, DirectIO, Error, StatusUpdate };
    struct Delivery {
        std::uint64_t serial = 0;
        UINT message = 0;
        WPARAM wParam = 0;
        LPARAM lParam = 0;
        LONG* pData = nullptr;
        BSTR* pString = nullptr;
        LONG errorLocus = 0;
        LONG* pErrorResponse = nullptr;
        bool delivered = false;
    };

    COPOSScannerCtrl();
    ~COPOSScannerCtrl();
    bool Initialise();
    void FinalRelease();

    // Properties and methods through the service object.
    LONG NumberProperty(LONG index, LONG minimumMinor);
    VARIANT_BOOL BoolProperty(LONG index, LONG minimumMinor);
    HRESULT StringProperty(LONG index, LONG minimumMinor, BSTR* value);
    void SetNumberProperty(LONG index, LONG minimumMinor, LONG value);
    LONG CallMethod(int position, const std::vector<platform::DispatchArg>& args, bool checkVersion = true);
    LONG CloseControl();
    void OpenFailed(LONG resultCode, LONG openResult);

    // Event delivery (ScannerControlEvents.cpp).
    bool CreateDeliveryObjects();
    void DestroyDeliveryObjects();
    void EnableDelivery();
    void DisableDelivery();
    void PurgeEventMessages();
    HRESULT Raise(Event event, UINT message, WPARAM wParam, LPARAM lParam, LONG status, LONG* pData,
                  BSTR* pString, LONG resultCode, LONG resultCodeExtended, LONG errorLocus, LONG* pErrorResponse);
    void DeliverAcrossThreads(Delivery& delivery);
    void HandleEventMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void Fire(Event event, LONG number, LONG second, LONG* pData, BSTR* pString, LONG errorLocus,
              LONG* pErrorResponse);
    static LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // A reference on a live control, or null once its final release began.
    static COPOSScannerCtrl* LiveInstance(HWND window);

    std::atomic<ULONG> m_references{1};

    // Open state.
    std::atomic<bool> m_open{false};
    std::atomic<LONG> m_openResult{0};
    LONG m_soMajor = 0;
    LONG m_soMinor = 0;
    std::atomic<LONG> m_resultCode{-1};
    platform::DispatchDriver m_so;
    DISPID m_methods[kMethodCount]{};
    int m_boundMethods = 0;
    int m_requiredMethods = 0;

    // Freezing: the container's count (IOleControl) and the property.
    std::atomic<int> m_containerFreezeCount{0};
    std::atomic<bool> m_freezeEvents{false};

    // Event delivery.
    platform::ConnectionPoint m_eventPoint;
    DWORD m_creatingThread = 0;
    HWND m_window = nullptr;
    HANDLE m_deliveryEvent = nullptr;
    HANDLE m_postMutex = nullptr;
    std::mutex m_deliveryLock;  // guards what follows
    std::condition_variable m_callersLeft;
    std::atomic<bool> m_deliverable{false};
    bool m_inDelivery = false;
    bool m_ending = false;        // final release began: callbacks return at once
    int m_callersInside = 0;      // callbacks of other threads not yet returned
    Delivery* m_waiting = nullptr;
    std::uint64_t m_nextSerial = 1;
    // Dispatch ids learnt from the first sink, per event (DISPID_UNKNOWN: not yet).
    DISPID m_learntIds[4] = {DISPID_UNKNOWN, DISPID_UNKNOWN, DISPID_UNKNOWN, DISPID_UNKNOWN};
};
