// The validation utility's Advanced View without widgets: every property,
// method and event of the hosted scanner control (and of an image-scanner
// control) one button, list or menu entry at a time, each call's outcome on
// top of one output box.
//
// The controller keeps what the view shows in an AdvancedViewModel: one
// AdvancedControl per control id of the frame (texts, list entries and
// selection, enabled and shown flags), the output box, the menu. The Qt view
// (AdvancedWindow) mirrors it onto its widgets after each handler and puts
// the user's typing and choices into it before. What needs a window (message
// boxes, the small dialogs, file choosers, timers, the wait after a power
// loss, the end of the view) the controller asks of its AdvancedHost; the
// devices it calls through the two control wrappers.
//
// Every handler runs on the UI thread and catches everything: a failing
// control call is logged with "An exception has occured in service object",
// any other failure with "An exception has occured in application", and the
// view stays usable. Control events arrive on the same thread, possibly from
// inside a modal loop the controller started.
#pragma once

#include "AppLog.h"
#include "IniFile.h"
#include "LanguageManager.h"
#include "OposControls.h"

#include "platform/window.h"

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace adv {

// Controls of the frame, by their ids.
constexpr int IDC_COMBO_DEVICETYPE = 1016;
constexpr int IDC_COMBO_DEVICENAME = 1017;
constexpr int IDC_BTN_OPEN = 1018;
constexpr int IDC_BTN_CLAIM = 1019;
constexpr int IDC_BTN_RELEASE = 1020;
constexpr int IDC_BTN_CLOSE = 1021;
constexpr int IDC_EDIT_CLAIMTIMEOUT = 1147;
constexpr int IDC_STATIC_CLAIM = 1298;
constexpr int IDC_STATIC_MS = 1299;
constexpr int IDC_BTN_CLEARINPUT = 1253;
constexpr int IDC_BTN_CLEARINPUTPROP = 1254;
constexpr int IDC_BTN_CLEAROUTPUT = 1255;
constexpr int IDC_BTN_STARTSESSION = 1295;
constexpr int IDC_BTN_STOPSESSION = 1296;
// Value lists of the setters.
constexpr int IDC_COMBO_DATAEVENTENABLE = 1311;
constexpr int IDC_COMBO_DEVICEENABLE = 1312;
constexpr int IDC_COMBO_AUTODISABLE = 1313;
constexpr int IDC_COMBO_FREEZEEVENTS = 1314;
constexpr int IDC_COMBO_DECODEDATA = 1315;
constexpr int IDC_COMBO_CHECKHEALTH = 1266;
constexpr int IDC_COMBO_BINARYCONVERSION = 1022;
constexpr int IDC_COMBO_POWERNOTIFY = 1023;
constexpr int IDC_COMBO_IMAGEMODE = 1024;
constexpr int IDC_COMBO_IMAGEQUALITY = 1025;
constexpr int IDC_COMBO_VIDEOCOUNT = 1026;
constexpr int IDC_COMBO_VIDEORATE = 1034;
constexpr int IDC_COMBO_AIMMODE = 1316;
constexpr int IDC_COMBO_ILLUMINATEMODE = 1317;
// Setters and CheckHealth.
constexpr int IDC_BTN_SETDATAEVENT = 1323;
constexpr int IDC_BTN_SETDEVICEENABLE = 1324;
constexpr int IDC_BTN_SETFREEZEEVENTS = 1325;
constexpr int IDC_BTN_SETAUTODISABLE = 1326;
constexpr int IDC_BTN_SETBINARYCONVERSION = 1327;
constexpr int IDC_BTN_SETPOWERNOTIFY = 1328;
constexpr int IDC_BTN_CHECKHEALTH = 1252;
constexpr int IDC_BTN_SETDECODEDATA = 1336;
constexpr int IDC_BTN_SETIMAGEMODE = 1330;
constexpr int IDC_BTN_SETAIMMODE = 1331;
constexpr int IDC_BTN_SETVIDEOCOUNT = 1332;
constexpr int IDC_BTN_SETILLUMINATEMODE = 1333;
constexpr int IDC_BTN_SETVIDEORATE = 1334;
constexpr int IDC_BTN_SETIMAGEQUALITY = 1335;
// Hidden Get buttons (also run by Get All Properties) and a hidden Set.
constexpr int IDC_BTN_GETDEVICEENABLE = 1041;
constexpr int IDC_BTN_GETDATAENABLE = 1044;
constexpr int IDC_BTN_GETAUTODISABLE = 1046;
constexpr int IDC_BTN_GETFREEZEEVENT = 1047;
constexpr int IDC_BTN_GETDECODEDATA = 1048;
constexpr int IDC_BTN_GETBINARYCONVERSION = 1049;
constexpr int IDC_BTN_GETPOWERNOTIFY = 1056;
constexpr int IDC_BTN_HIDDENSET = 1039;
// Common property getters.
constexpr int IDC_BTN_CHECKHEALTHTEXT = 1129;
constexpr int IDC_BTN_RESULTCODE = 1228;
constexpr int IDC_BTN_CAPCOMPAREFW = 1229;
constexpr int IDC_BTN_CLAIMED = 1230;
constexpr int IDC_BTN_OPENRESULT = 1231;
constexpr int IDC_BTN_OUTPUTID = 1232;
constexpr int IDC_BTN_POWERSTATE = 1233;
constexpr int IDC_BTN_STATE = 1234;
constexpr int IDC_BTN_RESULTCODEEXTENDED = 1235;
constexpr int IDC_BTN_CODESCRIPTION = 1236;
constexpr int IDC_BTN_COVERSION = 1237;
constexpr int IDC_BTN_SODESCRIPTION = 1238;
constexpr int IDC_BTN_CAPUPDATEFW = 1239;
constexpr int IDC_BTN_CAPPOWERREPORTING = 1240;
constexpr int IDC_BTN_CAPSTATISTICSREPORTING = 1241;
constexpr int IDC_BTN_CAPUPDATESTATISTICS = 1242;
constexpr int IDC_BTN_DEVICEDESCRIPTION = 1243;
constexpr int IDC_BTN_DATACOUNT = 1244;
constexpr int IDC_BTN_SOVERSION = 1245;
constexpr int IDC_BTN_DEVICENAME = 1246;
// Common methods.
constexpr int IDC_COMBO_METHOD = 1306;
constexpr int IDC_EDIT_FIRMWAREPATH = 1307;
constexpr int IDC_BTN_BROWSE = 1308;
constexpr int IDC_BTN_APPLY = 1309;
constexpr int IDC_BTN_STATAPPLY = 1310;
constexpr int IDC_EDIT_STATISTICS = 1329;
constexpr int IDC_EDIT_METHODPLACEHOLDER = 1337;
// Scanner rows.
constexpr int IDC_BTN_SCANDATA = 1268;
constexpr int IDC_BTN_SCANDATALABEL = 1269;
constexpr int IDC_BTN_SCANDATATYPE = 1270;
constexpr int IDC_EDIT_SCANDATA = 1271;
constexpr int IDC_EDIT_SCANDATALABEL = 1272;
constexpr int IDC_EDIT_SCANDATATYPE = 1273;
// Image-scanner getters.
constexpr int IDC_BTN_CAPAIM = 1274;
constexpr int IDC_BTN_CAPDECODEDATA = 1275;
constexpr int IDC_BTN_CAPHOSTTRIGGERED = 1276;
constexpr int IDC_BTN_CAPILLUMINATE = 1277;
constexpr int IDC_BTN_CAPIMAGEDATA = 1278;
constexpr int IDC_BTN_CAPIMAGEQUALITY = 1279;
constexpr int IDC_BTN_CAPVIDEODATA = 1280;
constexpr int IDC_BTN_BITSPERPIXEL = 1281;
constexpr int IDC_BTN_FRAMEDATA = 1282;
constexpr int IDC_BTN_FRAMETYPE = 1283;
constexpr int IDC_BTN_IMAGEHEIGHT = 1284;
constexpr int IDC_BTN_IMAGELENGTH = 1285;
constexpr int IDC_BTN_IMAGETYPE = 1286;
constexpr int IDC_BTN_IMAGEWIDTH = 1287;
// Output, preview and the rest.
constexpr int IDC_OUTPUT = 1135;
constexpr int IDC_PREVIEW = 1320;
constexpr int IDC_STATIC_PREVIEWCAPTION = 1355;
constexpr int IDC_BTN_VIEWIMAGE = 1354;
constexpr int IDC_BTN_GETALLPROPS = 1226;
constexpr int IDC_BTN_SAVELOG = 1130;
constexpr int IDC_BTN_CLEARLOG = 1128;
constexpr int IDC_BTN_HELP = 1124;
constexpr int IDC_BTN_BASICVIEW = 1125;
constexpr int IDC_BTN_CONFIGUTIL = 1126;
constexpr int IDC_BTN_EXIT_KEY = 1127;
constexpr int IDC_BTN_ABOUT_KEY = 1188;
constexpr int IDC_STATIC_DATACOUNT = 1321;
constexpr int IDC_STATIC_STATUS = 1322;
constexpr int IDC_STATIC_DEVICEINFOTITLE = 1297;
constexpr int IDC_STATIC_DEVICEINFO = 1338;
constexpr int IDC_GROUP_DEVICEOPTIONS = 1013;
constexpr int IDC_GROUP_PROPERTIES = 1267;
constexpr int IDC_STATIC_SPECIFICTITLE = 1301;
constexpr int IDC_STATIC_DEVICETYPE = 1318;
constexpr int IDC_STATIC_DEVICENAME = 1319;

// Menu 166 (English) and 217 (French).
constexpr int ID_ABOUT = 32772;
constexpr int ID_VIEW_BASIC = 32773;
constexpr int ID_FILE_EXIT = 32774;
constexpr int ID_VIEW_CONFIG = 32777;
constexpr int ID_HELP_FILE = 32779;
constexpr int ID_DIO_GETSWREV = 32780;
constexpr int ID_DIO_MENUCOMMAND = 32781;
constexpr int ID_DIO_IMAGECOMMANDS = 32782;  // French menu only: a plain entry without action
constexpr int ID_DIO_SERIALCOMMAND = 32783;
constexpr int ID_FILE_REENABLEDATAEVENT = 32784;
constexpr int ID_DIO_BMP = 32787;
constexpr int ID_DIO_TIFFBIN = 32789;
constexpr int ID_DIO_TIFFGRAY = 32790;
constexpr int ID_DIO_JPEG = 32795;
constexpr int ID_DIO_RAISEERROREVENT = 32796;
constexpr int ID_DIO_COMMANDTIMEOUT = 32797;

// Timer 1: the DataCount refresh while a device is claimed.
constexpr UINT kDataCountTimer = 1;

// Entries of the common method list.
enum MethodEntry {
    kSelectMethod = 0,
    kCompareFirmware = 1,
    kResetStatistics = 2,
    kRetrieveStatistics = 3,
    kUpdateFirmware = 4,
    kUpdateStatistics = 5
};

// The text of a string id through the process's language manager.
std::string T(UINT id);

// English texts by string id: the Basic View's, the frame's and the
// handler groups' (each group keeps its own table beside its handlers).
const CLanguageManager::StringTable& programStrings();
const CLanguageManager::StringTable& frameStrings();
const CLanguageManager::StringTable& propertyStrings();
const CLanguageManager::StringTable& methodStrings();

}  // namespace adv

// One control of the frame as the view shows it.
struct AdvancedControl {
    std::string text;                  // caption, edit or static text (ISO-8859-1)
    std::vector<std::string> entries;  // a list's entries
    int selection = -1;
    bool enabled = true;
    bool shown = true;
    std::string tip;

    bool operator==(const AdvancedControl&) const = default;
    std::string selectedText() const;
};

// What the Advanced View shows.
struct AdvancedViewModel {
    std::map<int, AdvancedControl> controls;  // by control id
    std::string output;                        // the output box, newest entry first (ISO-8859-1)
    // The output box's place: narrower while the preview is shown.
    int outputX = 286;
    int outputY = 471;
    int outputWidth = 661;
    int outputHeight = 151;
    // The preview: the image bytes it shows (an image read by DirectIO, or
    // the frame data written to "Image.jpg").
    std::vector<BYTE> preview;
    bool reEnableDataEvent = false;  // the check mark of "Re-Enable DataEvent"
    std::set<int> removedMenuItems;  // entries deleted from the menu at start
    bool frenchMenu = false;         // menu 217 in place of 166
    bool waitCursor = false;
    bool deviceInfoBold = false;     // the "Device information" title's font
    int focus = 0;                   // a control id to focus after the handler, 0: leave it

    AdvancedControl& at(int id) { return controls[id]; }
    const AdvancedControl& at(int id) const;
    std::string selectedText(int id) const { return at(id).selectedText(); }
    bool operator==(const AdvancedViewModel&) const = default;
};

// What the Advanced View asks of the window around it.
class AdvancedHost {
public:
    virtual ~AdvancedHost() = default;

    // CMsgBox with OK.
    virtual void ShowMessage(const std::string& text) = 0;
    // CMsgBox with Yes and No; true for Yes.
    virtual bool AskYesNo(const std::string& text) = 0;
    // CDirectIO run modally with the three texts; true when Send (or Set)
    // ended it. `value` is the entry's text then, empty otherwise.
    virtual bool RunDirectIO(const std::string& helpText, const std::string& buttonText, const std::string& label,
                             std::string& value) = 0;
    // CErrorEvent for the locus, run modally; the response it ends with.
    virtual int RunErrorEvent(LONG errorLocus) = 0;
    // CDispImage with the image, run modally.
    virtual void ShowFullImage(const std::vector<BYTE>& image) = 0;
    // The save-file dialog of the output log ("*.txt", asks before
    // overwriting); false when cancelled.
    virtual bool ChooseSaveFile(std::string& path) = 0;
    // The open-file dialog (the file must exist) with a filter text such as
    // "Binary Files (*.bin) | *.bin|"; false when cancelled.
    virtual bool ChooseOpenFile(const std::string& filter, std::string& path) = 0;
    // A periodic timer whose ticks come back as OnTimer(id).
    virtual void SetTimer(UINT id, UINT periodMs) = 0;
    virtual void KillTimer(UINT id) = 0;
    // Waits on the program's clock, the window painting but taking no input.
    virtual void Wait(UINT ms) = 0;
    // Ends the view's modal run.
    virtual void EndDialog(int result) = 0;
    // Once the view has ended: show the Basic View instead.
    virtual void SwitchToBasicView() = 0;
    // Brings a shown top-level window of this program with the title
    // forward; false when there is none.
    virtual bool RaiseWindow(const std::string& title) = 0;
    // Shows the help file in the program's help window.
    virtual void OpenHelp(const std::string& path) = 0;
    // Closes a top-level window of this program with the title, if any.
    virtual void CloseWindowTitled(const std::string& title) = 0;
    // "About TillProbe", modal.
    virtual void ShowAbout() = 0;
    // Starts a program through the shell ("open"); false when it did not start.
    virtual bool LaunchProgram(const std::string& path) = 0;
};

class CAdvancedValidation {
public:
    // The wrappers are the view's: they outlive the controller.
    CAdvancedValidation(AdvancedHost& host, COPOSScanner& scanner, COPOSImageScanner& imageScanner);
    ~CAdvancedValidation();
    CAdvancedValidation(const CAdvancedValidation&) = delete;
    CAdvancedValidation& operator=(const CAdvancedValidation&) = delete;

    AdvancedViewModel& Model() { return m_model; }
    const AdvancedViewModel& Model() const { return m_model; }

    // ---- Frame, routing, layouts (AdvancedValidation.cpp) ----
    void OnInitDialog();
    // Buttons and menu entries by id; list selection changes by the list's id.
    void OnCommand(int id);
    void OnSelchange(int listId);
    // A focus gained by an edit (the placeholders clear themselves).
    void OnSetFocus(int id);
    // Key-down filter: true when the key is consumed. `key` is a Windows
    // virtual-key code; `shift` tells whether Shift is held.
    bool PreTranslateKey(int key, bool shift, int focusId);
    void OnSelchangeComboMethod();
    void OnSetfocusEditFirmwarePath();
    void OnSetfocusEditStatistics();
    void OnFileReenabledataevent();
    void OnAbout();
    void ShowScannerLayout();
    void HideImageScannerRows();
    void ShowImageScannerLayout();
    void HideScannerRows();
    bool IsScannerType() const;
    // An event of the scanner control that has no action.
    void OnDirectIOEventScanner(LONG eventNumber, LONG* pData, BSTR* pString);

    // ---- Device lists, lifecycle, device choice and navigation (AdvancedDevice.cpp) ----
    void FillDeviceNameList(const std::string& deviceType);
    void OnDropdownComboDeviceName();
    // The chosen device's registry summary.
    void OnSelchangeComboDeviceName();
    // Combo 1017's selection change.
    void OnDeviceNameChosen();
    void OnSelchangeComboDeviceType();
    void OnBtnOpen();
    void OnBtnClaim();
    void OnBtnRelease();
    void OnBtnClose();
    LRESULT OnAddDevice();
    void CloseOpenDevices();
    void OnBtnBasicView();
    void OnBtnConfigUtil();
    void OnFileExit();
    void OnClose();
    // The claim time-out as typed: leading blanks, a sign and the leading
    // digits, 0 when there are none, held to the LONG range.
    static LONG ClaimTimeoutFrom(const std::string& text);

    // ---- Output log, result texts, scan-data display (AdvancedOutput.cpp) ----
    void AppendOutput(const std::string& text);
    std::string ResultCodeText(LONG code) const;
    // A results-file entry: section, key = the value in decimal, the decimal
    // value when missing.
    std::string IniText(const std::string& section, LONG value) const;
    std::string GetDecodeData();
    void OnButtonGetDecodedata();
    void OnBtnScandatatype();
    void OnBtnClearlog();
    void OnBtnSavelog();
    void OnBtnViewImage();
    void ShowLastImage();
    // The image scanner's FrameData into the preview.
    void OnButtonFramedata();

    // ---- Properties and common methods (AdvancedProperties.cpp) ----
    std::string GetDeviceenable();
    std::string GetDataenable();
    std::string GetAutodisable();
    std::string GetFreezeevent();
    std::string GetBinaryconversion();
    std::string GetPowerNotify();
    void OnButtonGetDeviceenable();
    void OnButtonGetDataenable();
    void OnButtonGetAutodisable();
    void OnButtonGetFreezeevent();
    void OnButtonGetBinaryconversion();
    void OnButtonGetPowerNotify();
    void OnBtnCheckHealthText();
    void OnBtnClaimed();
    void OnButtonCappowerReporting();
    void OnBtnPowerState();
    void OnBtnResultCode();
    void OnButtonResultcodeExtn();
    void OnBtnControlobjVersion();
    void OnButtonSover();
    void OnBtnCapCompareFirmware();
    void OnBtnCapUpdateFirmware();
    void OnBtnCapStatisticsReporting();
    void OnBtnDeviceDesc();
    void OnButtonOpenresult();
    void OnBtnDeviceVersion();
    void OnButtonState();
    void OnBtnControlobjDescription();
    void OnBtnCapUpdateStat();
    void OnBtnServiceobjDesc();
    void OnBtnDataCount();
    void OnBtnClearInput();
    void OnButtonClearinputprop();
    void ReportResultCode(std::string message);
    void resetValues();
    void OnBtnHelp();
    // WM_SYSCOMMAND; true when handled (the About entry).
    bool OnSysCommand(UINT command);

    // ---- Setters, CheckHealth, Get All Properties (AdvancedProperties.cpp) ----
    void OnButtonSetDeviceenable();
    void OnBtnSetdataevent();
    void OnBtnSetautodisable();
    void OnBtnSetfreezeevents();
    void OnBtnSetdeodedata();
    void OnBtnPowernotify();
    void OnBtnBinaryconversion();
    void OnBtnImagemode();
    void OnBtnSetImagequality();
    void OnBtnVideocount();
    void OnBtnVideorate();
    void OnBtnSetAimmode();
    void OnBtnSetIlluminatemode();
    void OnButtonCheckhealth();
    void OnBtnGetallprops();
    void OnBtnScandata();
    void OnBtnScandatalable();

    // ---- Data events and the DataCount refresh (AdvancedDataEvents.cpp) ----
    void OnDataEventScanner(LONG status);
    void OnDataEventImagescanner(LONG status);
    void OnTimer(UINT id);

    // ---- Image scanner (AdvancedImageScanner.cpp) ----
    void OnButtonCapaim();
    void OnButtonCapdecodedata();
    void OnButtonCaphosttrigger();
    void OnButtonCapimagequality();
    void OnButtonCapvideodata();
    void OnButtonCapimagedata();
    void OnButtonCapilluminate();
    void OnButtonFrametype();
    void OnButtonBitsperpixel();
    void OnButtonImagetype();
    void OnButtonImagewidth();
    void OnButtonImageheight();
    void OnButtonImagelength();
    void OnButtonStartsession();
    void OnButtonStopsession();
    std::string GetImageMode();
    std::string GetImageQuality();
    std::string GetVideoCount();
    std::string GetVideoRate();
    std::string GetAimMode();
    std::string GetIlluminateMode();
    void OnStatusUpdateEventImagescanner(LONG data);
    void OnErrorEventImagescanner(LONG resultCode, LONG resultCodeExtended, LONG errorLocus, LONG* pErrorResponse);

    // ---- Statistics and firmware methods (AdvancedMethods.cpp) ----
    void OnBtnBrowse();
    void OnBtnApply();
    void OnBtnStatApply();

    // ---- Status events (AdvancedStatus.cpp) ----
    void OnStatusUpdateEventScanner(LONG data);

    // ---- DirectIO, command time-out, the scanner's ErrorEvent (AdvancedDirectIO.cpp) ----
    void OnDioGetBmpImage();
    void OnDioGetJpegImage();
    void OnDioGetTiffbinImage();
    void OnDioGetTiffgrayImage();
    void OnRaiseErrorEvent();
    void CallDirectIO();
    void OnDirectioSerialcmd();
    void OnCommandTimeout();
    // DATAQMAX of the device's entry, kept as the data buffer limit.
    int GetDataBufferValue(const std::string& deviceType, const std::string& deviceName);
    void OnErrorEventScanner(LONG resultCode, LONG resultCodeExtended, LONG errorLocus, LONG* pErrorResponse);

    // ---- State record ----
    std::string m_strDeviceType;
    std::string m_strDeviceName;
    LONG m_nScannerOpenResult = 104;
    LONG m_nImagerOpenResult = 104;
    LONG m_nCloseResult = 101;
    LONG m_nClaimResult = 103;
    LONG m_nReleaseResult = 103;
    int m_bDeviceEnabled = 0;
    int m_bDataEventEnabled = 0;
    int m_nScannerDeviceIndex = 0;
    int m_nImagerDeviceIndex = 0;

    // Other members the handlers share.
    std::string m_strOutput;                // the output text, newest entry first (the box shows it once set)
    std::string m_strTrue;                  // "True"
    std::string m_strFalse;                 // "False"
    std::string m_strDefaultClaimTimeout;   // "10000"
    std::string m_strFailedStep;            // the step that raised, logged by its handler
    std::string m_homeFolder;               // the working folder at start
    bool m_bRefreshDeviceList = false;      // rebuild list 1017 at its next drop-down
    int m_nDataBufferLimit = 50;
    BOOL m_bDecodeData = FALSE;             // DecodeData as read last
    LONG m_nDirectIOCommand = 0;
    std::vector<BYTE> m_lastImage;          // the last image read by DirectIO

private:
    void log(const std::string& method, const std::string& label, const std::string& value = std::string(),
             const std::string& className = "CAdvancedValidation");
    void SetControlTexts();
    void SetTooltips();
    void FillLists();
    COPOSCommonControl& Active();
    void SetStatus(const std::string& text);
    void HideDeviceInfo();
    void InitialControls();
    // The Close step on one control.
    void CloseStep(COPOSCommonControl& control, bool scanner);
    bool IsOpen(LONG openResult) const { return openResult == 0 || openResult == 106; }

    AdvancedHost& m_host;
    COPOSScanner& m_scanner;
    COPOSImageScanner& m_imageScanner;
    AdvancedViewModel m_model;
    CAppLog m_log;
    CIniFile m_ini;

    // --- h24y ---
public:
    // Texts of the property, setter, data-event and image-scanner handlers,
    // by string id (adv::propertyStrings()).
    enum PropertyString : UINT {
        kSetDeviceEnableTitle = 1028,
        kSetDataEventEnabledTitle = 1029,
        kSetAutoDisableTitle = 1030,
        kSetFreezeEventsTitle = 1031,
        kSetBinaryConversionTitle = 1033,
        kSetPowerNotifyTitle = 1157,
        kCapIlluminateLabel = 1313,
        kSetDecodeDataTitle = 32856,
        kClearInputLabel = 32873,
        kClearInputPropertiesLabel = 32875,
        kCheckHealthTextLabel = 32897,
        kClaimedLabel = 32898,
        kOpenResultLabel = 32899,
        kCOVersionLabel = 32901,
        kCODescriptionLabel = 32902,
        kSOVersionLabel = 32903,
        kSODescriptionLabel = 32904,
        kDeviceDescriptionLabel = 32905,
        kDeviceNameLabel = 32906,
        kCapUpdateFirmwareLabel = 32907,
        kCapPowerReportingLabel = 32908,
        kCapStatisticsReportingLabel = 32909,
        kCapUpdateStatisticsLabel = 32910,
        kCapCompareFirmwareLabel = 32911,
        kPowerStateLabel = 32913,
        kStateLabel = 32914,
        kResultCodeLabel = 32915,
        kResultCodeExtendedLabel = 32916,
        kGettingAllProperties = 32921,
        kCheckHealthLabel = 32928,
        kCapAimLabel = 32968,
        kCapDecodeDataLabel = 32969,
        kCapHostTriggeredLabel = 32970,
        kCapImageQualityLabel = 32971,
        kCapVideoDataLabel = 32972,
        kCapImageDataLabel = 32973,
        kFrameTypeLabel = 32975,
        kBitsPerPixelLabel = 32976,
        kImageTypeLabel = 32977,
        kImageWidthLabel = 32978,
        kImageHeightLabel = 32979,
        kImageLengthLabel = 32980,
        kSetImageModeTitle = 32981,
        kSetImageQualityTitle = 32982,
        kSetVideoCountTitle = 32983,
        kSetVideoRateTitle = 32986,
        kSetAimModeTitle = 32987,
        kSetIlluminateModeTitle = 32988,
        kStartSessionLabel = 32989,
        kStopSessionLabel = 32990,
        kImagerStatusLabel = 32992,
        kGetDeviceEnableLabel = 32995,
        kGetDataEventEnabledLabel = 32996,
        kGetAutoDisableLabel = 32997,
        kGetFreezeEventsLabel = 32998,
        kGetBinaryConversionLabel = 32999,
        kGetPowerNotifyLabel = 33000,
        kGetImageModeLabel = 33002,
        kGetImageQualityLabel = 33003,
        kGetVideoCountLabel = 33004,
        kGetVideoRateLabel = 33005,
        kGetAimModeLabel = 33006,
        kGetIlluminateModeLabel = 33007,
        kAllPropertiesHeader = 33008,
        kAllPropertiesFooter = 33009,
    };

private:
    // One setter button: the list it reads, how an entry becomes the value
    // written and the word shown for it, and what its failures log.
    struct SetterPlan {
        const char* logName = "";
        UINT title = 0;
        const char* separator = "  :  ";
        int list = 0;
        std::function<LONG(int entry)> value;
        std::function<void(LONG value)> write;
        std::function<std::string(int entry)> word;
        int* record = nullptr;          // the state record's copy, kept when ResultCode is 0
        bool wordAfterFailure = true;   // the value word stays in the line after a failed write
        std::string failureText;        // logged when the control call fails
        std::string otherFailureText;   // logged when anything else fails
    };

    void SelectEntry(int list, int entry);
    std::string TrueFalse(BOOL value) const;
    // A results-file entry by a key of its own; the key when missing.
    std::string KeyText(const std::string& section, const std::string& key) const;
    void PutOnTop(const std::string& text, const std::string& separator);
    std::string ListGetter(const char* name, int list, const std::function<LONG()>& read,
                           const std::function<std::string(LONG)>& show, int* member);
    std::string BoolListGetter(const char* name, int list, const std::function<BOOL()>& read, int* member);
    std::string NumberListGetter(const char* name, int list, const char* section, const std::function<LONG()>& read);
    void ShowGetter(const char* handler, UINT label, const std::function<std::string()>& getter,
                    const std::string& failure);
    void ShowProperty(const char* handler, UINT label, const char* separator,
                      const std::function<std::string()>& read);
    void ClearInputStep(const char* handler, UINT label, LONG (COPOSCommonControl::*method)());
    void RunSetter(const SetterPlan& plan);
    SetterPlan BoolSetter(const char* logName, UINT title, int list, std::function<void(BOOL)> write);
    SetterPlan NumberSetter(const char* logName, UINT title, int list, const char* section,
                            std::function<void(LONG)> write);
    SetterPlan ImageSetter(const char* logName, UINT title, int list);
    void ShowScanText(const char* handler, UINT label, int box, std::string (COPOSScanner::*read)());
    void AfterDataEvent();
    void ShowImageProperty(const char* handler, UINT label, const std::function<std::string()>& read);
    void SessionStep(const char* handler, const char* item, UINT label, const char* separator,
                     LONG (COPOSImageScanner::*method)());
    std::string ImageListGetter(const char* handler, UINT label, const std::function<std::string()>& readAndSelect);
    // --- h24z ---
    // DATAQMAX's text read as atoi reads it, kept within 50..1000; a number
    // beyond the int range lands on the bound it passed.
    static int DataBufferLimitFrom(const std::string& text);
    // Sends a DirectIO command of the menu through CallDirectIO.
    void RunDirectIOCommand(LONG command);
    // An image read by DirectIO into the preview.
    void ShowDirectIOImage(std::vector<BYTE> image);
    // The settings kept at a power loss, and the way back after the power
    // returned: close, wait, open, claim, write them (false when a step
    // stopped it, its result shown).
    void RememberSettings();
    bool Resynchronise(LONG data);
    void AbandonResynchronisation();
    // The property displays and the data fields after a status.
    void RefreshAfterStatus();
    // The result a call that threw is shown with.
    static constexpr LONG kFailedCall = 111;
};
