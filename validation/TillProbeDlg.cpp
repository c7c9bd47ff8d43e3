#include "TillProbeDlg.h"

#include "ControlCharacters.h"
#include "ProbeStrings.h"
#include "TextCoding.h"

#include "platform/registry.h"
#include "platform/shell.h"

#include <filesystem>
#include <fstream>

using namespace probe;
using Verify = BasicViewModel::Verify;

namespace {

constexpr const char* kClass = "CTillProbeDlg";
constexpr int kMaxDeviceValues = 20;
constexpr DWORD kMaxListedValues = 100;
constexpr std::size_t kMaxRegistryText = 16383;
constexpr long long kMaxCountdownStart = 1000000000;
constexpr long long kMaxClaimTimeout = 2147483647;

std::string lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool allDigits(const std::string& text)
{
    for (const char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// The value of a digits-only text, or -1 when it exceeds `limit` (however
// many digits it has).
long long boundedValue(const std::string& text, long long limit)
{
    long long value = 0;
    for (const char c : text) {
        value = value * 10 + (c - '0');
        if (value > limit)
            return -1;
    }
    return value;
}

std::string currentFolder()
{
    std::error_code ec;
    return std::filesystem::current_path(ec).string();
}

struct RegValue {
    std::string name;
    DWORD type = 0;
    std::string text;  // REG_SZ data without its NUL
};

// Up to `limit` values of an open key in enumeration order, stopping at the
// first enumeration error.
std::vector<RegValue> readValues(HKEY key, DWORD limit)
{
    std::vector<RegValue> values;
    for (DWORD index = 0; index < limit; ++index) {
        char name[kMaxRegistryText + 1];
        DWORD nameSize = sizeof name;
        BYTE data[kMaxRegistryText + 1];
        DWORD dataSize = sizeof data;
        DWORD type = 0;
        if (RegEnumValueA(key, index, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS)
            break;
        RegValue value{std::string(name, nameSize), type, {}};
        if (type == REG_SZ) {
            value.text.assign(reinterpret_cast<const char*>(data), dataSize);
            while (!value.text.empty() && value.text.back() == '\0')
                value.text.pop_back();
        }
        values.push_back(std::move(value));
    }
    return values;
}

class Key {
public:
    ~Key()
    {
        if (m_key != nullptr)
            RegCloseKey(m_key);
    }
    bool open(const std::string& path)
    {
        return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &m_key) == ERROR_SUCCESS;
    }
    HKEY get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

}  // namespace

std::string BasicViewModel::deviceText() const
{
    return device >= 0 && device < static_cast<int>(devices.size()) ? devices[device] : std::string();
}

std::string BasicViewModel::deviceTypeText() const
{
    return deviceType >= 0 && deviceType < static_cast<int>(deviceTypes.size()) ? deviceTypes[deviceType]
                                                                                 : std::string();
}

UINT CTillProbeDlg::AddDeviceMessage()
{
    static const UINT message = RegisterWindowMessageA("ADD_DEVICE");
    return message;
}

CTillProbeDlg::CTillProbeDlg(ProbeHost& host, ScannerControl& scanner)
    : m_host(host),
      m_scanner(scanner),
      m_log((CLanguageManager::GetInstance().SetProgramStrings(strings()), CLanguageManager::GetInstance()),
            CAppLog::kValidation),
      m_ini(std::string(), 1224)
{
    AddDeviceMessage();
}

CTillProbeDlg::~CTillProbeDlg()
{
    for (const char* name : {"DIOIMG_BMP.bmp", "DIOIMG_JPG.jpg", "DIOIMG_TIFFBIN.TFF", "DIOIMG_TIFFGRAY.TFF"}) {
        std::error_code ec;
        if (!std::filesystem::exists(name, ec))
            continue;
        if (std::filesystem::remove(name, ec))
            log("~CTillProbeDlg", "Delete file", "Successful");
        else
            log("~CTillProbeDlg", "Delete file", "Exception");
    }
}

void CTillProbeDlg::log(const std::string& method, const std::string& label, const std::string& value)
{
    m_log.Write(4, kClass, method, label, value);
}

int CTillProbeDlg::Countdown() const
{
    std::lock_guard<std::mutex> lock(m_countdownLock);
    return m_countdown;
}

void CTillProbeDlg::SetCountdown(int value)
{
    std::lock_guard<std::mutex> lock(m_countdownLock);
    m_countdown = value;
}

int CTillProbeDlg::CountdownStartFrom(const std::string& text)
{
    if (text.empty() || !allDigits(text))
        return 10;
    const long long value = boundedValue(text, kMaxCountdownStart);
    return value < 0 ? 10 : static_cast<int>(value);
}

bool CTillProbeDlg::IsClaimTimeoutText(const std::string& text)
{
    return !text.empty() && allDigits(text) && boundedValue(text, kMaxClaimTimeout) >= 0;
}

void CTillProbeDlg::ShowError(const std::string& text)
{
    m_model.errorText = text;
    m_model.errorShown = true;
    m_model.progressShown = false;
}

void CTillProbeDlg::ShowProgress(const std::string& text)
{
    m_model.progressText = text;
    m_model.progressShown = true;
    m_model.errorShown = false;
}

void CTillProbeDlg::SetVerify(Verify look, bool enabled)
{
    m_model.verifyLook = look;
    m_model.verifyEnabled = enabled;
}

void CTillProbeDlg::ResetOutputBox()
{
    m_model.outputShown = true;
    m_model.pictureShown = false;
    m_model.output = T(kOutputPrompt);
}

std::string CTillProbeDlg::iniText(const std::string& section, LONG value) const
{
    std::string text;
    m_ini.Read(section, std::to_string(value), text, std::to_string(value));
    return text;
}

bool CTillProbeDlg::IsScannerChosen() const
{
    return m_deviceType == T(kScanner);
}

void CTillProbeDlg::OnInitDialog()
{
    log("OnInitDialog", "Entered");
    try {
        const bool french = CLanguageManager::GetInstance().ChooseUserLanguage(CAppLog::kValidation.languageFile,
                                                                               CAppLog::kValidation.languageName);
        m_host.SetFrenchMenu(french);
    } catch (...) {
        log("OnInitDialog", T(kApplicationException), "Language DLL");
    }
    m_ini.SetPath(currentFolder() + "/resultsProperty.ini");
    std::string timeout;
    m_ini.Read("TimeOut", "time", timeout, "10");
    m_countdownStart = CountdownStartFrom(timeout);
    SetControlTexts();
}

void CTillProbeDlg::SetControlTexts()
{
    m_model.fullImageShown = false;
    ResetOutputBox();
    m_model.deviceTypes = {T(kSelect), T(kScanner)};
    m_model.deviceType = 1;
    OnSelchangeComboDevicetype();
    m_model.errorText.clear();
    m_model.progressText.clear();
    m_model.errorShown = false;
    m_model.progressShown = false;
}

void CTillProbeDlg::OnCommand(int id)
{
    switch (id) {
    case IDC_BTN_VERIFY:
        if (m_model.verifyEnabled)
            OnBtnVerify();
        break;
    case IDC_BTN_ADVANCED:
    case ID_VIEW_ADVANCED:
        OnBtnAdvanced();
        break;
    case IDC_BTN_CONFIG:
    case ID_VIEW_CONFIG:
        OnBtnConfig();
        break;
    case ID_HELP_FILE:
        OnBtnHelp();
        break;
    case ID_HELP_ABOUT:
    case IDC_BTN_ABOUT_KEY:
        OnAbout();
        break;
    case ID_FILE_EXIT:
    case IDC_BTN_EXIT_KEY:
        OnFileExit();
        break;
    case IDC_BTN_FULLIMAGE:
        if (m_model.fullImageShown && m_model.fullImageEnabled)
            OnViewFullImage();
        break;
    default:
        break;
    }
}

bool CTillProbeDlg::PreTranslateKey(int key, int focusId)
{
    constexpr int kEscape = 0x1B;
    constexpr int kEnter = 0x0D;
    if (key == kEscape)
        return true;
    if (key == kEnter) {
        OnCommand(focusId);
        return true;
    }
    return false;
}

void CTillProbeDlg::OnSelchangeComboDevicetype()
{
    log("OnSelchangeComboDevicetype", "Entered");
    try {
        if (m_openResult == 0) {
            CloseDevice();
            m_host.ShowMessage(m_deviceName + T(kWillBeClosed));
        }
        m_model.devices.clear();
        m_model.device = -1;
        m_deviceType = m_model.deviceTypeText();
        ResetOutputBox();
        m_model.errorText.clear();
        m_model.errorShown = true;
        m_model.progressShown = false;
        m_model.fullImageShown = !IsScannerChosen();
        if (m_deviceType != T(kSelect)) {
            SetVerify(Verify::Ready, true);
            m_model.devicesEnabled = true;
            FillDeviceList(m_deviceType);
            OnSelchangeComboDevice();
        } else {
            m_model.fullImageShown = false;
            m_model.devices = {T(kNoDeviceSelected)};
            m_model.device = 0;
            m_model.devicesEnabled = false;
            SetVerify(Verify::Unavailable, false);
        }
    } catch (...) {
        log("OnSelchangeComboDevicetype", T(kApplicationException), m_lastException);
        OnSelchangeComboDevice();
    }
}

void CTillProbeDlg::FillDeviceList(const std::string& type)
{
    try {
        Key typeKey;
        DWORD subKeys = 0;
        if (typeKey.open(T(kDeviceRoot) + type))
            RegQueryInfoKeyA(typeKey.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr);
        bool listed = false;
        if (subKeys > 0) {
            m_model.devices.push_back(T(kSelect));
            m_model.device = static_cast<int>(m_model.devices.size()) - 1;
            const std::string manufacturer = lower(T(kManufacturer));
            const std::string maker = lower(T(kMaker));
            for (DWORD index = 0; index < subKeys; ++index) {
                char name[256];
                DWORD nameSize = sizeof name;
                if (RegEnumKeyExA(typeKey.get(), index, name, &nameSize, nullptr, nullptr, nullptr, nullptr) !=
                    ERROR_SUCCESS)
                    continue;
                const std::string device(name, nameSize);
                Key deviceKey;
                if (!deviceKey.open(T(kDeviceRoot) + type + "\\" + device))
                    continue;
                for (const RegValue& value : readValues(deviceKey.get(), kMaxListedValues)) {
                    if (value.type == REG_SZ && lower(value.name) == manufacturer && lower(value.text) == maker) {
                        m_model.devices.push_back(Utf8FromLatin1(device));
                        listed = true;
                        break;
                    }
                }
            }
        }
        if (!listed) {
            m_model.devices = {T(kNoDeviceExist)};
            m_model.device = 0;
            m_model.devicesEnabled = false;
            SetVerify(Verify::Unavailable, false);
        }
    } catch (...) {
        m_lastException = "Initiate";
        throw;
    }
}

void CTillProbeDlg::ReadClaimTimeout()
{
    std::string typePart;
    if (lower(m_deviceType) == lower(T(kImageScanner)))
        typePart = T(kImageScanner);
    else if (lower(m_deviceType) == lower(T(kScanner)))
        typePart = T(kScanner);
    std::vector<RegValue> values;
    Key key;
    if (key.open(T(kDeviceRoot) + typePart + "\\" + Latin1FromUtf8(m_deviceName)))
        values = readValues(key.get(), kMaxDeviceValues);
    else
        log("OnSelchangeComboDeviceName", "Registry values", "Failed");

    // The service object's ProgID and the maker's name are never the time-out.
    const auto skipped = [](const std::string& data) {
        return data == "VX.ScannerSO" || data == "VX.ImagerSO" || data == "Varnex";
    };
    bool found = false;
    for (std::size_t index = 0; index < 10 && index < values.size(); ++index) {
        if (skipped(values[index].text) && ++index >= values.size())
            break;
        if (values[index].name == T(kClaimTimeoutName)) {
            found = true;
            m_claimTimeout = IsClaimTimeoutText(values[index].text) ? values[index].text : T(kDefaultClaimTimeout);
        }
    }
    if (!found)
        m_claimTimeout = T(kDefaultClaimTimeout);
}

void CTillProbeDlg::OnSelchangeComboDevice()
{
    log("OnSelchangeComboDevice", "Entered");
    try {
        if (m_openResult != 0) {
            m_deviceName = m_model.deviceText();
            m_model.errorText.clear();
            m_model.progressText.clear();
            ResetOutputBox();
            m_model.fullImageEnabled = false;
            if (m_deviceName == T(kSelect))
                SetVerify(Verify::Unavailable, false);
            else if (m_deviceName != T(kNoDeviceExist))
                SetVerify(Verify::Ready, true);
            ReadClaimTimeout();
        } else if (m_model.deviceText() != m_deviceName) {
            CloseDevice();
            m_host.ShowMessage(T(kWillBeClosed));
            OnSelchangeComboDevice();
        }
    } catch (...) {
        log("OnSelchangeComboDevice", "CloseDevice");
    }
}

void CTillProbeDlg::OnDropdownComboDevice()
{
    if (!m_stale)
        return;
    try {
        m_model.devices.clear();
        m_model.device = -1;
        FillDeviceList(T(kScanner));
        m_stale = false;
        ReselectAfterRefill();
    } catch (...) {
        log("OnDropdownComboDevice", T(kApplicationException), m_lastException);
    }
}

// A refilled list keeps the chosen device selected; when it is gone, the
// choice is handled anew, so that Verify never stays armed for a device
// the list no longer shows.
void CTillProbeDlg::ReselectAfterRefill()
{
    for (std::size_t index = 0; index < m_model.devices.size(); ++index) {
        if (m_model.devices[index] == m_deviceName) {
            m_model.device = static_cast<int>(index);
            return;
        }
    }
    OnSelchangeComboDevice();
}

LRESULT CTillProbeDlg::OnAddDevice()
{
    m_stale = true;
    if (m_deviceName == T(kSelect) || m_deviceName == T(kNoDeviceExist)) {
        m_model.deviceType = 1;
        OnSelchangeComboDevicetype();
    }
    return 0;
}

std::string CTillProbeDlg::ShowResultText(LONG code)
{
    const std::string text = iniText("ResultCode", code);
    ShowError(Utf8FromLatin1(text));
    return text;
}

void CTillProbeDlg::OnBtnVerify()
{
    log("OnBtnVerify", "Entered");
    const std::string serviceObjectException = T(kServiceObjectException);
    m_model.output = T(kOutputPrompt);
    ShowProgress(T(kOpening));
    m_model.verifyEnabled = false;

    try {
        m_openResult = m_scanner.Open(Latin1FromUtf8(m_deviceName));
    } catch (...) {
        m_openResult = 104;
        log("OnBtnVerify", "OpenException", serviceObjectException);
        ShowError(serviceObjectException);
        m_model.verifyEnabled = true;
        m_model.focus = IDC_BTN_VERIFY;
        return;
    }
    if (m_openResult != 0) {
        m_model.verifyEnabled = true;
        log("OnBtnVerify", "Open", ShowResultText(m_openResult));
        m_model.focus = IDC_BTN_VERIFY;
        return;
    }
    m_model.devicesEnabled = false;
    m_model.focus = IDC_BTN_ADVANCED;
    log("OnBtnVerify", "Open", T(kOpened));

    bool claimThrew = false;
    try {
        m_claimResult = m_scanner.ClaimDevice(static_cast<LONG>(boundedValue(m_claimTimeout, kMaxClaimTimeout)));
        log("OnBtnVerify", "Claim", std::to_string(m_claimResult));
    } catch (...) {
        claimThrew = true;
        log("OnBtnVerify", "ClaimException", T(kApplicationException));
    }

    if (!claimThrew && m_claimResult == 0) {
        ShowProgress(T(kOpened));
        log("OnBtnVerify", "Claim", T(kAlreadyClaimed));
        SetVerify(Verify::Running, false);
        SetCountdown(m_countdownStart);
        if (!EnableForReading())
            return;
        log("OnTimmer", "EnteredTimmer", "Timeer");
        m_host.SetTimer(kCountdownTimer, 1000);
        return;
    }

    // A refused or failed claim: the device is closed at once.
    m_model.verifyEnabled = true;
    m_model.devicesEnabled = true;
    bool closeThrew = false;
    try {
        m_closeResult = m_scanner.Close();
    } catch (...) {
        closeThrew = true;
        log("OnBtnVerify", "Closed", serviceObjectException);
    }
    if (closeThrew)
        ShowError(serviceObjectException);
    else if (claimThrew)
        ShowError(T(kApplicationException));
    else
        log("OnBtnVerify", "Claim", ShowResultText(m_claimResult));
    SetVerify(Verify::Ready, true);
    m_openResult = 104;
}

bool CTillProbeDlg::EnableForReading()
{
    using Setter = void (ScannerControl::*)(BOOL);
    std::string failure;
    try {
        for (Setter setter : {&ScannerControl::SetDeviceEnabled, &ScannerControl::SetDataEventEnabled,
                              &ScannerControl::SetDecodeData}) {
            (m_scanner.*setter)(TRUE);
            const LONG result = m_scanner.GetResultCode();
            if (result != 0) {
                failure = Utf8FromLatin1(iniText("ResultCode", result));
                break;
            }
        }
    } catch (...) {
        failure = T(kServiceObjectException);
    }
    if (failure.empty())
        return true;
    log("OnBtnVerify", "Properties", failure);
    CloseDevice();
    ShowError(failure);
    m_model.focus = IDC_BTN_VERIFY;
    return false;
}

void CTillProbeDlg::OnTimmer(UINT id)
{
    if (id != kCountdownTimer)
        return;
    const int countdown = Countdown();
    const std::string text = T(kReadWithin) + std::to_string(countdown) + " seconds";
    if (countdown < 1) {
        if (m_eventDepth > 0) {
            // Closing now would close the control inside its own event.
            m_host.KillTimer(kCountdownTimer);
            m_closeWhenEventsReturn = true;
            return;
        }
        EndCountdown();
        return;
    }
    ShowProgress(text);
    SetCountdown(countdown - 1);
}

void CTillProbeDlg::EndCountdown()
{
    try {
        CloseDevice();
    } catch (...) {
        log("OnTimmer", "CloseDevice");
    }
    m_model.verifyEnabled = true;
}

void CTillProbeDlg::LeaveEvent()
{
    if (--m_eventDepth == 0 && m_closeWhenEventsReturn) {
        m_closeWhenEventsReturn = false;
        EndCountdown();
    }
}

void CTillProbeDlg::OnDataEventScanner()
{
    ++m_eventDepth;
    try {
        m_lastData = m_scanner.GetScanDataLabel();
        m_lastData = NameControlCharacters(m_lastData);
        m_scanner.SetDataEventEnabled(TRUE);
        SetCountdown(m_countdownStart);
        m_model.output = Utf8FromLatin1(m_lastData);
    } catch (...) {
        log("OnDataEventScanner", "GetScanDataLabel", m_lastData);
    }
    LeaveEvent();
}

void CTillProbeDlg::OnErrorEventScanner(LONG resultCode, LONG resultCodeExtended, LONG errorLocus,
                                        LONG* errorResponse)
{
    ++m_eventDepth;
    try {
        const int response = m_host.RunErrorEvent(errorLocus);
        if (errorResponse != nullptr)
            *errorResponse = response;
        log("OnErrorEventScanner", "ResultCode", iniText("ResultCode", resultCode));
        log("OnErrorEventScanner", "ResultCodeExtended", iniText("ResultCode", resultCodeExtended));
        log("OnErrorEventScanner", "ErrorLocus", iniText("ErrorEvent", errorLocus));
        log("OnErrorEventScanner", "ErrorResponse", iniText("ErrorEvent", response));
    } catch (...) {
        log("OnErrorEventScanner", T(kApplicationException), "ErrorEvent");
    }
    LeaveEvent();
}

void CTillProbeDlg::OnStatusUpdateEventScanner(LONG data)
{
    ++m_eventDepth;
    log("OnStatusUpdateEventScanner", "Scanner Status", iniText("StatusUpdateEvent", data));
    LeaveEvent();
}

void CTillProbeDlg::CloseDevice()
{
    log("closeDevice", "Entered");
    m_host.KillTimer(kCountdownTimer);
    m_closeWhenEventsReturn = false;
    if (m_openResult != 0)
        return;
    // Each step is tried even when one before it failed: a device left
    // claimed or open would refuse the next Verify.
    bool threw = false;
    const auto attempt = [&](auto step) {
        try {
            step();
        } catch (...) {
            threw = true;
        }
    };
    attempt([&] { m_scanner.SetDataEventEnabled(FALSE); });
    attempt([&] { m_scanner.SetDeviceEnabled(FALSE); });
    attempt([&] { m_scanner.SetDecodeData(FALSE); });
    attempt([&] { m_releaseResult = m_scanner.ReleaseDevice(); });
    attempt([&] { m_closeResult = m_scanner.Close(); });
    SetVerify(Verify::Ready, true);
    m_model.devicesEnabled = true;
    m_openResult = 104;
    if (threw) {
        m_lastException = T(kServiceObjectException);
        log("closeDevice", "Close", m_lastException);
        ShowError(m_lastException);
        return;
    }
    log("OnBtnVerify", "Close", T(kClosed));
    ShowProgress(T(kClosed));
}

void CTillProbeDlg::OnBtnAdvanced()
{
    log("OnBtnAdvanced", "Entered");
    try {
        if (m_openResult == 0) {
            CloseDevice();
            m_host.ShowMessage(T(kWillBeClosed));
            OnSelchangeComboDevice();
        }
        m_host.EndDialog(0);
        log("OnBtnAdvanced", "Closed");
        m_host.SwitchToAdvancedView();
    } catch (...) {
        log("OnBtnAdvanced", T(kApplicationException), m_lastException);
    }
}

// TillSetup is found through the first line of configPath.txt, a folder
// ending in a separator; failing that, in the working directory.
void CTillProbeDlg::OnBtnConfig()
{
    log("OnBtnConfig", "Entered");
    try {
        std::string folder;
        std::ifstream file("configPath.txt");
        if (file) {
            std::getline(file, folder);
            if (!folder.empty() && folder.back() == '\r')
                folder.pop_back();
        } else {
            m_lastException = "Open";
            log("OnBtnConfig", T(kApplicationException), m_lastException);
        }
        std::string path = folder + T(kSetupProgram);
        log("OnBtnConfig", "Path", path);
        std::error_code ec;
        if (!std::filesystem::is_regular_file(path, ec))
            path = T(kSetupProgram);
        if (std::filesystem::is_regular_file(path, ec)) {
            SHELLEXECUTEINFOA info{};
            info.cbSize = sizeof info;
            info.fMask = SEE_MASK_DEFAULT;
            info.lpVerb = "open";
            info.lpFile = path.c_str();
            info.nShow = SW_SHOWNORMAL;
            ShellExecuteExA(&info);
        } else {
            m_host.ShowMessage(T(kNoSetup));
        }
    } catch (...) {
        log("OnBtnConfig", T(kApplicationException), m_lastException);
    }
}

void CTillProbeDlg::OnBtnHelp()
{
    log("OnBtnHelp", "Help", T(kHelpFile));
    try {
        const std::string path = currentFolder() + "/" + T(kHelpFile);
        std::error_code ec;
        if (std::filesystem::is_regular_file(path, ec)) {
            if (!m_host.RaiseWindow(T(kHelpTitle)))
                m_host.OpenHelp(path);
        } else {
            m_host.ShowMessage(T(kNoHelp));
        }
    } catch (...) {
        log("OnBtnHelp", T(kApplicationException), "Help File not found");
    }
}

void CTillProbeDlg::OnAbout()
{
    try {
        CloseDevice();
        m_host.ShowAbout();
    } catch (...) {
        log("OnAbout", T(kApplicationException), m_lastException);
    }
}

void CTillProbeDlg::OnFileExit()
{
    try {
        CloseDevice();
        m_host.EndDialog(0);
        log("OnFileExit", "Closed");
        m_host.CloseWindowTitled(T(kHelpTitle));
    } catch (...) {
        log("OnFileExit", T(kApplicationException), m_lastException);
    }
}

void CTillProbeDlg::OnViewFullImage()
{
    try {
        m_host.ShowFullImage();
    } catch (...) {
        log("OnViewFullImage", T(kApplicationException), m_lastException);
    }
}
