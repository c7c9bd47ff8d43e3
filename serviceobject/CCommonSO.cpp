#include "CCommonSO.h"

#include "COPOSKestrel.h"
#include "CSdkSim.h"
#include "RegistrySettings.h"
#include "SOHost.h"
#include "debug/ZRIDbgBase.h"

#include "discovery/CDevice.h"

#include "platform/error.h"
#include "platform/registry.h"
#include "platform/time.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

constexpr long kMinimumMaximumTimeOut = 60000;
constexpr long kDefaultMaximumTimeOut = 300000;
constexpr long kMinimumCommandTimeOut = 10000;
constexpr long kMaximumCommandTimeOut = 30000;
constexpr long kDefaultClaimTimeout = 500;
constexpr DWORD kFirmwarePollMs = 10;

std::string upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool fileExists(const std::string& name)
{
    std::error_code error;
    return std::filesystem::is_regular_file(name, error);
}

// The marker in front of a firmware file's table of device types.
const char kDeviceTypeMarker[24] = {'Q', 'U', 'A', 'R', 'T', 'Z', 'A', 'P', 'P', 0,   0,   0,
                                    'D', 'E', 'V', 'I', 'C', 'E', 'T', 'Y', 'P', 'E', 0, 0};
constexpr std::uintmax_t kLargestCheckedFile = 0xE0000;

}  // namespace

CCommonSO::CCommonSO(ZRIDbgBase* debug, COPOSKestrel* facade) : m_pDebug(debug), m_pFacade(facade)
{
    m_pDeviceInfo = std::make_unique<CDeviceInfo>(debug, facade);
    Reset();
}

CCommonSO::~CCommonSO() = default;

void CCommonSO::SetFacade(COPOSKestrel* facade)
{
    m_pFacade = facade;
    m_pDeviceInfo = std::make_unique<CDeviceInfo>(m_pDebug, facade);
}

ZRIDbgBase& CCommonSO::Debug() const
{
    return ZRIDbgBase::Or(m_pDebug);
}

void CCommonSO::SetResult(int code, int extended)
{
    m_nResultCode = code;
    m_nResultCodeExtended = extended;
}

void CCommonSO::Reset()
{
    m_nBinaryConversion = 0;
    m_nCapCompareFirmwareVersion = 0;
    m_nCapStatisticsReporting = 0;
    m_nCapPowerReporting = 0;
    m_nCapUpdateFirmware = 0;
    m_nCapUpdateStatistics = 0;
    m_strCheckHealthText = "[Error]";
    m_nClaimed = 0;
    m_nPowerNotify = 0;
    m_nOpened = 0;
    m_nOpenResult = 0;
    SetResult(101, 101);
    m_llMaximumTimeOut = kDefaultMaximumTimeOut;
    m_llCommandTimeOut = kMinimumCommandTimeOut;
}

void CCommonSO::SetOpened()
{
    m_nOpened = 1;
    m_nCapPowerReporting = 1;
    m_nCapStatisticsReporting = 1;
    m_nCapUpdateStatistics = 1;
    m_nCapUpdateFirmware = 1;
    m_nCapCompareFirmwareVersion = 0;
    m_nBinaryConversion = 0;
    m_nClaimed = 0;
    m_nPowerNotify = 0;
    m_nOpenResult = 0;
    SetResult(101, 101);
}

int CCommonSO::GetPropertyNumber(long index, long* value) const
{
    long result = 0;
    switch (index) {
    case 1:
        result = m_nClaimed;
        break;
    case 6:
        result = m_nResultCode;
        break;
    case 7:
        result = m_nResultCodeExtended;
        break;
    case 8:
        result = m_nServiceObjectVersion;
        break;
    case 11:
        result = m_nBinaryConversion;
        break;
    case 13:
        result = m_nPowerNotify;
        break;
    case 501:
        result = m_nCapPowerReporting;
        break;
    case 502:
        result = m_nCapStatisticsReporting;
        break;
    case 503:
        result = m_nCapUpdateStatistics;
        break;
    case 504:
        result = m_nCapCompareFirmwareVersion;
        break;
    case 505:
        result = m_nCapUpdateFirmware;
        break;
    default:
        return 0;
    }
    if (value != nullptr)
        *value = result;
    return 1;
}

int CCommonSO::SetPropertyNumber(long index, long value)
{
    if (index != 11)
        return 0;
    m_nBinaryConversion = static_cast<int>(value);
    return 1;
}

void CCommonSO::DescriptorFromPort(const std::string& port, CConDescriptor& descriptor)
{
    const std::string name = upper(port);
    const bool hid = name.size() > 3 && name.compare(0, 3, "HID") == 0 &&
                     std::all_of(name.begin() + 3, name.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (hid) {
        descriptor.SetPort(CConDescriptor::kUsbHidPort);
        descriptor.SetType("USBHID");
        return;
    }
    const std::string digits = port.size() > 3 ? port.substr(3, 3) : std::string();
    descriptor.SetPort(std::atoi(digits.c_str()) - 1);
    descriptor.SetType("RS232");
}

int CCommonSO::InitFromRegistry(const std::string& autoDetect, const std::string& maximumTimeOut,
                                const std::string& commandTimeOut, const std::string& port)
{
    static const char* const tag = "CmnSO.InitFromRegistry(); ";
    const int timeout = static_cast<int>(m_llCommandTimeOut);
    int found = 1001;
    if (upper(autoDetect) != "FALSE") {
        m_nAutoDetect = 1;
        if (m_pFacade != nullptr)
            found = m_pFacade->Enumerate(&m_descriptor, 1, timeout);
    } else {
        m_nAutoDetect = 0;
        DescriptorFromPort(port, m_descriptor);
        if (m_pFacade != nullptr)
            found = m_pFacade->Enumerate(&m_descriptor, 0, timeout);
    }
    CDevice device;
    if (found != 0 || !m_pFacade->GetDeviceRecord(device)) {
        Debug().LogText2(tag, "port not detected:", port.c_str());
        return 0;
    }
    if (device.interfaceType == EIT_USB_HID_BARCODE_SCANNER) {
        m_descriptor.SetPort(CConDescriptor::kUsbHidPort);
        m_descriptor.SetType("USBHID");
    } else {
        DescriptorFromPort(device.portName, m_descriptor);
        m_descriptor.SetType(device.interfaceType == EIT_USB_SERIAL ? "USBSER" : "RS232");
    }

    SetTimeOuts(maximumTimeOut, commandTimeOut);
    return 1;
}

void CCommonSO::SetTimeOuts(const std::string& maximumTimeOut, const std::string& commandTimeOut)
{
    if (maximumTimeOut.empty())
        m_llMaximumTimeOut = kDefaultMaximumTimeOut;
    else
        m_llMaximumTimeOut = std::max<std::int64_t>(std::atoll(maximumTimeOut.c_str()), kMinimumMaximumTimeOut);
    if (commandTimeOut.empty()) {
        m_llCommandTimeOut = kMinimumCommandTimeOut;
    } else {
        m_llCommandTimeOut = std::clamp<std::int64_t>(std::atoll(commandTimeOut.c_str()), kMinimumCommandTimeOut,
                                                      kMaximumCommandTimeOut);
        m_llCommandTimeOutAtOpen = m_llCommandTimeOut;
    }
}

long CCommonSO::ClaimTimeout(long timeout)
{
    if (timeout == -1)
        return static_cast<long>(m_llMaximumTimeOut);
    if (timeout == 0 && SOHost().AppType() == 0)
        return GetClaimTimeoutWhenZero();
    return timeout;
}

int CCommonSO::ClaimDevice(long timeout)
{
    static const char* const tag = "CmnSO.ClaimDevice; ";
    if (m_nClaimed != 0) {
        Debug().LogText(tag, "Device already claimed");
        SetResult(0, 0);
        return 0;
    }
    if (timeout < -1) {
        Debug().LogText(tag, "timeout = 0, can't do this");
        SetResult(106, 106);
        return 106;
    }
    const long wait = ClaimTimeout(timeout);
    int result = 0;
    if (m_pFacade == nullptr || m_pFacade->Connect(static_cast<int>(wait), false) != 0) {
        Debug().LogText(tag, "Failed to claim");
        result = 112;
    }
    m_nClaimed = 1;
    Debug().LogText(tag, "claimed");
    SetResult(result, result);
    return result;
}

long CCommonSO::GetClaimTimeoutWhenZero()
{
    static const char* const tag = "CommonSO.GetClaimTimeoutWhenZero(); ";
    if (SOHost().AppType() != 0)
        return kDefaultClaimTimeout;
    HKEY key = nullptr;
    const LONG opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, m_strDeviceKey.c_str(), 0, KEY_READ, &key);
    if (opened != ERROR_SUCCESS) {
        Debug().LogNumber(tag, opened);
        return kDefaultClaimTimeout;
    }
    std::string text;
    const bool read = ReadStringValue(key, "CLAIMTIMEOUT_0", 256, text);
    RegCloseKey(key);
    if (!read)
        return kDefaultClaimTimeout;
    const long value = std::atol(text.c_str());
    return value < 0 ? kDefaultClaimTimeout : value;
}

int CCommonSO::CheckHealth(long level)
{
    static const char* const tag = "CmnSO.CheckHealth; ";
    int result = 101;
    if (level == 3) {
        m_nInteractiveCheck = 1;
        result = m_pDialog != nullptr ? m_pDialog->DoModal() : 111;
        m_nInteractiveCheck = 0;
        m_strCheckHealthText = result != 0 ? "Interactive HCheck; Failed" : "Interactive HCheck; Successful";
        Debug().LogText2(tag, "result", m_strCheckHealthText.c_str());
    }
    SetResult(result, result);
    return result;
}

int CCommonSO::UpdateFirmware(const std::string& fileName, IFirmwareWorker* worker)
{
    static const char* const tag = "CmnSO.UpdateFirmware, ";
    try {
        if (fileName.empty())
            return 109;
        if (worker != nullptr) {
            worker->SetFirmwareFile(fileName);
            worker->SetReconnectTimeout(static_cast<long>(m_llCommandTimeOut));
        }
        if (!fileExists(fileName)) {
            SetResult(109, 109);
            return 109;
        }
        const std::string name = upper(fileName);
        const bool firmwareName = (name.find(".MOC") != std::string::npos || name.find(".BIN") != std::string::npos) &&
                                  name.find(".TXT") == std::string::npos;
        if (firmwareName && worker != nullptr) {
            worker->ClearStartStatus();
            m_nState = 3;
            const bool started = worker->StartThread();
            if (started)
                Debug().LogText(tag, " thread started");
            // Until the worker reports its start; a worker whose thread
            // never ran or ended without a word would otherwise hold the
            // caller for ever.
            int status = worker->GetStartStatus();
            while (started && status == 0 && !worker->ThreadEnded()) {
                Sleep(kFirmwarePollMs);
                status = worker->GetStartStatus();
            }
            if (status == 0)
                status = worker->GetStartStatus();  // reported just before the thread ended
            if (status == 1) {
                SetResult(0, 0);
                return 0;
            }
            if (status == 0) {
                Debug().LogText(tag, "the firmware worker ended without a start status");
                SetResult(111, 111);
                return 111;
            }
        }
        SetResult(114, 281);
        return 114;
    } catch (...) {
        SetResult(111, 111);
        return 111;
    }
}

int CCommonSO::CompareFirmware(const std::string& fileName)
{
    static const char* const tag = "CmnSO.CompareFirmware, ";
    try {
        if (m_nCapCompareFirmwareVersion == 0)
            return 106;
        if (fileName.empty())
            return 109;
        if (!fileExists(fileName)) {
            SetResult(109, 109);
            return 109;
        }
        // The check a firmware file must pass: containers (.MOC, .MOCF) and
        // devices of flash kind 6 are compared elsewhere; a file whose
        // device-type table cannot be read against the device's type passes.
        const std::string name = upper(fileName);
        bool passes = name.find(".MOC") == std::string::npos &&
                      (m_pDeviceInfo == nullptr || m_pDeviceInfo->m_nFlashType != 6);
        if (passes) {
            std::ifstream file(fileName, std::ios::binary);
            passes = file.good();
            std::error_code error;
            const std::uintmax_t size = std::filesystem::file_size(fileName, error);
            if (passes && !error && size >= 25 && size <= kLargestCheckedFile) {
                const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
                const bool marked =
                    bytes.find(std::string(kDeviceTypeMarker, sizeof kDeviceTypeMarker)) != std::string::npos;
                // The device never reports its type here, so a table of
                // device types cannot refuse the file.
                Debug().LogTextNumber(tag, "device-type table", marked ? 1 : 0);
            }
        }
        if (!passes) {
            SetResult(114, 281);
            return 114;
        }
        return 0;
    } catch (...) {
        return 111;
    }
}

int CCommonSO::DirectIO(long command, long*, std::string*)
{
    if (command == 5001) {
        CSdkSim simulator(m_pFacade);
        simulator.InjectBarcode();
        simulator.Trigger();
        simulator.RequestShutdown();
    }
    return 106;
}

std::string CCommonSO::ToNibbles(const std::string& bytes)
{
    std::string text;
    text.reserve(bytes.size() * 2);
    for (unsigned char byte : bytes) {
        text.push_back(static_cast<char>(0x30 + (byte >> 4)));
        text.push_back(static_cast<char>(0x30 + (byte & 0x0F)));
    }
    return text;
}

std::string CCommonSO::ToDecimal(const std::string& bytes)
{
    std::string text;
    text.reserve(bytes.size() * 3);
    char digits[4];
    for (unsigned char byte : bytes) {
        std::snprintf(digits, sizeof digits, "%03d", byte);
        text += digits;
    }
    return text;
}
