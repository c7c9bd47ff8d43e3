// The OPOS properties every device category shares (Claimed, ResultCode,
// ResultCodeExtended, BinaryConversion, PowerNotify, the capabilities,
// CheckHealthText), the service object's time-outs, the category-free
// steps of OpenService, ClaimDevice, CheckHealth, UpdateFirmware,
// CompareFirmwareVersion and DirectIO, and the statistics operations.
//
// Threads: the scanner logic calls it from COM threads, one call at a time;
// the interactive-check flag is read by the event-window thread.
#pragma once

#include "CConDescriptor.h"
#include "CDeviceInfo.h"
#include "ICommonSOParts.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class COPOSKestrel;
class ZRIDbgBase;

class CCommonSO {
public:
    // Neither is owned; both may be set later.
    CCommonSO(ZRIDbgBase* debug = nullptr, COPOSKestrel* facade = nullptr);
    virtual ~CCommonSO();
    CCommonSO(const CCommonSO&) = delete;
    CCommonSO& operator=(const CCommonSO&) = delete;

    void SetDebug(ZRIDbgBase* debug) { m_pDebug = debug; }
    void SetFacade(COPOSKestrel* facade);
    // Not owned; CheckHealth(3) fails with 111 without one.
    void SetCheckHealthDialog(ICheckHealthDialog* dialog) { m_pDialog = dialog; }

    void Reset();
    void SetOpened();

    // 1 and the value for the indexes answered here, else 0.
    int GetPropertyNumber(long index, long* value) const;
    // 1 after storing BinaryConversion (index 11), else 0.
    int SetPropertyNumber(long index, long value);

    // 1 when the device was found (the descriptor then names it).
    int InitFromRegistry(const std::string& autoDetect, const std::string& maximumTimeOut,
                         const std::string& commandTimeOut, const std::string& port);
    // MaximumTimeOut and CommandTimeOut from their registry texts.
    void SetTimeOuts(const std::string& maximumTimeOut, const std::string& commandTimeOut);
    int ClaimDevice(long timeout);
    // The time-out a claim waits for: -1 MaximumTimeOut, 0 (COM class)
    // "CLAIMTIMEOUT_0", others as given.
    long ClaimTimeout(long timeout);
    long GetClaimTimeoutWhenZero();
    int CheckHealth(long level);
    int UpdateFirmware(const std::string& fileName, IFirmwareWorker* worker);
    int CompareFirmware(const std::string& fileName);
    // 106 for every command; 5001 first injects one empty barcode.
    int DirectIO(long command, long* number, std::string* text);

    int RetrieveStatistics(std::string& statistics);
    int UpdateStatistics(const std::string& statistics);
    int ResetStatistics(const std::string& statistics);

    // Each byte as two characters 0x30 + nibble; each byte as "%03d".
    static std::string ToNibbles(const std::string& bytes);
    static std::string ToDecimal(const std::string& bytes);
    // "HID" and digits (any case) is USB HID; otherwise the characters after
    // the third, at most three, are the COM number.
    static void DescriptorFromPort(const std::string& port, CConDescriptor& descriptor);

    // The properties (public like the scanner logic's own fields).
    int m_nAutoDetect = 0;
    CConDescriptor m_descriptor;
    // Set by DirectIO 19 on the application's thread, read by the
    // reconnection thread for its search time.
    std::atomic<std::int64_t> m_llCommandTimeOut{10000};
    std::int64_t m_llCommandTimeOutAtOpen = 10000;
    int m_nBinaryConversion = 0;
    int m_nCapCompareFirmwareVersion = 0;
    int m_nCapStatisticsReporting = 0;
    int m_nCapPowerReporting = 0;
    int m_nCapUpdateFirmware = 0;
    int m_nCapUpdateStatistics = 0;
    std::string m_strCheckHealthText = "[Error]";
    int m_nClaimed = 0;
    int m_nPowerNotify = 0;
    int m_nResultCode = 101;
    int m_nResultCodeExtended = 101;
    int m_nOpenResult = 0;
    int m_nServiceObjectVersion = 0;
    int m_nState = 2;
    std::atomic<int> m_nInteractiveCheck{0};
    std::string m_strDeviceKey;
    std::int64_t m_llMaximumTimeOut = 300000;
    int m_nOpened = 0;
    std::unique_ptr<CDeviceInfo> m_pDeviceInfo;
    int m_nQueueCapacity = 500;
    int m_nScanDataOption = 0;

private:
    ZRIDbgBase& Debug() const;
    void SetResult(int code, int extended);
    // The items of a statistics request: which counters, and whether every
    // item was known.
    struct Selection {
        bool goodScans = false;
        bool noReads = false;
        int unknown = 0;
        std::size_t items = 0;
        std::int64_t goodValue = -1;
        std::int64_t noReadValue = -1;
    };
    static Selection Select(const std::string& request, bool withValues);
    int WriteCounters(const char* tag, const Selection& selection, bool zero);

    ZRIDbgBase* m_pDebug = nullptr;
    COPOSKestrel* m_pFacade = nullptr;
    ICheckHealthDialog* m_pDialog = nullptr;
};
