// The Advanced View's property getters, setters and common methods: one
// button per property, each read or write reported as a line on top of the
// output box, and the lists of the view kept in step with what was read.
#include "AdvancedStrings.h"
#include "AdvancedValidation.h"

#include "ControlCharacters.h"
#include "ProbeStrings.h"

#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <utility>

using namespace adv;

namespace {

constexpr char kClass[] = "CAdvancedValidation";
constexpr LONG kFailureCode = 111;  // what a call that threw shows as its result

// Entries of the true/false lists: "True" first.
constexpr int kTrueEntry = 0;
constexpr int kFalseEntry = 1;

std::string asterisks(std::size_t count) { return std::string(count, '*'); }

}  // namespace

const CLanguageManager::StringTable& adv::propertyStrings()
{
    using S = CAdvancedValidation;
    static const CLanguageManager::StringTable table = {
        {S::kSetDeviceEnableTitle, "Set DeviceEnable"},
        {S::kSetDataEventEnabledTitle, "Set DataEventEnabled"},
        {S::kSetAutoDisableTitle, "Set AutoDisable"},
        {S::kSetFreezeEventsTitle, "Set FreezeEvents"},
        {S::kSetBinaryConversionTitle, "Set BinaryConversion"},
        {S::kSetPowerNotifyTitle, "Set PowerNotify"},
        {S::kCapIlluminateLabel, "CAPIlluminate"},
        {S::kSetDecodeDataTitle, "Set DecodeData"},
        {S::kClearInputLabel, "ClearInput"},
        {S::kClearInputPropertiesLabel, "ClearInputProperties"},
        {S::kCheckHealthTextLabel, "CheckHealthText     :      "},
        {S::kClaimedLabel, "Claimed   :"},
        {S::kOpenResultLabel, "OpenResult    :"},
        {S::kCOVersionLabel, "COVersion   :"},
        {S::kCODescriptionLabel, "CODescription    :"},
        {S::kSOVersionLabel, "SOVersion   :"},
        {S::kSODescriptionLabel, "SODescription   :"},
        {S::kDeviceDescriptionLabel, "DeviceDescription   :"},
        {S::kDeviceNameLabel, "DeviceName   :"},
        {S::kCapUpdateFirmwareLabel, "CAPUpdateFirmware   :"},
        {S::kCapPowerReportingLabel, "CAPPowerReporting    :"},
        {S::kCapStatisticsReportingLabel, "CAPStatisticsReporting    :"},
        {S::kCapUpdateStatisticsLabel, "CAPUpdateStatistics   :"},
        {S::kCapCompareFirmwareLabel, "CAPCompareFirmwareVersion   :"},
        {S::kPowerStateLabel, "PowerState    :"},
        {S::kStateLabel, "State    :"},
        {S::kResultCodeLabel, "ResultCode   :"},
        {S::kResultCodeExtendedLabel, "ResultCodeExtended    :"},
        {S::kGettingAllProperties, "Getting all properties values ..."},
        {S::kCheckHealthLabel, "CheckHealth    :"},
        {S::kCapAimLabel, "CAPAim     :"},
        {S::kCapDecodeDataLabel, "CAPDecodeData     :"},
        {S::kCapHostTriggeredLabel, "CAPHostTriggered    :"},
        {S::kCapImageQualityLabel, "CAPImageQuality     :"},
        {S::kCapVideoDataLabel, "CAPVideoData     :"},
        {S::kCapImageDataLabel, "CAPImageData     :"},
        {S::kFrameTypeLabel, "FrameType     :"},
        {S::kBitsPerPixelLabel, "BitsPerPixel      :"},
        {S::kImageTypeLabel, "ImageType     :"},
        {S::kImageWidthLabel, "ImageWidth    :"},
        {S::kImageHeightLabel, "ImageHeight     :"},
        {S::kImageLengthLabel, "ImageLength      :"},
        {S::kSetImageModeTitle, "Set ImageMode     :"},
        {S::kSetImageQualityTitle, "Set ImageQuality     :"},
        {S::kSetVideoCountTitle, "Set VideoCount     :"},
        {S::kSetVideoRateTitle, "Set VideoRate     :"},
        {S::kSetAimModeTitle, "Set AimMode    :"},
        {S::kSetIlluminateModeTitle, "Set IlluminateMode    :"},
        {S::kStartSessionLabel, "StartSession     :"},
        {S::kStopSessionLabel, "StopSession    :"},
        {S::kImagerStatusLabel, "StatusUpdateEvent     :"},
        {S::kGetDeviceEnableLabel, "Get DeviceEnable  : "},
        {S::kGetDataEventEnabledLabel, "Get DataEventEnabled   :"},
        {S::kGetAutoDisableLabel, "Get AutoDisable   :"},
        {S::kGetFreezeEventsLabel, "Get FreezeEvents   :"},
        {S::kGetBinaryConversionLabel, "Get BinaryConversion  :"},
        {S::kGetPowerNotifyLabel, "Get PowerNotify   :"},
        {S::kGetImageModeLabel, "Get ImageMode    :"},
        {S::kGetImageQualityLabel, "Get ImageQuality    :"},
        {S::kGetVideoCountLabel, "Get VideoCount    :"},
        {S::kGetVideoRateLabel, "Get VideoRate   :"},
        {S::kGetAimModeLabel, "Get AimMode    :"},
        {S::kGetIlluminateModeLabel, "Get IlluminateMode     :"},
        {S::kAllPropertiesHeader, asterisks(13) + "  Get All Properties " + asterisks(78)},
        {S::kAllPropertiesFooter, asterisks(117)},
    };
    return table;
}

// ---- Helpers ----

void CAdvancedValidation::SelectEntry(int list, int entry)
{
    m_model.at(list).selection = entry;
}

std::string CAdvancedValidation::TrueFalse(BOOL value) const
{
    return value ? m_strTrue : m_strFalse;
}

void CAdvancedValidation::PutOnTop(const std::string& text, const std::string& separator)
{
    m_strOutput = m_strOutput.empty() ? text : text + separator + m_strOutput;
    m_model.output = m_strOutput;
}

std::string CAdvancedValidation::ListGetter(const char* name, int list, const std::function<LONG()>& read,
                                            const std::function<std::string(LONG)>& show, int* member)
{
    try {
        LONG value = 0;
        try {
            value = read();
        } catch (const ControlCallError&) {
            log(name, T(probe::kServiceObjectException));
            // A list that keeps a member shows what was last known; the
            // others stay as they are and give what they show.
            if (member == nullptr)
                return m_model.selectedText(list);
            value = *member;
        }
        if (member != nullptr) {
            value = value ? 1 : 0;
            *member = value;
        }
        std::string text = show(value);
        return text;
    } catch (...) {
        log(name, T(probe::kApplicationException));
        return m_model.selectedText(list);
    }
}

std::string CAdvancedValidation::BoolListGetter(const char* name, int list, const std::function<BOOL()>& read,
                                                int* member)
{
    return ListGetter(
        name, list, [&] { return static_cast<LONG>(read() ? 1 : 0); },
        [&](LONG value) {
            SelectEntry(list, value ? kTrueEntry : kFalseEntry);
            return TrueFalse(value);
        },
        member);
}

std::string CAdvancedValidation::NumberListGetter(const char* name, int list, const char* section,
                                                  const std::function<LONG()>& read)
{
    return ListGetter(
        name, list, read,
        [&](LONG value) {
            SelectEntry(list, value);
            return IniText(section, value);
        },
        nullptr);
}

void CAdvancedValidation::ShowGetter(const char* handler, UINT label, const std::function<std::string()>& getter,
                                     const std::string& failure)
{
    log(handler, "");
    try {
        AppendOutput(T(label) + "   " + getter());
    } catch (...) {
        log(handler, failure);
    }
}

void CAdvancedValidation::ShowProperty(const char* handler, UINT label, const char* separator,
                                       const std::function<std::string()>& read)
{
    log(handler, "");
    try {
        AppendOutput(T(label) + separator + read());
    } catch (...) {
        log(handler, "Exception");
    }
}

// ---- List-synchronising getters ----

std::string CAdvancedValidation::GetDeviceenable()
{
    return BoolListGetter("GetDeviceenable", IDC_COMBO_DEVICEENABLE, [this] { return Active().GetDeviceEnabled(); },
                          &m_bDeviceEnabled);
}

std::string CAdvancedValidation::GetDataenable()
{
    return BoolListGetter("GetDataenable", IDC_COMBO_DATAEVENTENABLE,
                          [this] { return Active().GetDataEventEnabled(); }, &m_bDataEventEnabled);
}

std::string CAdvancedValidation::GetAutodisable()
{
    return BoolListGetter("GetAutodisable", IDC_COMBO_AUTODISABLE, [this] { return Active().GetAutoDisable(); },
                          nullptr);
}

std::string CAdvancedValidation::GetFreezeevent()
{
    return BoolListGetter("GetFreezeevent", IDC_COMBO_FREEZEEVENTS, [this] { return Active().GetFreezeEvents(); },
                          nullptr);
}

std::string CAdvancedValidation::GetBinaryconversion()
{
    return NumberListGetter("GetBinaryconversion", IDC_COMBO_BINARYCONVERSION, "BinaryConversion",
                            [this] { return Active().GetBinaryConversion(); });
}

std::string CAdvancedValidation::GetPowerNotify()
{
    return NumberListGetter("GetPowerNotify", IDC_COMBO_POWERNOTIFY, "PowerNotify",
                            [this] { return Active().GetPowerNotify(); });
}

// ---- Hidden Get buttons ----

void CAdvancedValidation::OnButtonGetDeviceenable()
{
    ShowGetter("OnButtonGetDeviceenable", kGetDeviceEnableLabel, [this] { return GetDeviceenable(); },
               T(probe::kApplicationException));
}

void CAdvancedValidation::OnButtonGetDataenable()
{
    ShowGetter("OnButtonGetDataenable", kGetDataEventEnabledLabel, [this] { return GetDataenable(); },
               T(probe::kApplicationException));
}

void CAdvancedValidation::OnButtonGetAutodisable()
{
    ShowGetter("OnButtonGetAutodisable", kGetAutoDisableLabel, [this] { return GetAutodisable(); },
               T(probe::kApplicationException));
}

void CAdvancedValidation::OnButtonGetFreezeevent()
{
    ShowGetter("OnButtonGetFreezeevent", kGetFreezeEventsLabel, [this] { return GetFreezeevent(); },
               T(probe::kApplicationException));
}

void CAdvancedValidation::OnButtonGetBinaryconversion()
{
    ShowGetter("OnButtonGetBinaryconversion", kGetBinaryConversionLabel, [this] { return GetBinaryconversion(); },
               T(probe::kApplicationException));
}

void CAdvancedValidation::OnButtonGetPowerNotify()
{
    ShowGetter("OnButtonGetPowerNotify", kGetPowerNotifyLabel, [this] { return GetPowerNotify(); }, "Exception");
}

// ---- Common property buttons ----

void CAdvancedValidation::OnBtnCheckHealthText()
{
    ShowProperty("OnBtnCheckHealthText", kCheckHealthTextLabel, "   ", [this] { return Active().GetCheckHealthText(); });
}

void CAdvancedValidation::OnBtnClaimed()
{
    ShowProperty("OnBtnClaimed", kClaimedLabel, "   ", [this] { return TrueFalse(Active().GetClaimed()); });
}

void CAdvancedValidation::OnButtonCappowerReporting()
{
    ShowProperty("OnButtonCappowerReporting", kCapPowerReportingLabel, "   ",
                 [this] { return IniText("PowerReport", Active().GetCapPowerReporting()); });
}

void CAdvancedValidation::OnBtnPowerState()
{
    ShowProperty("OnBtnPowerState", kPowerStateLabel, "   ",
                 [this] { return IniText("PowerState", Active().GetPowerState()); });
}

void CAdvancedValidation::OnBtnResultCode()
{
    log("OnBtnResultCode", "");
    try {
        ReportResultCode(std::string());
    } catch (...) {
        log("OnBtnResultCode", "Exception");
    }
}

void CAdvancedValidation::OnButtonResultcodeExtn()
{
    ShowProperty("OnButtonResultcodeExtn", kResultCodeExtendedLabel, "   ",
                 [this] { return ResultCodeText(Active().GetResultCodeExtended()); });
}

void CAdvancedValidation::OnBtnControlobjVersion()
{
    ShowProperty("OnBtnControlobjVersion", kCOVersionLabel, "   ",
                 [this] { return std::to_string(Active().GetControlObjectVersion()); });
}

void CAdvancedValidation::OnButtonSover()
{
    ShowProperty("OnButtonSover", kSOVersionLabel, "   ",
                 [this] { return std::to_string(Active().GetServiceObjectVersion()); });
}

void CAdvancedValidation::OnBtnCapCompareFirmware()
{
    ShowProperty("OnBtnCapCompareFirmware", kCapCompareFirmwareLabel, "   ",
                 [this] { return TrueFalse(Active().GetCapCompareFirmwareVersion()); });
}

void CAdvancedValidation::OnBtnCapUpdateFirmware()
{
    ShowProperty("OnBtnCapUpdateFirmware", kCapUpdateFirmwareLabel, "   ",
                 [this] { return TrueFalse(Active().GetCapUpdateFirmware()); });
}

void CAdvancedValidation::OnBtnCapStatisticsReporting()
{
    ShowProperty("OnBtnCapStatisticsReporting", kCapStatisticsReportingLabel, "   ",
                 [this] { return TrueFalse(Active().GetCapStatisticsReporting()); });
}

void CAdvancedValidation::OnBtnDeviceDesc()
{
    ShowProperty("OnBtnDeviceDesc", kDeviceDescriptionLabel, "   ", [this] { return Active().GetDeviceDescription(); });
}

void CAdvancedValidation::OnButtonOpenresult()
{
    ShowProperty("OnButtonOpenresult", kOpenResultLabel, "   ",
                 [this] { return ResultCodeText(Active().GetOpenResult()); });
}

void CAdvancedValidation::OnBtnDeviceVersion()
{
    ShowProperty("OnBtnDeviceVersion", kDeviceNameLabel, "   ", [this] { return Active().GetDeviceName(); });
}

void CAdvancedValidation::OnButtonState()
{
    ShowProperty("OnButtonState", kStateLabel, "   ", [this] { return IniText("State", Active().GetState()); });
}

void CAdvancedValidation::OnBtnControlobjDescription()
{
    ShowProperty("OnBtnControlobjDescription", kCODescriptionLabel, "   ",
                 [this] { return Active().GetControlObjectDescription(); });
}

void CAdvancedValidation::OnBtnCapUpdateStat()
{
    ShowProperty("OnBtnCapUpdateStat", kCapUpdateStatisticsLabel, "   ",
                 [this] { return TrueFalse(Active().GetCapUpdateStatistics()); });
}

void CAdvancedValidation::OnBtnServiceobjDesc()
{
    ShowProperty("OnBtnServiceobjDesc", kSODescriptionLabel, "   ",
                 [this] { return Active().GetServiceObjectDescription(); });
}

void CAdvancedValidation::OnBtnDataCount()
{
    ShowProperty("OnBtnDataCount", kDataCountLine, "  ", [this] { return std::to_string(Active().GetDataCount()); });
}

// ---- Common methods ----

void CAdvancedValidation::ClearInputStep(const char* handler, UINT label, LONG (COPOSCommonControl::*method)())
{
    log(handler, "Entered");
    try {
        LONG result = kFailureCode;
        try {
            result = (Active().*method)();
        } catch (const ControlCallError&) {
            log(handler, T(probe::kServiceObjectException));
        }
        const std::string text = ResultCodeText(result);
        log(handler, "ClearInput", text);
        AppendOutput(T(label) + "  :  " + text);
    } catch (...) {
        log(handler, T(probe::kApplicationException));
    }
}

void CAdvancedValidation::OnBtnClearInput()
{
    ClearInputStep("OnBtnClearInput", kClearInputLabel, &COPOSCommonControl::ClearInput);
}

void CAdvancedValidation::OnButtonClearinputprop()
{
    ClearInputStep("OnButtonClearinputprop", kClearInputPropertiesLabel, &COPOSCommonControl::ClearInputProperties);
    GetDataenable();
}

void CAdvancedValidation::ReportResultCode(std::string message)
{
    LONG code = kFailureCode;
    try {
        code = Active().GetResultCode();
    } catch (const ControlCallError&) {
        log("ReportResultCode", T(probe::kServiceObjectException));
    }
    const std::string line = T(kResultCodeLabel) + "   " + ResultCodeText(code);
    message = message.empty() ? line : message + "  ,  " + line;
    m_log.Write(4, kClass, message, "", "");
    AppendOutput(message);
}

void CAdvancedValidation::resetValues()
{
    try {
        for (int list : {IDC_COMBO_DATAEVENTENABLE, IDC_COMBO_AUTODISABLE, IDC_COMBO_DEVICEENABLE,
                         IDC_COMBO_FREEZEEVENTS})
            SelectEntry(list, kFalseEntry);
        SelectEntry(IDC_COMBO_BINARYCONVERSION, 0);
        SelectEntry(IDC_COMBO_POWERNOTIFY, 0);
        if (IsScannerType()) {
            SelectEntry(IDC_COMBO_DECODEDATA, kFalseEntry);
        } else {
            for (int list : {IDC_COMBO_VIDEOCOUNT, IDC_COMBO_VIDEORATE, IDC_COMBO_IMAGEMODE, IDC_COMBO_IMAGEQUALITY})
                SelectEntry(list, 0);
            SelectEntry(IDC_COMBO_ILLUMINATEMODE, kFalseEntry);
            SelectEntry(IDC_COMBO_AIMMODE, kFalseEntry);
        }
        for (int box : {IDC_EDIT_SCANDATA, IDC_EDIT_SCANDATALABEL, IDC_EDIT_SCANDATATYPE, IDC_EDIT_FIRMWAREPATH,
                        IDC_EDIT_STATISTICS})
            m_model.at(box).text.clear();
        SelectEntry(IDC_COMBO_METHOD, kSelectMethod);
        OnSelchangeComboMethod();
        SelectEntry(IDC_COMBO_CHECKHEALTH, 0);
        m_model.at(IDC_STATIC_DATACOUNT).text = T(kDataCountLine) + "  " + "0";
    } catch (...) {
        log("resetValues", "Reset");
    }
}

void CAdvancedValidation::OnBtnHelp()
{
    try {
        std::error_code ec;
        const std::string path = std::filesystem::current_path(ec).string() + "/" + T(probe::kHelpFile);
        if (std::filesystem::is_regular_file(path, ec)) {
            log("OnButtonHelp", "Help Path", path);
            if (!m_host.RaiseWindow(T(probe::kHelpTitle)))
                m_host.OpenHelp(path);
        } else {
            m_host.ShowMessage(T(probe::kNoHelp));
            m_model.focus = IDC_BTN_OPEN;
        }
    } catch (...) {
        m_log.Write(4, "CTillProbeDlg", "OnBtnHelp", T(probe::kApplicationException), "Help File not found");
    }
}

bool CAdvancedValidation::OnSysCommand(UINT command)
{
    constexpr UINT kAboutCommand = 0x0010;
    if ((command & 0xFFF0) != kAboutCommand)
        return false;
    OnAbout();
    return true;
}

// ---- Setters ----

void CAdvancedValidation::RunSetter(const SetterPlan& plan)
{
    log(plan.logName, "");
    try {
        std::string line = T(plan.title) + plan.separator;
        const int entry = m_model.at(plan.list).selection;
        const LONG value = plan.value(entry);
        bool threw = false;
        try {
            plan.write(value);
            // The state record follows only a write the device took.
            if (plan.record != nullptr && Active().GetResultCode() == 0)
                *plan.record = value ? 1 : 0;
        } catch (const ControlCallError&) {
            log(plan.logName, plan.failureText);
            threw = true;
        }
        if (!threw || plan.wordAfterFailure)
            line += plan.word(entry);
        ReportResultCode(line);
    } catch (...) {
        log(plan.logName, plan.otherFailureText);
    }
}

CAdvancedValidation::SetterPlan CAdvancedValidation::BoolSetter(const char* logName, UINT title, int list,
                                                                 std::function<void(BOOL)> write)
{
    SetterPlan plan;
    plan.logName = logName;
    plan.title = title;
    plan.separator = "  :  ";
    plan.list = list;
    plan.value = [](int entry) { return static_cast<LONG>(entry == kTrueEntry ? TRUE : FALSE); };
    plan.write = [write = std::move(write)](LONG value) { write(static_cast<BOOL>(value)); };
    plan.word = [this](int entry) { return TrueFalse(entry == kTrueEntry); };
    plan.failureText = T(probe::kServiceObjectException);
    plan.otherFailureText = T(probe::kApplicationException);
    return plan;
}

CAdvancedValidation::SetterPlan CAdvancedValidation::NumberSetter(const char* logName, UINT title, int list,
                                                                   const char* section,
                                                                   std::function<void(LONG)> write)
{
    SetterPlan plan;
    plan.logName = logName;
    plan.title = title;
    plan.separator = "  :  ";
    plan.list = list;
    plan.value = [](int entry) { return static_cast<LONG>(entry); };
    plan.write = std::move(write);
    plan.word = [this, section](int entry) { return IniText(section, entry); };
    plan.failureText = T(probe::kServiceObjectException);
    plan.otherFailureText = T(probe::kApplicationException);
    return plan;
}

void CAdvancedValidation::OnButtonSetDeviceenable()
{
    SetterPlan plan = BoolSetter("OnButtonSetDeviceenable", kSetDeviceEnableTitle, IDC_COMBO_DEVICEENABLE,
                                 [this](BOOL value) { Active().SetDeviceEnabled(value); });
    plan.record = &m_bDeviceEnabled;
    RunSetter(plan);
}

void CAdvancedValidation::OnBtnSetdataevent()
{
    SetterPlan plan = BoolSetter("OnBtnSetdataevent", kSetDataEventEnabledTitle, IDC_COMBO_DATAEVENTENABLE,
                                 [this](BOOL value) { Active().SetDataEventEnabled(value); });
    plan.record = &m_bDataEventEnabled;
    RunSetter(plan);
}

void CAdvancedValidation::OnBtnSetautodisable()
{
    SetterPlan plan = BoolSetter("OnBtnSetautodisable", kSetAutoDisableTitle, IDC_COMBO_AUTODISABLE,
                                 [this](BOOL value) { Active().SetAutoDisable(value); });
    plan.wordAfterFailure = false;
    RunSetter(plan);
}

void CAdvancedValidation::OnBtnSetfreezeevents()
{
    SetterPlan plan = BoolSetter("OnBtnSetfreezeevents", kSetFreezeEventsTitle, IDC_COMBO_FREEZEEVENTS,
                                 [this](BOOL value) { Active().SetFreezeEvents(value); });
    plan.wordAfterFailure = false;
    RunSetter(plan);
}

void CAdvancedValidation::OnBtnSetdeodedata()
{
    // DecodeData is the scanner control's, whichever device type is chosen.
    SetterPlan plan = BoolSetter("OnBtnSetdeodedata", kSetDecodeDataTitle, IDC_COMBO_DECODEDATA,
                                 [this](BOOL value) { m_scanner.SetDecodeData(value); });
    plan.wordAfterFailure = false;
    RunSetter(plan);
}

void CAdvancedValidation::OnBtnPowernotify()
{
    RunSetter(NumberSetter("OnBtnPowernotify", kSetPowerNotifyTitle, IDC_COMBO_POWERNOTIFY, "PowerNotify",
                           [this](LONG value) { Active().SetPowerNotify(value); }));
}

void CAdvancedValidation::OnBtnBinaryconversion()
{
    RunSetter(NumberSetter("OnBtnBinaryconversion", kSetBinaryConversionTitle, IDC_COMBO_BINARYCONVERSION,
                           "BinaryConversion", [this](LONG value) { Active().SetBinaryConversion(value); }));
}

// ---- CheckHealth, Get All Properties, scan data ----

void CAdvancedValidation::OnButtonCheckhealth()
{
    log("OnButtonCheckhealth", "Entered");
    try {
        const std::string line = T(kCheckHealthLabel) + "   ";
        const LONG level = m_model.at(IDC_COMBO_CHECKHEALTH).selection + 1;
        LONG result = kFailureCode;
        try {
            result = Active().CheckHealth(level);
        } catch (const ControlCallError&) {
            log("OnButtonCheckhealth", T(probe::kServiceObjectException));
        }
        const std::string text = ResultCodeText(result);
        log("OnButtonCheckhealth", "CheckHealth", text);
        AppendOutput(line + text);
    } catch (...) {
        log("OnButtonCheckhealth", T(probe::kApplicationException));
    }
}

void CAdvancedValidation::OnBtnGetallprops()
{
    log("OnBtnGetallprops", "Entered");
    try {
        SetStatus(T(kGettingAllProperties));
        PutOnTop(T(kAllPropertiesFooter), "\r\n");
        using Step = void (CAdvancedValidation::*)();
        static constexpr Step common[] = {
            &CAdvancedValidation::OnButtonGetDeviceenable,     &CAdvancedValidation::OnButtonGetDataenable,
            &CAdvancedValidation::OnButtonGetAutodisable,      &CAdvancedValidation::OnButtonGetFreezeevent,
            &CAdvancedValidation::OnButtonGetPowerNotify,      &CAdvancedValidation::OnButtonGetBinaryconversion,
            &CAdvancedValidation::OnBtnCheckHealthText,        &CAdvancedValidation::OnBtnClaimed,
            &CAdvancedValidation::OnBtnPowerState,             &CAdvancedValidation::OnButtonState,
            &CAdvancedValidation::OnBtnDeviceVersion,          &CAdvancedValidation::OnBtnDeviceDesc,
            &CAdvancedValidation::OnBtnCapCompareFirmware,     &CAdvancedValidation::OnBtnCapUpdateFirmware,
            &CAdvancedValidation::OnBtnCapStatisticsReporting, &CAdvancedValidation::OnBtnCapUpdateStat,
            &CAdvancedValidation::OnButtonCappowerReporting,   &CAdvancedValidation::OnBtnDataCount,
            &CAdvancedValidation::OnBtnServiceobjDesc,         &CAdvancedValidation::OnButtonSover,
            &CAdvancedValidation::OnBtnControlobjDescription,  &CAdvancedValidation::OnBtnControlobjVersion,
            &CAdvancedValidation::OnButtonOpenresult,          &CAdvancedValidation::OnBtnResultCode,
            &CAdvancedValidation::OnButtonResultcodeExtn,
        };
        static constexpr Step scanner[] = {
            &CAdvancedValidation::OnButtonGetDecodedata,
            &CAdvancedValidation::OnBtnScandata,
            &CAdvancedValidation::OnBtnScandatalable,
            &CAdvancedValidation::OnBtnScandatatype,
        };
        static constexpr Step imageScanner[] = {
            &CAdvancedValidation::OnButtonCapaim,         &CAdvancedValidation::OnButtonCapilluminate,
            &CAdvancedValidation::OnButtonCaphosttrigger, &CAdvancedValidation::OnButtonCapimagequality,
            &CAdvancedValidation::OnButtonCapvideodata,   &CAdvancedValidation::OnButtonCapimagedata,
            &CAdvancedValidation::OnButtonCapdecodedata,  &CAdvancedValidation::OnButtonFramedata,
            &CAdvancedValidation::OnButtonFrametype,      &CAdvancedValidation::OnButtonBitsperpixel,
            &CAdvancedValidation::OnButtonImagetype,      &CAdvancedValidation::OnButtonImagewidth,
            &CAdvancedValidation::OnButtonImageheight,    &CAdvancedValidation::OnButtonImagelength,
        };
        // The image scanner's list getters give a text besides their line.
        using ListStep = std::string (CAdvancedValidation::*)();
        static constexpr ListStep imageLists[] = {
            &CAdvancedValidation::GetImageMode,  &CAdvancedValidation::GetImageQuality,
            &CAdvancedValidation::GetVideoCount, &CAdvancedValidation::GetVideoRate,
            &CAdvancedValidation::GetAimMode,    &CAdvancedValidation::GetIlluminateMode,
        };
        for (Step step : common)
            (this->*step)();
        if (m_strDeviceType == T(probe::kScanner)) {
            for (Step step : scanner)
                (this->*step)();
        } else if (m_strDeviceType == T(probe::kImageScanner)) {
            for (Step step : imageScanner)
                (this->*step)();
            for (ListStep step : imageLists)
                (this->*step)();
        }
        SetStatus(std::string());
        PutOnTop(T(kAllPropertiesHeader), "\r\n");
    } catch (...) {
        log("OnBtnGetallprops", "Exception");
    }
}

void CAdvancedValidation::ShowScanText(const char* handler, UINT label, int box, std::string (COPOSScanner::*read)())
{
    log(handler, "Entered");
    try {
        const std::string text = NameControlCharacters((m_scanner.*read)());
        log(handler, text);
        m_model.at(box).text = text;
        AppendOutput(T(label) + "  :  " + text);
    } catch (...) {
        log(handler, "Exception");
    }
}

void CAdvancedValidation::OnBtnScandata()
{
    ShowScanText("OnBtnScandata", kScanDataName, IDC_EDIT_SCANDATA, &COPOSScanner::GetScanData);
}

void CAdvancedValidation::OnBtnScandatalable()
{
    ShowScanText("OnBtnScandatalable", kScanDataLabelName, IDC_EDIT_SCANDATALABEL, &COPOSScanner::GetScanDataLabel);
}

std::string CAdvancedValidation::KeyText(const std::string& section, const std::string& key) const
{
    std::string text;
    m_ini.Read(section, key, text, key);
    return text;
}
