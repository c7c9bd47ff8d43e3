// The image-scanner rows of the Advanced View: its property getters, the
// session methods, the getters that keep its lists in step with the device,
// and its error and status events.
#include "AdvancedStrings.h"
#include "AdvancedValidation.h"

#include <functional>
#include <string>

using namespace adv;

namespace {

// ImageMode values in the order of the ImageMode list.
constexpr LONG kImageModes[] = {1, 2, 3, 5, 6, 255};
constexpr const char* kImageModeKeys[] = {"0x01", "0x02", "0x03", "0x05", "0x06", "0xFF"};
// ImageQuality values in the order of its list.
constexpr LONG kImageQualities[] = {1, 2, 3};
constexpr const char* kImageQualityKeys[] = {"0x01", "0x02", "0x03"};

// The list entry of a value: its place in `values`, or the value itself
// when it has none.
template <std::size_t N>
int entryOf(const LONG (&values)[N], LONG value)
{
    for (std::size_t i = 0; i < N; ++i)
        if (values[i] == value)
            return static_cast<int>(i);
    return static_cast<int>(value);
}

// The value an entry writes: the table's, or the entry index itself for an
// entry beyond it (and for no selection, -1).
// The results-file key of an entry; none beyond the table.
template <std::size_t N>
const char* keyOf(const char* const (&keys)[N], int entry)
{
    return entry >= 0 && static_cast<std::size_t>(entry) < N ? keys[entry] : nullptr;
}

template <std::size_t N>
LONG valueOf(const LONG (&values)[N], int entry)
{
    return entry >= 0 && static_cast<std::size_t>(entry) < N ? values[entry] : entry;
}

}  // namespace

void CAdvancedValidation::ShowImageProperty(const char* handler, UINT label, const std::function<std::string()>& read)
{
    log(handler, "");
    try {
        AppendOutput(T(label) + "   " + read());
    } catch (...) {
        log(handler, "Exception");
    }
}

void CAdvancedValidation::OnButtonCapaim()
{
    ShowImageProperty("OnButtonCapaim", kCapAimLabel, [this] { return TrueFalse(m_imageScanner.GetCapAim()); });
}

void CAdvancedValidation::OnButtonCapdecodedata()
{
    ShowImageProperty("OnButtonCapdecodedata", kCapDecodeDataLabel,
                      [this] { return TrueFalse(m_imageScanner.GetCapDecodeData()); });
}

void CAdvancedValidation::OnButtonCaphosttrigger()
{
    ShowImageProperty("OnButtonCaphosttrigger", kCapHostTriggeredLabel,
                      [this] { return TrueFalse(m_imageScanner.GetCapHostTriggered()); });
}

void CAdvancedValidation::OnButtonCapimagequality()
{
    ShowImageProperty("OnButtonCapimagequality", kCapImageQualityLabel,
                      [this] { return TrueFalse(m_imageScanner.GetCapImageQuality()); });
}

void CAdvancedValidation::OnButtonCapvideodata()
{
    ShowImageProperty("OnButtonCapvideodata", kCapVideoDataLabel,
                      [this] { return TrueFalse(m_imageScanner.GetCapVideoData()); });
}

void CAdvancedValidation::OnButtonCapimagedata()
{
    ShowImageProperty("OnButtonCapimagedata", kCapImageDataLabel,
                      [this] { return TrueFalse(m_imageScanner.GetCapImageData()); });
}

void CAdvancedValidation::OnButtonCapilluminate()
{
    ShowImageProperty("OnButtonCapilluminate", kCapIlluminateLabel,
                      [this] { return TrueFalse(m_imageScanner.GetCapIlluminate()); });
}

void CAdvancedValidation::OnButtonFrametype()
{
    ShowImageProperty("OnButtonFrametype", kFrameTypeLabel,
                      [this] { return IniText("FrameType", m_imageScanner.GetFrameType()); });
}

void CAdvancedValidation::OnButtonBitsperpixel()
{
    ShowImageProperty("OnButtonBitsperpixel", kBitsPerPixelLabel,
                      [this] { return std::to_string(m_imageScanner.GetBitsPerPixel()); });
}

void CAdvancedValidation::OnButtonImagetype()
{
    ShowImageProperty("OnButtonImagetype", kImageTypeLabel,
                      [this] { return IniText("ImageType", m_imageScanner.GetImageType()); });
}

void CAdvancedValidation::OnButtonImagewidth()
{
    ShowImageProperty("OnButtonImagewidth", kImageWidthLabel,
                      [this] { return std::to_string(m_imageScanner.GetImageWidth()); });
}

void CAdvancedValidation::OnButtonImageheight()
{
    ShowImageProperty("OnButtonImageheight", kImageHeightLabel,
                      [this] { return std::to_string(m_imageScanner.GetImageHeight()); });
}

void CAdvancedValidation::OnButtonImagelength()
{
    ShowImageProperty("OnButtonImagelength", kImageLengthLabel,
                      [this] { return std::to_string(m_imageScanner.GetImageLength()); });
}

void CAdvancedValidation::SessionStep(const char* handler, const char* item, UINT label, const char* separator,
                                      LONG (COPOSImageScanner::*method)())
{
    log(handler, "Entered");
    try {
        const std::string text = ResultCodeText((m_imageScanner.*method)());
        log(handler, item, text);
        AppendOutput(T(label) + separator + text);
    } catch (...) {
        log(handler, "Exception");
    }
}

void CAdvancedValidation::OnButtonStartsession()
{
    SessionStep("OnButtonStartsession", "StartSession", kStartSessionLabel, "  ", &COPOSImageScanner::StartSession);
}

void CAdvancedValidation::OnButtonStopsession()
{
    SessionStep("OnButtonStopsession", "StopSession", kStopSessionLabel, "   ", &COPOSImageScanner::StopSession);
}

std::string CAdvancedValidation::ImageListGetter(const char* handler, UINT label,
                                                 const std::function<std::string()>& readAndSelect)
{
    try {
        const std::string shown = readAndSelect();
        AppendOutput(T(label) + "   " + shown);
        return shown;
    } catch (...) {
        log(handler, "Exception");
        return std::string();
    }
}

std::string CAdvancedValidation::GetImageMode()
{
    return ImageListGetter("GetImageMode", kGetImageModeLabel, [this] {
        const int entry = entryOf(kImageModes, m_imageScanner.GetImageMode());
        SelectEntry(IDC_COMBO_IMAGEMODE, entry);
        return std::to_string(entry);
    });
}

std::string CAdvancedValidation::GetImageQuality()
{
    return ImageListGetter("GetImageQuality", kGetImageQualityLabel, [this] {
        const int entry = entryOf(kImageQualities, m_imageScanner.GetImageQuality());
        SelectEntry(IDC_COMBO_IMAGEQUALITY, entry);
        return std::to_string(entry);
    });
}

std::string CAdvancedValidation::GetVideoCount()
{
    return ImageListGetter("GetVideoCount", kGetVideoCountLabel, [this] {
        m_imageScanner.GetVideoCount();
        SelectEntry(IDC_COMBO_VIDEOCOUNT, 0);
        return T(kVideoCount15);
    });
}

std::string CAdvancedValidation::GetVideoRate()
{
    return ImageListGetter("GetVideoRate", kGetVideoRateLabel, [this] {
        m_imageScanner.GetVideoRate();
        SelectEntry(IDC_COMBO_VIDEORATE, 0);
        return T(kVideoRate30);
    });
}

std::string CAdvancedValidation::GetAimMode()
{
    return ImageListGetter("GetAimMode", kGetAimModeLabel, [this] {
        const BOOL on = m_imageScanner.GetAimMode();
        SelectEntry(IDC_COMBO_AIMMODE, on ? 0 : 1);
        return TrueFalse(on);
    });
}

std::string CAdvancedValidation::GetIlluminateMode()
{
    return ImageListGetter("GetIlluminateMode", kGetIlluminateModeLabel, [this] {
        const BOOL on = m_imageScanner.GetIlluminateMode();
        SelectEntry(IDC_COMBO_ILLUMINATEMODE, on ? 0 : 1);
        return TrueFalse(on);
    });
}

// ---- Image-scanner setters ----

CAdvancedValidation::SetterPlan CAdvancedValidation::ImageSetter(const char* logName, UINT title, int list)
{
    SetterPlan plan;
    plan.logName = logName;
    plan.title = title;
    plan.separator = "   ";
    plan.list = list;
    plan.failureText = "Exception";
    plan.otherFailureText = "Exception";
    return plan;
}

void CAdvancedValidation::OnBtnImagemode()
{
    SetterPlan plan = ImageSetter("OnBtnImagemode", kSetImageModeTitle, IDC_COMBO_IMAGEMODE);
    plan.value = [](int entry) { return valueOf(kImageModes, entry); };
    plan.write = [this](LONG value) { m_imageScanner.SetImageMode(value); };
    plan.word = [this](int entry) { const char* key = keyOf(kImageModeKeys, entry);
        return key != nullptr ? KeyText("ImageMode", key) : std::string(); };
    RunSetter(plan);
}

void CAdvancedValidation::OnBtnSetImagequality()
{
    SetterPlan plan = ImageSetter("OnBtnSetImagequality", kSetImageQualityTitle, IDC_COMBO_IMAGEQUALITY);
    plan.value = [](int entry) { return valueOf(kImageQualities, entry); };
    plan.write = [this](LONG value) { m_imageScanner.SetImageQuality(value); };
    plan.word = [this](int entry) { const char* key = keyOf(kImageQualityKeys, entry);
        return key != nullptr ? KeyText("ImageQuality", key) : std::string(); };
    RunSetter(plan);
}

void CAdvancedValidation::OnBtnVideocount()
{
    SetterPlan plan = ImageSetter("OnBtnVideocount", kSetVideoCountTitle, IDC_COMBO_VIDEOCOUNT);
    plan.value = [](int entry) { return entry == 0 ? static_cast<LONG>(std::stol(T(kVideoCount15))) : entry; };
    plan.write = [this](LONG value) { m_imageScanner.SetVideoCount(value); };
    plan.word = [](int entry) { return entry == 0 ? T(kVideoCount15) : std::string(); };
    RunSetter(plan);
}

void CAdvancedValidation::OnBtnVideorate()
{
    SetterPlan plan = ImageSetter("OnBtnVideorate", kSetVideoRateTitle, IDC_COMBO_VIDEORATE);
    plan.value = [](int entry) { return entry == 0 ? static_cast<LONG>(std::stol(T(kVideoRate30))) : entry; };
    plan.write = [this](LONG value) { m_imageScanner.SetVideoRate(value); };
    plan.word = [](int entry) { return entry == 0 ? T(kVideoRate30) : std::string(); };
    RunSetter(plan);
}

void CAdvancedValidation::OnBtnSetAimmode()
{
    SetterPlan plan = BoolSetter("OnBtnSetAimmode", kSetAimModeTitle, IDC_COMBO_AIMMODE,
                                 [this](BOOL value) { m_imageScanner.SetAimMode(value); });
    plan.separator = "   ";
    plan.failureText = plan.otherFailureText = "Exception";
    RunSetter(plan);
}

void CAdvancedValidation::OnBtnSetIlluminatemode()
{
    SetterPlan plan = BoolSetter("OnBtnSetIlluminatemode", kSetIlluminateModeTitle, IDC_COMBO_ILLUMINATEMODE,
                                 [this](BOOL value) { m_imageScanner.SetIlluminateMode(value); });
    plan.separator = "   ";
    plan.failureText = plan.otherFailureText = "Exception";
    RunSetter(plan);
}

// ---- Events ----

void CAdvancedValidation::OnStatusUpdateEventImagescanner(LONG data)
{
    try {
        const std::string entry = IniText("StatusUpdateEvent", data);
        log("OnStatusUpdateEventImagescanner", "Scanner Status", entry);
        // The separator stands even above an empty output.
        m_strOutput = T(kImagerStatusLabel) + "   " + entry + "\r\n\r\n" + m_strOutput;
        m_model.output = m_strOutput;
    } catch (...) {
        log("OnStatusUpdateEventImagescanner", "Exception");
    }
}

void CAdvancedValidation::OnErrorEventImagescanner(LONG resultCode, LONG resultCodeExtended, LONG errorLocus,
                                                   LONG* pErrorResponse)
{
    try {
        const char* name = "OnErrorEventImagescanner";
        log(name, "ResultCode", ResultCodeText(resultCode));
        log(name, "ResultCodeExtended", ResultCodeText(resultCodeExtended));
        log(name, "ErrorLocus", IniText("ErrorEvent", errorLocus));
        if (pErrorResponse != nullptr)
            log(name, "ErrorResponse", IniText("ErrorEvent", *pErrorResponse));
    } catch (...) {
        log("OnErrorEventImagescanner", "Exception");
    }
}
