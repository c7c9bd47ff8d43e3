// The wrappers' dispatch calls: one per member, ids and kinds compiled in.
#include "OposControls.h"

#include <cstdio>

namespace {

using platform::DispatchArg;

std::string FailureText(HRESULT code, const std::string& description)
{
    if (!description.empty())
        return description;
    char text[48];
    std::snprintf(text, sizeof text, "control call failed: 0x%08X", static_cast<unsigned>(code));
    return text;
}

void Check(HRESULT code, const std::string& description = {})
{
    if (FAILED(code))
        throw ControlCallError(code, FailureText(code, description));
}

// Frees a call's result on every path.
struct Result {
    Result() { VariantInit(&value); }
    ~Result() { VariantClear(&value); }
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    VARIANT value;
};

// Dispatch ids of the OPOS control members.
enum : DISPID {
    kAutoDisable = 10,
    kBinaryConversion = 11,
    kCapPowerReporting = 12,
    kCheckHealthText = 13,
    kClaimed = 14,
    kDataCount = 15,
    kDataEventEnabled = 16,
    kDeviceEnabled = 17,
    kFreezeEvents = 18,
    kPowerNotify = 20,
    kPowerState = 21,
    kResultCode = 22,
    kResultCodeExtended = 23,
    kState = 24,
    kControlObjectDescription = 25,
    kControlObjectVersion = 26,
    kServiceObjectDescription = 27,
    kServiceObjectVersion = 28,
    kDeviceDescription = 29,
    kDeviceName = 30,
    kCheckHealth = 31,
    kClaimDevice = 32,
    kClearInput = 33,
    kClose = 35,
    kDirectIO = 36,
    kOpen = 37,
    kReleaseDevice = 38,
    kCapStatisticsReporting = 39,
    kCapUpdateStatistics = 40,
    kResetStatistics = 41,
    kRetrieveStatistics = 42,
    kUpdateStatistics = 43,
    kCapCompareFirmwareVersion = 44,
    kCapUpdateFirmware = 45,
    kCompareFirmwareVersion = 46,
    kUpdateFirmware = 47,
    kClearInputProperties = 48,
    kOpenResult = 49,
    kDecodeData = 50,
    kScanData = 51,
    kScanDataLabel = 52,
    kScanDataType = 53,
    // The image scanner's own.
    kCapAim = 60,
    kCapDecodeData = 61,
    kCapHostTriggered = 62,
    kCapIlluminate = 63,
    kCapImageData = 64,
    kCapImageQuality = 65,
    kCapVideoData = 66,
    kAimMode = 67,
    kBitsPerPixel = 68,
    kFrameData = 69,
    kFrameType = 70,
    kIlluminateMode = 71,
    kImageHeight = 72,
    kImageLength = 73,
    kImageMode = 74,
    kImageQuality = 75,
    kImageType = 76,
    kImageWidth = 77,
    kVideoCount = 78,
    kVideoRate = 79,
    kStartSession = 90,
    kStopSession = 91,
};

}  // namespace

// --- The dispatch calls ------------------------------------------------------

void COPOSCommonControl::Invoke(DISPID id, WORD kind, const std::vector<DispatchArg>& args, VARIANT* result)
{
    std::string description;
    Check(m_driver.invoke(id, kind, args, result, LOCALE_USER_DEFAULT, nullptr, &description), description);
}

LONG COPOSCommonControl::GetNumber(DISPID id)
{
    Result result;
    Invoke(id, DISPATCH_PROPERTYGET, {}, &result.value);
    LONG number = 0;
    Check(platform::variantToI4(result.value, &number));
    return number;
}

BOOL COPOSCommonControl::GetBool(DISPID id)
{
    return GetNumber(id) != 0 ? TRUE : FALSE;
}

std::string COPOSCommonControl::GetText(DISPID id)
{
    Result result;
    Invoke(id, DISPATCH_PROPERTYGET, {}, &result.value);
    std::string text;
    Check(platform::variantToLatin1(result.value, &text));
    return text;
}

void COPOSCommonControl::PutNumber(DISPID id, LONG value)
{
    Invoke(id, DISPATCH_PROPERTYPUT, {DispatchArg::i4(value)}, nullptr);
}

void COPOSCommonControl::PutBool(DISPID id, BOOL value)
{
    Invoke(id, DISPATCH_PROPERTYPUT, {DispatchArg::boolean(value != 0)}, nullptr);
}

LONG COPOSCommonControl::Call(DISPID id, const std::vector<DispatchArg>& args)
{
    Result result;
    Invoke(id, DISPATCH_METHOD, args, &result.value);
    LONG number = 0;
    Check(platform::variantToI4(result.value, &number));
    return number;
}

// --- Members of both controls ----------------------------------------------

BOOL COPOSCommonControl::GetAutoDisable() { return GetBool(kAutoDisable); }
void COPOSCommonControl::SetAutoDisable(BOOL value) { PutBool(kAutoDisable, value); }
LONG COPOSCommonControl::GetBinaryConversion() { return GetNumber(kBinaryConversion); }
void COPOSCommonControl::SetBinaryConversion(LONG value) { PutNumber(kBinaryConversion, value); }
LONG COPOSCommonControl::GetCapPowerReporting() { return GetNumber(kCapPowerReporting); }
std::string COPOSCommonControl::GetCheckHealthText() { return GetText(kCheckHealthText); }
BOOL COPOSCommonControl::GetClaimed() { return GetBool(kClaimed); }
LONG COPOSCommonControl::GetDataCount() { return GetNumber(kDataCount); }
BOOL COPOSCommonControl::GetDataEventEnabled() { return GetBool(kDataEventEnabled); }
void COPOSCommonControl::SetDataEventEnabled(BOOL value) { PutBool(kDataEventEnabled, value); }
BOOL COPOSCommonControl::GetDeviceEnabled() { return GetBool(kDeviceEnabled); }
void COPOSCommonControl::SetDeviceEnabled(BOOL value) { PutBool(kDeviceEnabled, value); }
BOOL COPOSCommonControl::GetFreezeEvents() { return GetBool(kFreezeEvents); }
void COPOSCommonControl::SetFreezeEvents(BOOL value) { PutBool(kFreezeEvents, value); }
LONG COPOSCommonControl::GetPowerNotify() { return GetNumber(kPowerNotify); }
void COPOSCommonControl::SetPowerNotify(LONG value) { PutNumber(kPowerNotify, value); }
LONG COPOSCommonControl::GetPowerState() { return GetNumber(kPowerState); }
LONG COPOSCommonControl::GetResultCode() { return GetNumber(kResultCode); }
LONG COPOSCommonControl::GetResultCodeExtended() { return GetNumber(kResultCodeExtended); }
LONG COPOSCommonControl::GetState() { return GetNumber(kState); }
std::string COPOSCommonControl::GetControlObjectDescription() { return GetText(kControlObjectDescription); }
LONG COPOSCommonControl::GetControlObjectVersion() { return GetNumber(kControlObjectVersion); }
std::string COPOSCommonControl::GetServiceObjectDescription() { return GetText(kServiceObjectDescription); }
LONG COPOSCommonControl::GetServiceObjectVersion() { return GetNumber(kServiceObjectVersion); }
std::string COPOSCommonControl::GetDeviceDescription() { return GetText(kDeviceDescription); }
std::string COPOSCommonControl::GetDeviceName() { return GetText(kDeviceName); }
BOOL COPOSCommonControl::GetCapStatisticsReporting() { return GetBool(kCapStatisticsReporting); }
BOOL COPOSCommonControl::GetCapUpdateStatistics() { return GetBool(kCapUpdateStatistics); }
BOOL COPOSCommonControl::GetCapCompareFirmwareVersion() { return GetBool(kCapCompareFirmwareVersion); }
BOOL COPOSCommonControl::GetCapUpdateFirmware() { return GetBool(kCapUpdateFirmware); }
LONG COPOSCommonControl::GetOpenResult() { return GetNumber(kOpenResult); }

LONG COPOSCommonControl::CheckHealth(LONG level) { return Call(kCheckHealth, {DispatchArg::i4(level)}); }
LONG COPOSCommonControl::ClaimDevice(LONG timeout) { return Call(kClaimDevice, {DispatchArg::i4(timeout)}); }
LONG COPOSCommonControl::ClearInput() { return Call(kClearInput); }
LONG COPOSCommonControl::Close() { return Call(kClose); }
LONG COPOSCommonControl::Open(const std::string& deviceName) { return Call(kOpen, {DispatchArg::latin1(deviceName)}); }
LONG COPOSCommonControl::ReleaseDevice() { return Call(kReleaseDevice); }
LONG COPOSCommonControl::UpdateFirmware(const std::string& firmwareFileName)
{
    return Call(kUpdateFirmware, {DispatchArg::latin1(firmwareFileName)});
}
LONG COPOSCommonControl::ClearInputProperties() { return Call(kClearInputProperties); }

// --- The scanner control's own ---------------------------------------------

BOOL COPOSScanner::GetDecodeData() { return GetBool(kDecodeData); }
void COPOSScanner::SetDecodeData(BOOL value) { PutBool(kDecodeData, value); }
std::string COPOSScanner::GetScanData() { return GetText(kScanData); }
std::string COPOSScanner::GetScanDataLabel() { return GetText(kScanDataLabel); }
LONG COPOSScanner::GetScanDataType() { return GetNumber(kScanDataType); }

LONG COPOSScanner::DirectIO(LONG command, LONG* pData, BSTR* pString)
{
    return Call(kDirectIO, {DispatchArg::i4(command), DispatchArg::i4Ref(pData), DispatchArg::bstrRef(pString)});
}

LONG COPOSScanner::ResetStatistics(const std::string& statisticsBuffer)
{
    return Call(kResetStatistics, {DispatchArg::latin1(statisticsBuffer)});
}

LONG COPOSScanner::RetrieveStatistics(BSTR* pStatisticsBuffer)
{
    return Call(kRetrieveStatistics, {DispatchArg::bstrRef(pStatisticsBuffer)});
}

LONG COPOSScanner::UpdateStatistics(const std::string& statisticsBuffer)
{
    return Call(kUpdateStatistics, {DispatchArg::latin1(statisticsBuffer)});
}

LONG COPOSScanner::CompareFirmwareVersion(const std::string& firmwareFileName, LONG* pResult)
{
    return Call(kCompareFirmwareVersion, {DispatchArg::latin1(firmwareFileName), DispatchArg::i4Ref(pResult)});
}

// --- The image-scanner control's own ---------------------------------------

BOOL COPOSImageScanner::GetCapAim() { return GetBool(kCapAim); }
BOOL COPOSImageScanner::GetCapDecodeData() { return GetBool(kCapDecodeData); }
BOOL COPOSImageScanner::GetCapHostTriggered() { return GetBool(kCapHostTriggered); }
BOOL COPOSImageScanner::GetCapIlluminate() { return GetBool(kCapIlluminate); }
BOOL COPOSImageScanner::GetCapImageData() { return GetBool(kCapImageData); }
BOOL COPOSImageScanner::GetCapImageQuality() { return GetBool(kCapImageQuality); }
BOOL COPOSImageScanner::GetCapVideoData() { return GetBool(kCapVideoData); }
BOOL COPOSImageScanner::GetAimMode() { return GetBool(kAimMode); }
void COPOSImageScanner::SetAimMode(BOOL value) { PutBool(kAimMode, value); }
LONG COPOSImageScanner::GetBitsPerPixel() { return GetNumber(kBitsPerPixel); }
std::string COPOSImageScanner::GetFrameData() { return GetText(kFrameData); }
LONG COPOSImageScanner::GetFrameType() { return GetNumber(kFrameType); }
BOOL COPOSImageScanner::GetIlluminateMode() { return GetBool(kIlluminateMode); }
void COPOSImageScanner::SetIlluminateMode(BOOL value) { PutBool(kIlluminateMode, value); }
LONG COPOSImageScanner::GetImageHeight() { return GetNumber(kImageHeight); }
LONG COPOSImageScanner::GetImageLength() { return GetNumber(kImageLength); }
LONG COPOSImageScanner::GetImageMode() { return GetNumber(kImageMode); }
void COPOSImageScanner::SetImageMode(LONG value) { PutNumber(kImageMode, value); }
LONG COPOSImageScanner::GetImageQuality() { return GetNumber(kImageQuality); }
void COPOSImageScanner::SetImageQuality(LONG value) { PutNumber(kImageQuality, value); }
LONG COPOSImageScanner::GetImageType() { return GetNumber(kImageType); }
LONG COPOSImageScanner::GetImageWidth() { return GetNumber(kImageWidth); }
LONG COPOSImageScanner::GetVideoCount() { return GetNumber(kVideoCount); }
void COPOSImageScanner::SetVideoCount(LONG value) { PutNumber(kVideoCount, value); }
LONG COPOSImageScanner::GetVideoRate() { return GetNumber(kVideoRate); }
void COPOSImageScanner::SetVideoRate(LONG value) { PutNumber(kVideoRate, value); }

LONG COPOSImageScanner::StartSession() { return Call(kStartSession); }
LONG COPOSImageScanner::StopSession() { return Call(kStopSession); }

LONG COPOSImageScanner::CompareFirmwareVersion(const std::string& firmwareFileName, LONG* pResult)
{
    DISPID id = DISPID_UNKNOWN;
    Check(m_driver.idOf(std::string_view("CompareFirmwareVersion"), &id));
    return Call(id, {DispatchArg::latin1(firmwareFileName), DispatchArg::i4Ref(pResult)});
}
