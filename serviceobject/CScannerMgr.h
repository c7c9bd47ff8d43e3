// The scanner service object's logic: one object per process, owned by the
// exported interface (CScannerWrapper). It opens, claims, enables, releases
// and closes the scanner through the SDK facade, answers the properties,
// DirectIO, CheckHealth, the statistics and firmware calls, and fires the
// queued events (DataEvent, ErrorEvent, StatusUpdateEvent) on its
// event-window thread.
//
// Threads: the host's calls come on its threads; the fire operations run on
// the event-window thread; barcodes, statuses and errors reach the object
// only through the event queue. A menu-command exchange is one at a time
// (AutoDisable and the re-claim after a firmware update send from the
// event-window thread while the host may send too): the exchange lock holds
// each one, and the wait for it counts against the exchange's time-out.
// The queue exists only while the service is open; the queue lock keeps it
// alive for a fire operation while another thread closes the service.
#pragma once

#include "CCommonSO.h"
#include "CConnectDisconnect.h"
#include "CEventWindowThread.h"
#include "CFirmwareUpgrade.h"
#include "CScannerDataQ.h"
#include "CScannerEventIF.h"
#include "ExchangeLock.h"
#include "ICheckHealthView.h"
#include "IEventOwner.h"

#include "platform/bstr.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

class COPOSKestrel;
class ZRIDbgBase;

class CScannerMgr : public IScannerEventOwner {
public:
    CScannerMgr();
    ~CScannerMgr() override;
    CScannerMgr(const CScannerMgr&) = delete;
    CScannerMgr& operator=(const CScannerMgr&) = delete;

    // Internal results of the menu-command exchange.
    static constexpr int kNoFacade = 1001;
    static constexpr int kRefused = 1006;
    static constexpr int kTimedOut = 1013;
    static const char* const kEnableSequence;
    static const char* const kDisableSequence;

    void InitClosedVars();

    long OpenService(const std::string& deviceName, const std::string& autoDetect, const std::string& port,
                     const std::string& maximumTimeOut, const std::string& commandTimeOut,
                     const std::string& scanDataOption, const std::string& decodeGs1Ltd);
    long ClaimDevice(long timeout);
    // After a failed switch the scanner is switched back to what
    // DeviceEnabled reads.
    long SetDeviceEnabled(long enable);
    long SetAutoDisable(long value);
    long ReleaseDevice();
    long CloseService();
    int GetDeviceOpenStatus();
    long GetOpenResult() const { return m_common.m_nOpenResult; }

    // `raw` 1 sends the text unchanged, 0 framed SYN 'M' CR by the facade.
    // The wait for another exchange to end counts against `timeout`.
    int SendCmdToDevice(const std::string& command, std::string* response, long long timeout, int raw);

    long GetPropertyNumber(long index);
    long SetPropertyNumber(long index, long value);
    // A new BSTR the caller frees.
    BSTR GetPropertyString(long index);
    long SetPropertyString(long index, const std::string& text);

    long DirectIO(long command, long* pData, BSTR* pString);
    long DIOGetImage(long command, long* pData, BSTR* pString, const std::string& captureCommand = {});
    long CheckHealth(long level);
    long ClearInput();
    long ClearInputProps();
    long ClearOutput();
    long COFreezeEvents(int freeze);
    long ResetStatistics(const std::string& text);
    long RetrieveStatistics(BSTR* statistics);
    long UpdateStatistics(const std::string& text);
    long UpdateFirmware(const std::string& fileName);
    long CompareFirmwareVersion(const std::string& fileName, long* result);

    // IScannerEventOwner, on the event-window thread.
    long GetAutoDisable() override { return m_nAutoDisable.load(); }
    void DisableDevice() override;
    void FireDataEvent(CDataEvent* event) override;
    void FireErrorEvent(CErrorEvent* event) override;
    void FireSUE(CStatusUpdateEvent* event) override;

    // ScanData, ScanDataLabel and ScanDataType of a barcode (the record is
    // stripped in place under ScanDataOption 1).
    void ProcessBarcodeEventData(CDataEvent& event);
    static long GetScanDataType(signed char codeId, const std::string& aim, long labelLength, int decodeGs1Ltd);

    // Where CheckHealth(3) shows its dialog; null: the built-in choice.
    void SetCheckHealthView(ICheckHealthView* view);
    // How a later OpenService starts the event-window thread; null: the
    // platform's thread start.
    void SetWindowThreadStarter(CEventWindowThread::Starter starter) { m_windowThreadStarter = starter; }
    CCommonSO& Common() { return m_common; }
    CScannerDataQ* Queue() { return m_pQueue; }
    ZRIDbgBase& Debug() const;
    void Trace(const char* text);
    CFirmwareUpgrade& Firmware() { return m_firmware; }
    // Exchanges waiting for the one in progress (for diagnostics).
    int ExchangesWaiting() const { return m_exchangesWaiting.load(); }
    CConnectDisconnect& Reconnection() { return m_reconnect; }

    // Properties (plain values, as the host reads them).
    std::atomic<int> m_nDecodeGs1Ltd{0};
    std::atomic<long> m_nDecodeData{0};
    std::atomic<long> m_nScanDataType{0};
    std::string m_strScanData;
    std::string m_strScanDataLabel;
    std::atomic<long> m_nDeviceEnabled{0};
    std::atomic<long> m_nAutoDisable{0};

private:
    // One enable or disable exchange: 0, 111 or 112; DeviceEnabled follows a
    // success only.
    long SwitchDevice(long enable);
    void Store(int code);
    // Takes the exchange lock within what is left of `limit` ms since
    // `start` (a GetTickCount value); false, not holding it, once that time
    // is spent.
    bool TakeExchange(std::unique_lock<ExchangeLock>& exchange, DWORD start, DWORD limit);
    // 113 busy, 107 disconnected (or `disconnected`), 101 not open, else 0;
    // `closedFirst` tests the open state first (there is no queue to ask).
    int CheckBusyOnline(const char* tag, int disconnected);
    bool QueueUp(CScannerDataQ*& queue);
    long ReleaseHeld();
    void FireStatus(long status);
    void SetUpDevice();

    CCommonSO m_common;
    CConnectDisconnect m_reconnect;
    CScannerEventIF m_window;
    std::unique_ptr<CEventWindowThread> m_windowThread;
    CEventWindowThread::Starter m_windowThreadStarter = nullptr;
    CScannerDataQ* m_pQueue = nullptr;
    CFirmwareUpgrade m_firmware;
    COPOSKestrel* m_pFacade = nullptr;
    ZRIDbgBase* m_pDebug = nullptr;
    std::unique_ptr<ICheckHealthView> m_defaultView;
    ICheckHealthView* m_pView = nullptr;
    std::unique_ptr<CInteractive> m_dialog;

    std::recursive_mutex m_queueLock;  // the queue's life against the fires
    ExchangeLock m_exchangeLock;  // one menu-command exchange at a time
    std::atomic<int> m_exchangesWaiting{0};
    std::mutex m_scanLock;             // ScanData and ScanDataLabel
};
