#include "AdvancedValidation.h"

#include "AdvancedStrings.h"
#include "ProbeStrings.h"

#include <filesystem>

using namespace adv;

namespace {

std::string currentFolder()
{
    std::error_code ec;
    return std::filesystem::current_path(ec).string();
}

// Virtual-key codes the frame's key filter knows.
constexpr int kBack = 0x08;
constexpr int kTab = 0x09;
constexpr int kEnter = 0x0D;
constexpr int kShift = 0x10;
constexpr int kEscape = 0x1B;
constexpr int kLeft = 0x25;
constexpr int kDown = 0x28;
constexpr int kDelete = 0x2E;
constexpr int kDigit0 = 0x30;
constexpr int kDigit9 = 0x39;
constexpr int kNumpad0 = 0x60;
constexpr int kNumpad9 = 0x69;
constexpr int kSubtract = 0x6D;
constexpr int kMinus = 0xBD;

// Buttons coloured black on the face colour (every push button of the frame).
constexpr int kHiddenGetButtons[] = {IDC_BTN_GETDEVICEENABLE,     IDC_BTN_GETDATAENABLE, IDC_BTN_GETAUTODISABLE,
                                     IDC_BTN_GETFREEZEEVENT,      IDC_BTN_GETBINARYCONVERSION,
                                     IDC_BTN_GETPOWERNOTIFY,      IDC_BTN_GETDECODEDATA, IDC_BTN_HIDDENSET};
constexpr int kImageScannerRows[] = {
    IDC_BTN_CAPAIM,         IDC_BTN_CAPDECODEDATA,      IDC_BTN_CAPHOSTTRIGGERED, IDC_BTN_CAPILLUMINATE,
    IDC_BTN_CAPIMAGEDATA,   IDC_BTN_CAPIMAGEQUALITY,    IDC_BTN_CAPVIDEODATA,     IDC_BTN_BITSPERPIXEL,
    IDC_BTN_FRAMEDATA,      IDC_BTN_FRAMETYPE,          IDC_BTN_IMAGEHEIGHT,      IDC_BTN_IMAGELENGTH,
    IDC_BTN_IMAGETYPE,      IDC_BTN_IMAGEWIDTH,         IDC_BTN_SETIMAGEMODE,     IDC_BTN_SETAIMMODE,
    IDC_BTN_SETVIDEOCOUNT,  IDC_BTN_SETILLUMINATEMODE,  IDC_BTN_SETVIDEORATE,     IDC_BTN_SETIMAGEQUALITY,
    IDC_COMBO_IMAGEMODE,    IDC_COMBO_IMAGEQUALITY,     IDC_COMBO_VIDEOCOUNT,     IDC_COMBO_VIDEORATE,
    IDC_COMBO_AIMMODE,      IDC_COMBO_ILLUMINATEMODE,   IDC_BTN_STARTSESSION,     IDC_BTN_STOPSESSION};
constexpr int kScannerRows[] = {IDC_BTN_SETDECODEDATA, IDC_COMBO_DECODEDATA,  IDC_BTN_SCANDATA,
                                IDC_BTN_SCANDATALABEL, IDC_BTN_SCANDATATYPE,  IDC_EDIT_SCANDATA,
                                IDC_EDIT_SCANDATALABEL, IDC_EDIT_SCANDATATYPE};

}  // namespace

std::string adv::T(UINT id)
{
    return CLanguageManager::GetInstance().GetString(id);
}

const CLanguageManager::StringTable& adv::programStrings()
{
    static const CLanguageManager::StringTable table = [] {
        CLanguageManager::StringTable all = probe::strings();
        for (const auto* part : {&frameStrings(), &propertyStrings(), &methodStrings()})
            for (const auto& [id, text] : *part)
                all.emplace(id, text);
        return all;
    }();
    return table;
}

std::string AdvancedControl::selectedText() const
{
    return selection >= 0 && selection < static_cast<int>(entries.size()) ? entries[selection] : std::string();
}

const AdvancedControl& AdvancedViewModel::at(int id) const
{
    static const AdvancedControl none;
    const auto found = controls.find(id);
    return found == controls.end() ? none : found->second;
}

CAdvancedValidation::CAdvancedValidation(AdvancedHost& host, COPOSScanner& scanner, COPOSImageScanner& imageScanner)
    : m_host(host),
      m_scanner(scanner),
      m_imageScanner(imageScanner),
      m_log((CLanguageManager::GetInstance().SetProgramStrings(programStrings()), CLanguageManager::GetInstance()),
            CAppLog::kValidation),
      m_ini(std::string(), 1224)
{
    InitialControls();
}

CAdvancedValidation::~CAdvancedValidation() = default;

void CAdvancedValidation::log(const std::string& method, const std::string& label, const std::string& value,
                              const std::string& className)
{
    m_log.Write(4, className, method, label, value);
}

COPOSCommonControl& CAdvancedValidation::Active()
{
    if (IsScannerType())
        return m_scanner;
    return m_imageScanner;
}

bool CAdvancedValidation::IsScannerType() const
{
    return m_strDeviceType != T(probe::kImageScanner);
}

void CAdvancedValidation::SetStatus(const std::string& text)
{
    m_model.at(IDC_STATIC_STATUS).text = text;
}

void CAdvancedValidation::InitialControls()
{
    // The template's look before start-up: what is hidden or off.
    for (const int id : kHiddenGetButtons)
        m_model.at(id).shown = false;
    for (const int id : kImageScannerRows)
        m_model.at(id).shown = false;
    for (const int id : kScannerRows)
        m_model.at(id).shown = false;
    for (const int id : {IDC_BTN_CLEAROUTPUT, IDC_BTN_STARTSESSION, IDC_BTN_STOPSESSION, IDC_BTN_OUTPUTID,
                         IDC_EDIT_STATISTICS, IDC_BTN_STATAPPLY, IDC_PREVIEW, IDC_STATIC_PREVIEWCAPTION,
                         IDC_BTN_HELP, IDC_BTN_BASICVIEW, IDC_BTN_CONFIGUTIL, IDC_BTN_EXIT_KEY, IDC_BTN_ABOUT_KEY,
                         IDC_STATIC_DEVICEINFOTITLE, IDC_GROUP_DEVICEOPTIONS})
        m_model.at(id).shown = false;
    for (const int id : {IDC_COMBO_DEVICETYPE, IDC_BTN_CLEAROUTPUT, IDC_EDIT_FIRMWAREPATH, IDC_BTN_BROWSE,
                         IDC_BTN_APPLY, IDC_EDIT_METHODPLACEHOLDER, IDC_BTN_VIEWIMAGE})
        m_model.at(id).enabled = false;
}

void CAdvancedValidation::OnInitDialog()
{
    log("OnInitDialog", "Entered");
    try {
        m_homeFolder = currentFolder();
        m_model.frenchMenu = CLanguageManager::GetInstance().ChooseUserLanguage(CAppLog::kValidation.languageFile,
                                                                                CAppLog::kValidation.languageName);
    } catch (...) {
        log("OnInitDialog", T(probe::kApplicationException), "Language DLL");
    }
    m_model.removedMenuItems.insert(ID_DIO_GETSWREV);
    m_model.removedMenuItems.insert(ID_DIO_MENUCOMMAND);
    try {
        m_ini.SetPath(m_homeFolder + "/resultsProperty.ini");
    } catch (...) {
        log("OnInitDialog", T(probe::kApplicationException), "resultsiniFile");
    }
    std::string enable;
    m_ini.Read("ErrorEvent", "Enable", enable, "UNDEFINED");
    if (enable != "10")
        m_model.removedMenuItems.insert(ID_DIO_RAISEERROREVENT);
    m_strDefaultClaimTimeout = T(probe::kDefaultClaimTimeout);
    SetTooltips();
    m_strTrue = T(kTrue);
    m_strFalse = T(kFalse);
    SetControlTexts();
    FillLists();
    OnSelchangeComboDeviceType();
    OnDeviceNameChosen();
    m_model.at(IDC_EDIT_FIRMWAREPATH).text.clear();
    m_model.at(IDC_EDIT_STATISTICS).text.clear();
    m_model.at(IDC_STATIC_DATACOUNT).text = T(kDataCountLine) + "   0";
    m_model.deviceInfoBold = true;
}

void CAdvancedValidation::SetTooltips()
{
    for (const auto& [id, text] : frameStrings())
        if (id >= kTipBase && id < kTipBase + kIdRange)
            m_model.at(static_cast<int>(id - kTipBase)).tip = T(id);
}

void CAdvancedValidation::SetControlTexts()
{
    for (const auto& [id, text] : frameStrings())
        if (id >= kCaptionBase && id < kCaptionBase + kIdRange)
            m_model.at(static_cast<int>(id - kCaptionBase)).text = T(id);
    m_model.output = T(kWelcome);
}

void CAdvancedValidation::FillLists()
{
    const auto fill = [this](int id, std::vector<std::string> entries, int selection) {
        AdvancedControl& list = m_model.at(id);
        list.entries = std::move(entries);
        list.selection = selection;
    };
    fill(IDC_COMBO_METHOD,
         {T(kMethodSelect), T(kMethodCompare), T(kMethodReset), T(kMethodRetrieve), T(kMethodUpdateFirmware),
          T(kMethodUpdateStatistics)},
         0);
    fill(IDC_COMBO_BINARYCONVERSION, {T(kNone), T(kNibble), T(kDecimal)}, 0);
    fill(IDC_COMBO_POWERNOTIFY, {T(kDisabled), T(kEnabled)}, 0);
    fill(IDC_COMBO_CHECKHEALTH, {T(kInternal), T(kExternal), T(kInteractive)}, 0);
    fill(IDC_COMBO_DEVICENAME, {T(probe::kNoDeviceSelected)}, 0);
    m_model.at(IDC_COMBO_DEVICENAME).enabled = false;
    fill(IDC_COMBO_DEVICETYPE, {T(probe::kSelect), T(probe::kScanner)}, 1);
    for (const int id : {IDC_COMBO_DATAEVENTENABLE, IDC_COMBO_DEVICEENABLE, IDC_COMBO_AUTODISABLE,
                         IDC_COMBO_FREEZEEVENTS, IDC_COMBO_DECODEDATA, IDC_COMBO_AIMMODE, IDC_COMBO_ILLUMINATEMODE})
        fill(id, {m_strTrue, m_strFalse}, 1);
    fill(IDC_COMBO_IMAGEMODE,
         {T(kDecodeOnly), T(kStillOnly), T(kStillDecode), T(kVideoDecode), T(kVideoStill), T(kAll)}, 0);
    fill(IDC_COMBO_IMAGEQUALITY, {T(kLow), T(kMedium), T(kHigh)}, 0);
    fill(IDC_COMBO_VIDEOCOUNT, {T(kVideoCount15)}, 0);
    fill(IDC_COMBO_VIDEORATE, {T(kVideoRate30)}, 0);
}

void CAdvancedValidation::OnCommand(int id)
{
    switch (id) {
    case IDC_BTN_OPEN: OnBtnOpen(); break;
    case IDC_BTN_CLAIM: OnBtnClaim(); break;
    case IDC_BTN_RELEASE: OnBtnRelease(); break;
    case IDC_BTN_CLOSE: OnBtnClose(); break;
    case IDC_BTN_BASICVIEW:
    case ID_VIEW_BASIC: OnBtnBasicView(); break;
    case IDC_BTN_CONFIGUTIL:
    case ID_VIEW_CONFIG: OnBtnConfigUtil(); break;
    case IDC_BTN_EXIT_KEY:
    case ID_FILE_EXIT: OnFileExit(); break;
    case IDC_BTN_ABOUT_KEY:
    case ID_ABOUT: OnAbout(); break;
    case IDC_BTN_HELP:
    case ID_HELP_FILE: OnBtnHelp(); break;
    case IDC_BTN_GETDEVICEENABLE: OnButtonGetDeviceenable(); break;
    case IDC_BTN_GETDATAENABLE: OnButtonGetDataenable(); break;
    case IDC_BTN_GETAUTODISABLE: OnButtonGetAutodisable(); break;
    case IDC_BTN_GETFREEZEEVENT: OnButtonGetFreezeevent(); break;
    case IDC_BTN_GETBINARYCONVERSION: OnButtonGetBinaryconversion(); break;
    case IDC_BTN_GETPOWERNOTIFY: OnButtonGetPowerNotify(); break;
    case IDC_BTN_GETDECODEDATA: OnButtonGetDecodedata(); break;
    case IDC_BTN_CHECKHEALTHTEXT: OnBtnCheckHealthText(); break;
    case IDC_BTN_RESULTCODE: OnBtnResultCode(); break;
    case IDC_BTN_CAPCOMPAREFW: OnBtnCapCompareFirmware(); break;
    case IDC_BTN_CLAIMED: OnBtnClaimed(); break;
    case IDC_BTN_OPENRESULT: OnButtonOpenresult(); break;
    case IDC_BTN_POWERSTATE: OnBtnPowerState(); break;
    case IDC_BTN_STATE: OnButtonState(); break;
    case IDC_BTN_RESULTCODEEXTENDED: OnButtonResultcodeExtn(); break;
    case IDC_BTN_CODESCRIPTION: OnBtnControlobjDescription(); break;
    case IDC_BTN_COVERSION: OnBtnControlobjVersion(); break;
    case IDC_BTN_SODESCRIPTION: OnBtnServiceobjDesc(); break;
    case IDC_BTN_CAPUPDATEFW: OnBtnCapUpdateFirmware(); break;
    case IDC_BTN_CAPPOWERREPORTING: OnButtonCappowerReporting(); break;
    case IDC_BTN_CAPSTATISTICSREPORTING: OnBtnCapStatisticsReporting(); break;
    case IDC_BTN_CAPUPDATESTATISTICS: OnBtnCapUpdateStat(); break;
    case IDC_BTN_DEVICEDESCRIPTION: OnBtnDeviceDesc(); break;
    case IDC_BTN_DATACOUNT: OnBtnDataCount(); break;
    case IDC_BTN_SOVERSION: OnButtonSover(); break;
    case IDC_BTN_DEVICENAME: OnBtnDeviceVersion(); break;
    case IDC_BTN_GETALLPROPS: OnBtnGetallprops(); break;
    case IDC_BTN_CLEARINPUT: OnBtnClearInput(); break;
    case IDC_BTN_CLEARINPUTPROP: OnButtonClearinputprop(); break;
    case IDC_BTN_BROWSE: OnBtnBrowse(); break;
    case IDC_BTN_APPLY: OnBtnApply(); break;
    case IDC_BTN_STATAPPLY: OnBtnStatApply(); break;
    case IDC_BTN_SETDATAEVENT: OnBtnSetdataevent(); break;
    case IDC_BTN_SETDEVICEENABLE: OnButtonSetDeviceenable(); break;
    case IDC_BTN_SETFREEZEEVENTS: OnBtnSetfreezeevents(); break;
    case IDC_BTN_SETAUTODISABLE: OnBtnSetautodisable(); break;
    case IDC_BTN_SETBINARYCONVERSION: OnBtnBinaryconversion(); break;
    case IDC_BTN_SETPOWERNOTIFY: OnBtnPowernotify(); break;
    case IDC_BTN_CHECKHEALTH: OnButtonCheckhealth(); break;
    case IDC_BTN_SETDECODEDATA: OnBtnSetdeodedata(); break;
    case IDC_BTN_SETIMAGEMODE: OnBtnImagemode(); break;
    case IDC_BTN_SETAIMMODE: OnBtnSetAimmode(); break;
    case IDC_BTN_SETVIDEOCOUNT: OnBtnVideocount(); break;
    case IDC_BTN_SETILLUMINATEMODE: OnBtnSetIlluminatemode(); break;
    case IDC_BTN_SETVIDEORATE: OnBtnVideorate(); break;
    case IDC_BTN_SETIMAGEQUALITY: OnBtnSetImagequality(); break;
    case IDC_BTN_SCANDATA: OnBtnScandata(); break;
    case IDC_BTN_SCANDATALABEL: OnBtnScandatalable(); break;
    case IDC_BTN_SCANDATATYPE: OnBtnScandatatype(); break;
    case IDC_BTN_CAPAIM: OnButtonCapaim(); break;
    case IDC_BTN_CAPDECODEDATA: OnButtonCapdecodedata(); break;
    case IDC_BTN_CAPHOSTTRIGGERED: OnButtonCaphosttrigger(); break;
    case IDC_BTN_CAPILLUMINATE: OnButtonCapilluminate(); break;
    case IDC_BTN_CAPIMAGEDATA: OnButtonCapimagedata(); break;
    case IDC_BTN_CAPIMAGEQUALITY: OnButtonCapimagequality(); break;
    case IDC_BTN_CAPVIDEODATA: OnButtonCapvideodata(); break;
    case IDC_BTN_BITSPERPIXEL: OnButtonBitsperpixel(); break;
    case IDC_BTN_FRAMEDATA: OnButtonFramedata(); break;
    case IDC_BTN_FRAMETYPE: OnButtonFrametype(); break;
    case IDC_BTN_IMAGEHEIGHT: OnButtonImageheight(); break;
    case IDC_BTN_IMAGELENGTH: OnButtonImagelength(); break;
    case IDC_BTN_IMAGETYPE: OnButtonImagetype(); break;
    case IDC_BTN_IMAGEWIDTH: OnButtonImagewidth(); break;
    case IDC_BTN_STARTSESSION: OnButtonStartsession(); break;
    case IDC_BTN_STOPSESSION: OnButtonStopsession(); break;
    case IDC_BTN_CLEARLOG: OnBtnClearlog(); break;
    case IDC_BTN_SAVELOG: OnBtnSavelog(); break;
    case IDC_BTN_VIEWIMAGE:
    case IDC_PREVIEW: OnBtnViewImage(); break;
    case ID_FILE_REENABLEDATAEVENT: OnFileReenabledataevent(); break;
    case ID_DIO_BMP: OnDioGetBmpImage(); break;
    case ID_DIO_JPEG: OnDioGetJpegImage(); break;
    case ID_DIO_TIFFBIN: OnDioGetTiffbinImage(); break;
    case ID_DIO_TIFFGRAY: OnDioGetTiffgrayImage(); break;
    case ID_DIO_RAISEERROREVENT:
        if (!m_model.removedMenuItems.count(id))
            OnRaiseErrorEvent();
        break;
    case ID_DIO_SERIALCOMMAND: OnDirectioSerialcmd(); break;
    case ID_DIO_COMMANDTIMEOUT: OnCommandTimeout(); break;
    default:
        // OutputID, ClearOutput, the French image entry and the rest: no action.
        break;
    }
}

void CAdvancedValidation::OnSelchange(int listId)
{
    switch (listId) {
    case IDC_COMBO_DEVICETYPE: OnSelchangeComboDeviceType(); break;
    case IDC_COMBO_DEVICENAME: OnDeviceNameChosen(); break;
    case IDC_COMBO_METHOD: OnSelchangeComboMethod(); break;
    default:
        // The other lists are read when their button is pressed.
        break;
    }
}

void CAdvancedValidation::OnSetFocus(int id)
{
    if (id == IDC_EDIT_FIRMWAREPATH)
        OnSetfocusEditFirmwarePath();
    else if (id == IDC_EDIT_STATISTICS)
        OnSetfocusEditStatistics();
}

bool CAdvancedValidation::PreTranslateKey(int key, bool shift, int focusId)
{
    if (key == kEscape)
        return true;
    if (key == kEnter) {
        OnCommand(focusId);
        return true;
    }
    if (focusId != IDC_EDIT_CLAIMTIMEOUT)
        return false;
    if (key == kBack || key == kTab || (key >= kLeft && key <= kDown) || key == kDelete)
        return false;
    if (shift)
        return true;
    const bool passes = key == kShift || (key >= kDigit0 && key <= kDigit9) || (key >= kNumpad0 && key <= kNumpad9) ||
                        key == kSubtract || key == kMinus;
    return !passes;
}

void CAdvancedValidation::OnSelchangeComboMethod()
{
    AdvancedControl& placeholder = m_model.at(IDC_EDIT_METHODPLACEHOLDER);
    AdvancedControl& path = m_model.at(IDC_EDIT_FIRMWAREPATH);
    AdvancedControl& browse = m_model.at(IDC_BTN_BROWSE);
    AdvancedControl& apply = m_model.at(IDC_BTN_APPLY);
    AdvancedControl& statistics = m_model.at(IDC_EDIT_STATISTICS);
    AdvancedControl& statApply = m_model.at(IDC_BTN_STATAPPLY);
    switch (m_model.at(IDC_COMBO_METHOD).selection) {
    case kSelectMethod:
        placeholder.shown = true;
        placeholder.text.clear();
        browse.enabled = false;
        apply.enabled = false;
        browse.shown = true;
        apply.shown = true;
        path.shown = false;
        statistics.shown = false;
        statApply.shown = false;
        SetStatus(std::string());
        break;
    case kCompareFirmware:
    case kUpdateFirmware:
        apply.tip = T(kTipUpdateFirmware);
        SetStatus(std::string());
        placeholder.shown = false;
        try {
            if (m_scanner.GetState() != 3) {
                apply.enabled = true;
                path.text = T(kEnterFilePath);
            }
        } catch (...) {
            log("OnSelchangeComboMethod", T(probe::kServiceObjectException));
        }
        path.enabled = true;
        path.shown = true;
        browse.enabled = true;
        browse.shown = true;
        apply.shown = true;
        statistics.shown = false;
        statApply.shown = false;
        break;
    case kResetStatistics:
    case kRetrieveStatistics:
    case kUpdateStatistics:
        placeholder.shown = false;
        statistics.shown = true;
        statistics.enabled = true;
        statistics.text = T(kEnterStatistics);
        statApply.shown = true;
        path.shown = false;
        browse.shown = false;
        apply.shown = false;
        break;
    default:
        break;
    }
}

void CAdvancedValidation::OnSetfocusEditFirmwarePath()
{
    AdvancedControl& path = m_model.at(IDC_EDIT_FIRMWAREPATH);
    if (path.text == T(kEnterFilePath))
        path.text.clear();
}

void CAdvancedValidation::OnSetfocusEditStatistics()
{
    AdvancedControl& statistics = m_model.at(IDC_EDIT_STATISTICS);
    if (statistics.text == T(kEnterStatistics))
        statistics.text.clear();
}

void CAdvancedValidation::OnFileReenabledataevent()
{
    m_model.reEnableDataEvent = !m_model.reEnableDataEvent;
}

void CAdvancedValidation::OnAbout()
{
    try {
        m_host.ShowAbout();
    } catch (...) {
        log("OnAbout", T(probe::kApplicationException));
    }
}

void CAdvancedValidation::HideImageScannerRows()
{
    m_model.at(IDC_STATIC_SPECIFICTITLE).text = T(kDeviceSpecificTitle);
    for (const int id : kImageScannerRows)
        m_model.at(id).shown = false;
    for (const int id : {IDC_PREVIEW, IDC_STATIC_PREVIEWCAPTION, IDC_BTN_VIEWIMAGE})
        m_model.at(id).shown = false;
    m_model.outputX = 286;
    m_model.outputY = 471;
    m_model.outputWidth = 661;
    m_model.outputHeight = 151;
}

void CAdvancedValidation::HideScannerRows()
{
    m_model.at(IDC_STATIC_SPECIFICTITLE).text = T(kDeviceSpecificTitle);
    for (const int id : kScannerRows)
        m_model.at(id).shown = false;
}

void CAdvancedValidation::ShowScannerLayout()
{
    HideImageScannerRows();
    m_model.at(IDC_STATIC_SPECIFICTITLE).text = T(kScannerSpecificTitle);
    for (const int id : kScannerRows)
        m_model.at(id).shown = true;
}

void CAdvancedValidation::ShowImageScannerLayout()
{
    HideScannerRows();
    m_model.at(IDC_STATIC_SPECIFICTITLE).text = T(kImagerSpecificTitle);
    for (const int id : kImageScannerRows)
        m_model.at(id).shown = true;
    m_model.at(IDC_STATIC_PREVIEWCAPTION).shown = true;
    m_model.at(IDC_BTN_VIEWIMAGE).shown = true;
    m_model.at(IDC_BTN_VIEWIMAGE).enabled = false;
    m_model.at(IDC_PREVIEW).shown = false;
    m_model.outputX = 286;
    m_model.outputY = 471;
    m_model.outputWidth = 515;
    m_model.outputHeight = 151;
}

void CAdvancedValidation::OnDirectIOEventScanner(LONG, LONG*, BSTR*) {}
