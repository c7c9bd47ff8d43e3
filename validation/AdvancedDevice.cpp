// The Advanced View's device lists, the lifecycle steps (Open, ClaimDevice,
// ReleaseDevice, Close), the choice of device type and name, and leaving
// the view.
#include "AdvancedStrings.h"
#include "AdvancedValidation.h"
#include "DeviceRegistry.h"
#include "ProbeStrings.h"

#include <climits>
#include <filesystem>
#include <fstream>

using namespace adv;

namespace {

constexpr DWORD kMaxListedValues = 100;
constexpr DWORD kMaxSummaryValues = 20;
constexpr std::size_t kSummaryPositions = 14;

const char* const kTillProbeDlg = "CTillProbeDlg";

}  // namespace

LONG CAdvancedValidation::ClaimTimeoutFrom(const std::string& text)
{
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r')))
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-'))
        negative = text[at++] == '-';
    long long value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        value = value * 10 + (text[at] - '0');
        // A longer number than a LONG holds is taken as the nearest LONG.
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        return static_cast<LONG>(-value);
    return static_cast<LONG>(value > INT_MAX ? INT_MAX : value);
}

void CAdvancedValidation::FillDeviceNameList(const std::string& deviceType)
{
    try {
        DWORD subKeys = 0;
        const std::vector<std::string> devices = probe::suiteDevices(
            T(probe::kDeviceRoot) + deviceType, T(probe::kManufacturer), T(probe::kMaker), kMaxListedValues, subKeys);
        AdvancedControl& list = m_model.at(IDC_COMBO_DEVICENAME);
        if (subKeys > 0 && !devices.empty()) {
            list.entries.push_back(T(probe::kSelect));
            list.selection = static_cast<int>(list.entries.size()) - 1;
            list.entries.insert(list.entries.end(), devices.begin(), devices.end());
        } else {
            list.entries = {T(probe::kNoDeviceExist)};
            list.selection = 0;
            list.enabled = false;
        }
    } catch (...) {
        m_strFailedStep = "Initiate";
        throw;
    }
}

void CAdvancedValidation::OnDropdownComboDeviceName()
{
    try {
        if (!m_bRefreshDeviceList)
            return;
        AdvancedControl& list = m_model.at(IDC_COMBO_DEVICENAME);
        list.entries.clear();
        list.selection = -1;
        FillDeviceNameList(T(probe::kScanner));
        m_bRefreshDeviceList = false;
    } catch (...) {
        log("OnDropdownComboDevice", "Exception", std::string(), kTillProbeDlg);
    }
}

void CAdvancedValidation::HideDeviceInfo()
{
    m_model.at(IDC_STATIC_DEVICEINFO).text.clear();
    m_model.at(IDC_EDIT_CLAIMTIMEOUT).text.clear();
    m_model.at(IDC_STATIC_DEVICEINFOTITLE).shown = false;
    m_model.at(IDC_STATIC_DEVICEINFO).shown = false;
}

void CAdvancedValidation::OnSelchangeComboDeviceName()
{
    m_model.at(IDC_STATIC_DEVICEINFOTITLE).shown = true;
    m_model.at(IDC_STATIC_DEVICEINFO).shown = true;
    const std::string type =
        probe::lower(m_strDeviceType) == probe::lower(T(probe::kImageScanner)) ? T(probe::kImageScanner)
                                                                                : T(probe::kScanner);
    std::string summary;
    probe::RegKey key;
    if (!key.open(T(probe::kDeviceRoot) + type + "\\" + m_strDeviceName)) {
        log("OnSelchangeComboDeviceName", "Registry values", "Failed");
    } else {
        const std::vector<probe::RegValue> values = probe::readValues(key.get(), kMaxSummaryValues);
        const std::string autoDetect = T(kAutoDetectName);
        const std::string port = T(kPortName);
        const std::string so = probe::lower("VX.ScannerSO");
        const std::string imagerSo = probe::lower("VX.ImagerSO");
        const std::string maker = probe::lower(T(probe::kMaker));
        for (std::size_t at = 0; at < kSummaryPositions && at < values.size(); ++at) {
            const std::string data = probe::lower(values[at].text);
            // The service object's name and the maker are passed by, and
            // the value after them is read without that test.
            if (data == so || data == imagerSo || data == maker) {
                if (++at >= kSummaryPositions || at >= values.size())
                    break;
            }
            const probe::RegValue& value = values[at];
            if (value.name == autoDetect) {
                const std::string line = T(kAutoDetectWord) + " = " + value.text;
                if (probe::lower(value.text) != "false") {
                    summary = line;
                    break;
                }
                summary = line + "\r\n" + summary;
            } else if (value.name == port) {
                summary += T(kPortWord) + " = " + value.text + "\r\n";
            }
        }
    }
    m_model.at(IDC_STATIC_DEVICEINFO).text = summary;
    m_model.at(IDC_EDIT_CLAIMTIMEOUT).text = T(probe::kDefaultClaimTimeout);
}

void CAdvancedValidation::OnSelchangeComboDeviceType()
{
    log("OnSelchangeComboDeviceType", "Entered");
    AdvancedControl& names = m_model.at(IDC_COMBO_DEVICENAME);
    try {
        names.entries.clear();
        names.selection = -1;
        m_strDeviceType = m_model.selectedText(IDC_COMBO_DEVICETYPE);
        if ((IsScannerType() ? m_nScannerOpenResult : m_nImagerOpenResult) != 0)
            resetValues();
    } catch (...) {
        log("OnSelchangeComboDeviceType", T(probe::kApplicationException), m_strDeviceType);
    }
    if (m_strDeviceType != T(probe::kSelect)) {
        names.enabled = true;
        m_model.at(IDC_BTN_OPEN).enabled = true;
        if (m_strDeviceType == T(probe::kScanner))
            ShowScannerLayout();
        else if (m_strDeviceType == T(probe::kImageScanner))
            ShowImageScannerLayout();
        try {
            FillDeviceNameList(m_strDeviceType);
        } catch (...) {
            log("OnSelchangeComboDeviceType", T(probe::kApplicationException), "UpdateCombo");
        }
        const int remembered = IsScannerType() ? m_nScannerDeviceIndex : m_nImagerDeviceIndex;
        if (remembered >= 0 && remembered < static_cast<int>(names.entries.size()))
            names.selection = remembered;
        OnSelchangeComboDeviceName();
        GetDeviceenable();
        GetDataenable();
        GetAutodisable();
        GetFreezeevent();
        GetBinaryconversion();
        GetPowerNotify();
    } else {
        HideScannerRows();
        HideImageScannerRows();
        names.entries.push_back(T(probe::kNoDeviceSelected));
        names.selection = static_cast<int>(names.entries.size()) - 1;
        names.enabled = false;
    }
    if (names.selection == 0)
        HideDeviceInfo();
}

void CAdvancedValidation::OnDeviceNameChosen()
{
    try {
        AdvancedControl& names = m_model.at(IDC_COMBO_DEVICENAME);
        const std::string chosen = names.selectedText();
        if (!IsOpen(m_nScannerOpenResult)) {
            resetValues();
            ShowScannerLayout();
        } else if (IsScannerType()) {
            if (chosen != m_strDeviceName) {
                CloseStep(m_scanner, true);
                if (m_scanner.GetResultCode() != 0) {
                    for (std::size_t at = 0; at < names.entries.size(); ++at)
                        if (names.entries[at] == m_strDeviceName)
                            names.selection = static_cast<int>(at);
                    return;
                }
                m_host.ShowMessage(T(probe::kWillBeClosed));
            }
        } else {
            resetValues();
            ShowScannerLayout();
        }
        m_strDeviceName = chosen;
        if (chosen != T(probe::kSelect) && chosen != T(probe::kNoDeviceExist))
            OnSelchangeComboDeviceName();
        else
            HideDeviceInfo();
    } catch (const ControlCallError&) {
        log("OnSelchangeComboDeviceName", T(probe::kServiceObjectException));
    } catch (...) {
        log("OnSelchangeComboDeviceName", T(probe::kApplicationException));
    }
}

void CAdvancedValidation::OnBtnOpen()
{
    log("Open", "Entered");
    if (m_strDeviceType.empty() || m_strDeviceType == T(probe::kSelect)) {
        m_host.ShowMessage(T(kSelectDeviceType));
        m_model.focus = IDC_COMBO_DEVICETYPE;
        return;
    }
    if (m_strDeviceName.empty() || m_strDeviceName == T(probe::kSelect) ||
        m_strDeviceName == T(probe::kNoDeviceExist)) {
        m_host.ShowMessage(T(kSelectDeviceName));
        m_model.focus = IDC_COMBO_DEVICENAME;
        return;
    }
    try {
        SetStatus(T(probe::kOpening));
        const bool scanner = IsScannerType();
        const LONG result = Active().Open(m_strDeviceName);
        (scanner ? m_nScannerOpenResult : m_nImagerOpenResult) = result;
        const std::string text = ResultCodeText(result);
        m_nDataBufferLimit = GetDataBufferValue(m_strDeviceType, m_strDeviceName);
        if (IsOpen(m_nScannerOpenResult) && scanner)
            m_model.at(IDC_COMBO_DEVICENAME).enabled = false;
        if (result != 106)
            resetValues();
        GetDeviceenable();
        GetPowerNotify();
        if (result == 0)
            (scanner ? m_nScannerDeviceIndex : m_nImagerDeviceIndex) = m_model.at(IDC_COMBO_DEVICENAME).selection;
        log("Open", text);
        SetStatus(std::string());
        AppendOutput(T(kOpenLine) + "   " + text);
    } catch (const ControlCallError&) {
        log("Open", "Exception", T(probe::kServiceObjectException));
        m_nScannerOpenResult = 104;
        m_nImagerOpenResult = 104;
        SetStatus(std::string());
        AppendOutput(T(kOpenLine) + "   " + T(probe::kServiceObjectException));
    } catch (...) {
        log("Open", T(probe::kApplicationException));
    }
}

void CAdvancedValidation::OnBtnClaim()
{
    log("Claim", "Entered", std::string(), kTillProbeDlg);
    const std::string typed = m_model.at(IDC_EDIT_CLAIMTIMEOUT).text;
    if (typed.empty()) {
        m_host.ShowMessage(T(kEnterTimeout));
        m_model.focus = IDC_EDIT_CLAIMTIMEOUT;
        return;
    }
    try {
        SetStatus(T(kClaiming));
        m_nClaimResult = Active().ClaimDevice(ClaimTimeoutFrom(typed));
        const std::string text = ResultCodeText(m_nClaimResult);
        log("Claim", text, std::string(), kTillProbeDlg);
        std::string output = T(kClaimLine) + "    " + text;
        if (m_nClaimResult == 0) {
            std::string hint;
            if (!m_bDeviceEnabled && !m_bDataEventEnabled)
                hint = T(kHintBoth);
            else if (!m_bDeviceEnabled)
                hint = T(kHintEnable);
            else if (!m_bDataEventEnabled)
                hint = T(kHintDataEvent);
            if (!hint.empty())
                output = hint + "\r\n" + output;
            m_host.SetTimer(kDataCountTimer, 10);
            m_model.focus = IDC_COMBO_DEVICEENABLE;
        }
        AppendOutput(output);
        SetStatus(std::string());
    } catch (const ControlCallError&) {
        log("Claim", T(probe::kServiceObjectException), std::string(), kTillProbeDlg);
        SetStatus(std::string());
    } catch (...) {
        log("Claim", T(probe::kApplicationException), std::string(), kTillProbeDlg);
    }
}

void CAdvancedValidation::OnBtnRelease()
{
    log("Release", "Entered", std::string(), kTillProbeDlg);
    try {
        COPOSCommonControl& control = Active();
        m_nReleaseResult = control.ReleaseDevice();
        const LONG count = control.GetDataCount();
        const std::string text = ResultCodeText(m_nReleaseResult);
        log("Release", text, std::string(), kTillProbeDlg);
        GetDeviceenable();
        m_model.at(IDC_STATIC_DATACOUNT).text = "DataCount  :  " + std::to_string(count);
        AppendOutput(T(kReleaseLine) + "   " + text);
        m_host.KillTimer(kDataCountTimer);
    } catch (const ControlCallError&) {
        log("Release", T(probe::kServiceObjectException), std::string(), kTillProbeDlg);
    } catch (...) {
        log("Release", T(probe::kApplicationException), std::string(), kTillProbeDlg);
    }
}

void CAdvancedValidation::CloseStep(COPOSCommonControl& control, bool scanner)
{
    log("Close", "Entered");
    try {
        m_nCloseResult = control.Close();
        const std::string text = ResultCodeText(m_nCloseResult);
        log("Close", text);
        if (m_nCloseResult == 107)
            m_nScannerOpenResult = 107;
        if (m_nCloseResult == 0) {
            (scanner ? m_nScannerDeviceIndex : m_nImagerDeviceIndex) = 0;
            (scanner ? m_nScannerOpenResult : m_nImagerOpenResult) = 104;
            resetValues();
            ShowScannerLayout();
            m_host.KillTimer(kDataCountTimer);
        }
        m_model.at(IDC_COMBO_DEVICENAME).enabled = true;
        GetDataenable();
        GetDeviceenable();
        AppendOutput(T(kCloseLine) + "   " + text);
    } catch (const ControlCallError&) {
        log("Close", T(probe::kServiceObjectException));
        m_nScannerOpenResult = 104;
        m_nImagerOpenResult = 104;
        AppendOutput(T(kCloseLine) + "   " + T(probe::kServiceObjectException));
    } catch (...) {
        log("Close", T(probe::kApplicationException));
    }
}

void CAdvancedValidation::OnBtnClose()
{
    if (IsScannerType())
        CloseStep(m_scanner, true);
    else
        CloseStep(m_imageScanner, false);
}

LRESULT CAdvancedValidation::OnAddDevice()
{
    try {
        m_bRefreshDeviceList = true;
        if (m_strDeviceName == T(probe::kSelect) || m_strDeviceName == T(probe::kNoDeviceExist)) {
            m_model.at(IDC_COMBO_DEVICETYPE).selection = 1;
            OnSelchangeComboDeviceType();
        }
    } catch (...) {
        log("OnAddDevice", "Exception", std::string(), kTillProbeDlg);
    }
    return 0;
}

void CAdvancedValidation::CloseOpenDevices()
{
    if (IsOpen(m_nScannerOpenResult)) {
        m_model.at(IDC_COMBO_DEVICETYPE).selection = 1;
        CloseStep(m_scanner, true);
    }
    if (IsOpen(m_nImagerOpenResult))
        CloseStep(m_imageScanner, false);
}

void CAdvancedValidation::OnBtnBasicView()
{
    log("OnBtnBasicView", "Entered");
    try {
        if (m_scanner.GetState() == 3) {
            m_host.ShowMessage(T(kFirmwareBusy));
            return;
        }
        if (IsOpen(IsScannerType() ? m_nScannerOpenResult : m_nImagerOpenResult)) {
            CloseOpenDevices();
            m_host.ShowMessage(T(probe::kWillBeClosed));
        }
        m_host.EndDialog(0);
        log("OnBtnBasicView", "Closed");
        m_host.SwitchToBasicView();
    } catch (...) {
        log("OnBtnBasicView", T(probe::kApplicationException));
    }
}

void CAdvancedValidation::OnBtnConfigUtil()
{
    try {
        std::string folder;
        std::ifstream file("configPath.txt");
        if (!file)
            log("OnBtnConfigUtil", "Could not open", "file.Open");
        else
            std::getline(file, folder);
        if (!folder.empty() && folder.back() == '\r')
            folder.pop_back();
        std::string path = folder + T(probe::kSetupProgram);
        log("OnBtnConfig", "Path", path);
        std::error_code ec;
        if (!std::filesystem::is_regular_file(path, ec))
            path = T(probe::kSetupProgram);
        if (std::filesystem::is_regular_file(path, ec))
            m_host.LaunchProgram(path);
        else
            m_host.ShowMessage(T(probe::kNoSetup));
    } catch (...) {
        log("OnBtnConfigUtil", T(probe::kApplicationException));
    }
}

void CAdvancedValidation::OnFileExit()
{
    try {
        if (m_scanner.GetState() == 3) {
            m_host.ShowMessage(T(kFirmwareBusy));
            return;
        }
        log("OnFileExit", "Closed");
        CloseOpenDevices();
        m_host.EndDialog(0);
        m_host.CloseWindowTitled(T(probe::kHelpTitle));
    } catch (...) {
        log("OnFileExit", T(probe::kApplicationException));
    }
}

void CAdvancedValidation::OnClose()
{
    try {
        OnFileExit();
    } catch (...) {
        log("OnClose", T(probe::kApplicationException), "Close");
    }
}
