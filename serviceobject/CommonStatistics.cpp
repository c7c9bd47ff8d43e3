// The statistics operations of CCommonSO: good scans ("U_GOODSCANCOUNT")
// and no-reads ("M_NOREADCOUNT") kept as DWORDs in the device's key, and
// served in the UnifiedPOS statistics XML.
#include "CCommonSO.h"

#include "RegistrySettings.h"
#include "SOHost.h"
#include "debug/ZRIDbgBase.h"

#include "platform/error.h"
#include "platform/registry.h"

#include <cctype>
#include <string>
#include <vector>

namespace {

const char* const kGood = "GOODSCANCOUNT";
const char* const kNoRead = "NOREADCOUNT";

std::string upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::vector<std::string> items(const std::string& text)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos)
            return parts;
        start = comma + 1;
    }
}

// Digits only, 1 to 10 of them, at most 4294967295.
bool validValue(const std::string& value)
{
    if (value.empty() || value.size() > 10)
        return false;
    for (char c : value)
        if (c < '0' || c > '9')
            return false;
    return value.size() < 10 || value <= "4294967295";
}

}  // namespace

CCommonSO::Selection CCommonSO::Select(const std::string& request, bool withValues)
{
    Selection selection;
    if (request.empty()) {
        selection.goodScans = selection.noReads = true;
        return selection;
    }
    const std::string good = std::string("U_") + kGood;
    const std::string noRead = std::string("M_") + kNoRead;
    for (const std::string& item : items(request)) {
        ++selection.items;
        std::string key = upper(item);
        std::int64_t value = -1;
        if (withValues) {
            const std::size_t equals = item.find('=');
            const std::string text = equals == std::string::npos ? std::string() : item.substr(equals + 1);
            key = equals == std::string::npos ? key : upper(item.substr(0, equals + 1));
            if (validValue(text))
                value = std::stoll(text);
            else
                key = "IILEAGAL";
        }
        const std::string suffix = withValues ? "=" : "";
        const bool selectsGood = key == good + suffix || key == "U_" + suffix || (withValues && key == "=");
        const bool selectsNoRead = key == noRead + suffix || key == "M_" + suffix || (withValues && key == "=");
        if (!selectsGood && !selectsNoRead) {
            ++selection.unknown;
            continue;
        }
        if (selectsGood) {
            selection.goodScans = true;
            selection.goodValue = value;
        }
        if (selectsNoRead) {
            selection.noReads = true;
            selection.noReadValue = value;
        }
    }
    return selection;
}

int CCommonSO::RetrieveStatistics(std::string& statistics)
{
    static const char* const tag = "CmnSO.RetrieveStatistics, ";
    if (m_nCapStatisticsReporting == 0) {
        SetResult(106, 106);
        return 106;
    }
    const Selection selection = Select(statistics, false);
    if (selection.unknown != 0) {
        SetResult(106, 106);
        return 106;
    }
    DWORD good = 0;
    DWORD noRead = 0;
    if (SOHost().AppType() == 0) {
        HKEY key = nullptr;
        const LONG opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, m_strDeviceKey.c_str(), 0, KEY_READ, &key);
        if (opened != ERROR_SUCCESS) {
            Debug().LogNumber(tag, opened);
            return 111;
        }
        RegCloseKey(key);
        if (selection.goodScans && !ReadDeviceDword(m_strDeviceKey, kGood, good)) {
            Debug().LogText(tag, "Could not find the value in registry");
            good = 0;
        }
        if (selection.noReads && !ReadDeviceDword(m_strDeviceKey, kNoRead, noRead)) {
            Debug().LogText(tag, "Could not find the value in registry");
            noRead = 0;
        }
    }
    std::string xml =
        "<?xml version=\"1.0\" ?>\r\n"
        "<UPOSStat version=\"1.13.0\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\r\n"
        "xmlns=\"http://www.nrf-arts.org/UnifiedPOS/namespace/\" "
        "xsi:schemaLocation=\"http://www.nrf-arts.org/UnifiedPOS/namespace/ UPOSStat.xsd\">\r\n"
        "\t<Event>";
    if (selection.goodScans)
        xml += std::string("\r\n\t\t<Parameter>\r\n\t\t\t<Name>U_") + kGood + "</Name>\r\n\t\t\t<Value>" +
               std::to_string(good) + "</Value>\r\n\t\t</Parameter>";
    if (selection.noReads)
        xml += std::string("\r\n\t\t<ManufacturerSpecific>\r\n\t\t\t<Name>M_") + kNoRead +
               "</Name>\r\n\t\t\t<Value>" + std::to_string(noRead) + "</Value>\r\n\t\t</ManufacturerSpecific>";
    xml += "\r\n\t</Event>";
    const CDeviceInfo empty;
    const CDeviceInfo& info = m_pDeviceInfo != nullptr ? *m_pDeviceInfo : empty;
    xml += "\r\n\t<Equipment>\r\n\t\t<UnifiedPOSVersion>1.13</UnifiedPOSVersion>\r\n\t\t<DeviceCategory UPOS="
           "\"Scanner\"/>\r\n\t\t<ManufacturerName>Varnex</ManufacturerName>\r\n\t\t<ModelName>" +
           info.m_strDescription + "</ModelName>\r\n\t\t<SerialNumber>" + info.m_strSerialNumber +
           "</SerialNumber>\r\n\t\t<FirmwareRevision>" + info.m_strFirmwarePart +
           "</FirmwareRevision>\r\n\t\t<Interface>" + info.m_strInterface + "</Interface>\r\n\t\t<InstallationDate>" +
           info.m_strAppDate + "</InstallationDate>\r\n\t</Equipment>";
    xml += "\r\n</UPOSStat>";
    statistics = xml;
    SetResult(0, 0);
    return 0;
}

int CCommonSO::WriteCounters(const char* tag, const Selection& selection, bool zero)
{
    // An unknown name alone is illegal; among others it is an extended
    // failure (280, a bad statistics name).
    if (selection.unknown != 0) {
        if (selection.items == 1) {
            SetResult(106, 106);
            return 106;
        }
        SetResult(114, 280);
        return 114;
    }
    if (SOHost().AppType() != 0) {
        SetResult(106, 106);
        return 106;
    }
    HKEY key = nullptr;
    const LONG opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, m_strDeviceKey.c_str(), 0, KEY_ALL_ACCESS, &key);
    if (opened != ERROR_SUCCESS) {
        Debug().LogText(tag, FormatSystemError(static_cast<DWORD>(opened)).c_str());
        return 111;
    }
    RegCloseKey(key);
    if (selection.goodScans &&
        !WriteDeviceCounter(m_strDeviceKey, kGood, zero ? 0 : static_cast<DWORD>(selection.goodValue)))
        return 111;
    if (selection.noReads &&
        !WriteDeviceCounter(m_strDeviceKey, kNoRead, zero ? 0 : static_cast<DWORD>(selection.noReadValue)))
        return 111;
    SetResult(0, 0);
    return 0;
}

int CCommonSO::UpdateStatistics(const std::string& statistics)
{
    static const char* const tag = "CmnSO.UpdateStatistics, ";
    if (m_nCapStatisticsReporting == 0 || m_nCapUpdateStatistics == 0 || statistics.empty()) {
        SetResult(106, 106);
        return 106;
    }
    return WriteCounters(tag, Select(statistics, true), false);
}

int CCommonSO::ResetStatistics(const std::string& statistics)
{
    static const char* const tag = "CmnSO.ResetStatistics, ";
    if (m_nCapStatisticsReporting == 0 || m_nCapUpdateStatistics == 0) {
        SetResult(106, 106);
        return 106;
    }
    return WriteCounters(tag, Select(statistics, false), true);
}
