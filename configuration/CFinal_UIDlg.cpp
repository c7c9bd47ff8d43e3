#include "CFinal_UIDlg.h"

#include "ControlIds.h"
#include "FieldChecks.h"
#include "Strings.h"

#include "platform/broadcast.h"
#include "platform/error.h"
#include "platform/shell.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

using namespace ctl;
using Kind = FormModel::Kind;

namespace {

constexpr const char* kRoot = "SOFTWARE\\OLEforRetail\\ServiceOPOS";
constexpr const char* kMaker = "Varnex";

// "AUTODETECT" holds "True" or "False", the words the service object reads,
// whatever language the auto-detect list speaks.
std::string autoDetectShown(const std::string& stored)
{
    if (stored == "True")
        return T(str::kTrue);
    if (stored == "False")
        return T(str::kFalse);
    return stored;
}

std::string autoDetectStored(const std::string& shown)
{
    if (shown == T(str::kTrue))
        return "True";
    if (shown == T(str::kFalse))
        return "False";
    return shown;
}
constexpr int kMaxDeviceValues = 20;
constexpr std::size_t kMaxListedValues = 1000;

// A flow's internal failure, logged by the handler with its name.
struct FlowError {
    std::string name;
};
// A registry write of a flow failed; the flow has shown it.
struct RegistryFailure {
    LONG code;
};

std::string szText(const std::vector<BYTE>& data)
{
    std::string text(data.begin(), data.end());
    while (!text.empty() && text.back() == '\0')
        text.pop_back();
    return text;
}

std::string lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string upper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string currentFolder()
{
    std::error_code ec;
    return std::filesystem::current_path(ec).string();
}

}  // namespace

UINT CFinal_UIDlg::AddDeviceMessage()
{
    static const UINT message = RegisterWindowMessageA("ADD_DEVICE");
    return message;
}

CFinal_UIDlg::CFinal_UIDlg(ConfigurationHost& host, RegistryApi& registry, DosDeviceSource dosDevices)
    : m_host(host),
      m_registry(registry),
      m_dosDevices(std::move(dosDevices)),
      m_log((CLanguageManager::GetInstance().SetProgramStrings(tillSetupStrings()), CLanguageManager::GetInstance()),
            CAppLog::kConfiguration)
{
    AddDeviceMessage();
    m_form.Add(IDC_ADDDEVICERADIO, Kind::Radio);
    m_form.Add(IDC_EDITREMOVERADIO, Kind::Radio);
    m_form.Add(IDC_SUBKEYS, Kind::DropDownList);
    m_form.Add(IDC_ENTERDEVICENAME, Kind::Edit);
    m_form.Add(IDC_DEVICENAMECOMBO, Kind::DropDownList);
    m_form.Add(IDC_CONNECTIONCOMBO, Kind::DropDownList);
    m_form.Add(IDC_COMPORTCOMBO, Kind::DropDown);
    m_form.Add(IDC_TIMEOUTCOMBO, Kind::DropDown, true);
    m_form.Add(IDC_INFINITECOMBO, Kind::DropDown, true);
    m_form.Add(IDC_AIMMODECOMBO, Kind::DropDownList, true);
    for (int id : {IDC_ADDBUTTON, IDC_MODIFY, IDC_REMOVE, IDC_VALIDATEEXE, IDC_VALIDATION})
        m_form.Add(id, Kind::Button);
    for (int id : {IDC_PORTNUMBER, IDC_CONNECTIONTYPELABEL, IDC_COMPORT, IDC_TIMEOUTLABEL, IDC_INFINITETIMEOUTlLABEL,
                   IDC_AIMMODELABEL, IDC_DEVICENAMELABEL, IDC_DEVICENAMELABEL_ADD, IDC_DEVICECATEGORYLABEL})
        m_form.Add(id, Kind::Static);
    for (int id : {IDC_CONNECTIONSETTINGGROUPBOX, IDC_DeviceFiles, IDC_ServiceObjectSettings})
        m_form.Add(id, Kind::Group);
    m_form.Add(IDC_STATICLOGO, Kind::Picture);
    m_form.Add(IDC_LEFT_PANE, Kind::Picture);
    // As the dialog template has them.
    m_form.ShowWindow(IDC_AIMMODECOMBO, false);
    m_form.ShowWindow(IDC_AIMMODELABEL, false);
    m_form.ShowWindow(IDC_VALIDATION, false);
    m_form.ShowWindow(IDC_PORTNUMBER, false);
    m_form.SetCheck(IDC_ADDDEVICERADIO, true);
}

void CFinal_UIDlg::log(const std::string& method, const std::string& label, const std::string& value)
{
    m_log.Write(4, "CFinal_UIDlg", method, label, value);
}

// Every handler logs "Entered" and catches whatever its flow raised: a
// named failure is logged with its name, the registry-open integer as
// "RegOpenKeyEx", anything else as "Exception"; the dialog stays usable.
template <typename Body>
void CFinal_UIDlg::handler(const char* name, Body body)
{
    log(name, "Entered");
    try {
        body();
    } catch (const FlowError& error) {
        log(name, error.name);
    } catch (const RegistryFailure&) {
        log(name, "RegOpenKeyEx");
    } catch (...) {
        log(name, "Exception");
    }
}

bool CFinal_UIDlg::isPlaceholderDevice(const std::string& name) const
{
    return name == m_select || name == T(str::kNoDeviceSelected) || name == T(str::kNoDeviceExists);
}

// The closing, launch and add-mode tests: a real device is shown in
// edit/remove mode with a change pending.
bool CFinal_UIDlg::promptNeeded() const
{
    return m_form.GetWindowText(IDC_SUBKEYS) != m_select &&
           !isPlaceholderDevice(m_form.GetWindowText(IDC_DEVICENAMECOMBO)) && m_pending;
}

std::string CFinal_UIDlg::categoryPath(const std::string& category) const
{
    return std::string(kRoot) + "\\" + (category == T(str::kImageScanner) ? "ImageScanner" : "Scanner");
}

std::string CFinal_UIDlg::progIdOf(const std::string& category) const
{
    if (category == "ImageScanner")
        return "VX.ImagerSO";
    if (category == "Scanner")
        return "VX.ScannerSO";
    return std::string();
}

void CFinal_UIDlg::ShowRegistryFailure(UINT messageId, LONG code)
{
    // The text may come from a translator's strings file: it is never a
    // format. Its first "%lu" stands for the error's number; anything else
    // is shown as written.
    std::string text = T(messageId);
    const std::size_t number = text.find("%lu");
    if (number != std::string::npos)
        text.replace(number, 3, std::to_string(static_cast<unsigned long>(code)));
    m_host.ShowMessage(text, 0);
}

// ---------------------------------------------------------------- start-up

void CFinal_UIDlg::OnInitDialog()
{
    handler("OnInitDialog", [&] {
        m_form.SetFocus(IDC_SUBKEYS);
        CLanguageManager& language = CLanguageManager::GetInstance();
        const bool french = language.ChooseUserLanguage("TillSetupFrench.strings", "TillSetupFrenchDll", "english");
        m_host.SetFrenchMenu(french);
        PerformInitialSettings();
        m_form.ResetContent(IDC_CONNECTIONCOMBO);
        m_form.AddString(IDC_CONNECTIONCOMBO, T(str::kTrue));
        m_form.AddString(IDC_CONNECTIONCOMBO, T(str::kFalse));
        m_form.SetCurSel(IDC_CONNECTIONCOMBO, 0);
        m_form.EnableWindow(IDC_COMPORTCOMBO, false);
        m_form.LimitText(IDC_COMPORTCOMBO, 6);
    });
}

void CFinal_UIDlg::PerformInitialSettings()
{
    log("PerformInitialSettings", "Entered");
    m_form.EnableMenuItem(ID_FILE_DEVICE_DELETEDEVICE, false);
    m_form.EnableMenuItem(ID_FILE_DEVICE_MODIFYDEVICE, false);
    m_form.EnableMenuItem(ID_FILE_DEVICE_ADDDEVICE, true);
    m_rangeRecheck = T(str::kRangeRecheck);
    m_improper = T(str::kImproper);
    m_select = T(str::kSelect);
    SetLanguageValues();
    ToolTipSettings();

    m_form.SetWindowText(IDC_ENTERDEVICENAME, T(str::kEnterTheName));
    m_form.LimitText(IDC_ENTERDEVICENAME, 200);
    m_form.ShowWindow(IDC_REMOVE, false);
    m_form.ShowWindow(IDC_MODIFY, false);
    m_form.SetCheck(IDC_ADDDEVICERADIO, true);
    m_form.SetCheck(IDC_EDITREMOVERADIO, false);
    m_form.ShowWindow(IDC_SUBKEYS, true);
    m_form.ShowWindow(IDC_DEVICENAMECOMBO, false);
    m_form.ShowWindow(IDC_DEVICENAMELABEL_ADD, false);

    m_form.InsertString(IDC_COMPORTCOMBO, m_form.GetCount(IDC_COMPORTCOMBO) == 0 ? -1 : 0, m_select);
    m_form.SetCurSel(IDC_COMPORTCOMBO, m_form.FindStringExact(IDC_COMPORTCOMBO, -1, m_select));

    m_form.SetCurSel(IDC_TIMEOUTCOMBO, m_form.AddString(IDC_TIMEOUTCOMBO, T(str::kDefaultTimeout)));
    m_form.LimitText(IDC_TIMEOUTCOMBO, 5);
    m_form.SetCurSel(IDC_AIMMODECOMBO, m_form.AddString(IDC_AIMMODECOMBO, T(str::kAimOff)));
    m_form.AddString(IDC_AIMMODECOMBO, T(str::kAimConcurrent));
    m_form.AddString(IDC_AIMMODECOMBO, T(str::kAimInterlaced));
    m_form.SetCurSel(IDC_INFINITECOMBO, m_form.AddString(IDC_INFINITECOMBO, T(str::kDefaultMaxTimeout)));
    m_form.LimitText(IDC_INFINITECOMBO, 10);

    m_editMode = false;
    m_autoDetectChanged = false;
    m_pending = false;
    m_category = m_select;
    m_lastDevice = m_select;
    m_addRadioState = m_form.GetCheck(IDC_ADDDEVICERADIO);

    for (const std::string& entry : PortListEntries(m_dosDevices))
        m_form.AddString(IDC_COMPORTCOMBO, entry);
    GetSubkeys();
    m_form.SetFocus(IDC_ADDDEVICERADIO);
}

void CFinal_UIDlg::SetLanguageValues()
{
    log("SetLanguageValues", "Entered");
    const std::pair<int, UINT> texts[] = {
        {IDC_CONNECTIONSETTINGGROUPBOX, str::kAutoDetectSettings},
        {IDC_CONNECTIONTYPELABEL, str::kAutoDetect},
        {IDC_COMPORT, str::kPortLabel},
        {IDC_TIMEOUTLABEL, str::kTimeoutLabel},
        {IDC_ADDDEVICERADIO, str::kAddDeviceRadio},
        {IDC_EDITREMOVERADIO, str::kEditRemoveRadio},
        {IDC_DEVICENAMELABEL_ADD, str::kDeviceNameLabelAdd},
        {IDC_DEVICECATEGORYLABEL, str::kDeviceTypeLabel},
        {IDC_INFINITETIMEOUTlLABEL, str::kMaxTimeoutLabel},
        {IDC_AIMMODELABEL, str::kAimModeLabel},
        {IDC_ADDBUTTON, str::kAddButton},
        {IDC_MODIFY, str::kModifyButton},
        {IDC_REMOVE, str::kRemoveButton},
        {IDC_VALIDATEEXE, str::kValidateButton},
        // The template's own texts.
        {IDC_DEVICENAMELABEL, str::kDeviceNameLabel},
        {IDC_DeviceFiles, str::kDeviceOptions},
        {IDC_ServiceObjectSettings, str::kServiceObjectSettings},
    };
    for (const auto& [id, text] : texts)
        m_form.SetWindowText(id, T(text));
}

void CFinal_UIDlg::ToolTipSettings()
{
    log("ToolTipSettings", "Entered");
    const std::pair<int, UINT> tips[] = {
        {IDC_REMOVE, str::kTipRemove},     {IDC_VALIDATEEXE, str::kTipValidate}, {IDC_ADDBUTTON, str::kTipAdd},
        {IDC_MODIFY, str::kTipModify},     {IDC_VALIDATION, str::kTipHelp},      {IDC_ENTERDEVICENAME, str::kTipName},
    };
    for (const auto& [id, text] : tips)
        m_form.SetToolTip(id, T(text));
}

void CFinal_UIDlg::GetSubkeys()
{
    log("GetSubkeys", "Entered");
    m_form.ResetContent(IDC_SUBKEYS);
    m_form.AddString(IDC_SUBKEYS, T(str::kScanner));
    m_form.SetCurSel(IDC_SUBKEYS, 0);
    m_form.EnableWindow(IDC_SUBKEYS, false);
}

// ---------------------------------------------------------------- commands and keys

void CFinal_UIDlg::OnCommand(int id)
{
    // A disabled menu item's accelerator does nothing.
    if (!m_form.IsMenuItemEnabled(id))
        return;
    switch (id) {
    case IDC_ADDBUTTON:
    case ID_FILE_DEVICE_ADDDEVICE:
        OnAddbutton();
        break;
    case IDC_MODIFY:
    case ID_FILE_DEVICE_MODIFYDEVICE:
        OnModifyValues();
        break;
    case IDC_REMOVE:
    case ID_FILE_DEVICE_DELETEDEVICE:
        OnRemove();
        break;
    case IDC_VALIDATEEXE:
    case ID_VALIDATIONMENU:
        OnValidateexe();
        break;
    case ID_FILE_EXIT:
        OnExit();
        break;
    case ID_HELP_ABOUT:
        OnAbout();
        break;
    case ID_HELP_HELPDOCVIEW:
        OnHelpHelpdocview();
        break;
    case IDC_VALIDATION:
        OnHelpButton();
        break;
    case IDC_ADDDEVICERADIO:
        m_form.SetCheck(IDC_ADDDEVICERADIO, true);
        m_form.SetCheck(IDC_EDITREMOVERADIO, false);
        OnAdddeviceradio();
        break;
    case IDC_EDITREMOVERADIO:
        m_form.SetCheck(IDC_EDITREMOVERADIO, true);
        m_form.SetCheck(IDC_ADDDEVICERADIO, false);
        OnEditremovedeviceradio();
        break;
    default:
        break;
    }
}

bool CFinal_UIDlg::PreTranslateKey(int key, bool shift, int focusId, const std::string& portBeforeCaret)
{
    constexpr int kEscape = 0x1B;
    constexpr int kEnter = 0x0D;
    constexpr int kBackspace = 0x08;
    constexpr int kTab = 0x09;
    constexpr int kDelete = 0x2E;
    constexpr int kLeft = 0x25;
    constexpr int kDown = 0x28;
    const bool onButton = focusId == IDC_ADDBUTTON || focusId == IDC_MODIFY || focusId == IDC_REMOVE ||
                          focusId == IDC_VALIDATION || focusId == IDC_VALIDATEEXE || focusId == IDC_ADDDEVICERADIO ||
                          focusId == IDC_EDITREMOVERADIO;
    if (onButton && (key == 'A' || key == 'M' || key == 'R' || key == 'Y'))
        return true;
    if (key == kEscape)
        return true;
    if (key == kEnter) {
        OnCommand(focusId);
        return true;
    }
    if (focusId == IDC_COMPORTCOMBO) {
        const bool special = key == kBackspace || key == kTab || key == kDelete || (key >= kLeft && key <= kDown);
        // The numeric pad's digits (0x60-0x69) count as digits.
        const char character = key >= 0x60 && key <= 0x69 ? static_cast<char>('0' + key - 0x60)
                                                           : static_cast<char>(key & 0x7F);
        return !PortKeyAllowed(portBeforeCaret, character, special, shift, m_select);
    }
    return false;
}

// ---------------------------------------------------------------- modes

void CFinal_UIDlg::OnAdddeviceradio()
{
    handler("OnAdddeviceradio", [&] {
        RemoveValuenotFoundString();
        if (m_pending && m_editMode && m_form.GetCheck(IDC_EDITREMOVERADIO))
            return;
        if (m_editMode) {
            m_editMode = false;
            m_form.ShowWindow(IDC_PORTNUMBER, false);
            if (promptNeeded()) {
                const int outcome = ChangePopup();
                if (outcome == 3 || outcome == 5) {
                    m_editMode = true;
                    m_form.SetCheck(IDC_ADDDEVICERADIO, false);
                    m_form.SetCheck(IDC_EDITREMOVERADIO, true);
                    m_form.SetFocus(IDC_EDITREMOVERADIO);
                    return;
                }
                m_pending = false;
                m_category = m_select;
                m_form.ShowWindow(IDC_PORTNUMBER, false);
            }
        }
        const bool image = m_form.GetWindowText(IDC_SUBKEYS) == T(str::kImageScanner);
        m_form.ShowWindow(IDC_AIMMODECOMBO, image);
        m_form.ShowWindow(IDC_AIMMODELABEL, image);
        m_form.EnableMenuItem(ID_FILE_DEVICE_DELETEDEVICE, false);
        m_form.EnableMenuItem(ID_FILE_DEVICE_MODIFYDEVICE, false);
        m_form.EnableMenuItem(ID_FILE_DEVICE_ADDDEVICE, true);
        for (int id : {IDC_DEVICENAMELABEL, IDC_DEVICECATEGORYLABEL, IDC_SUBKEYS, IDC_ENTERDEVICENAME, IDC_ADDBUTTON})
            m_form.ShowWindow(id, true);
        m_form.SetWindowText(IDC_ENTERDEVICENAME, T(str::kEnterTheName));
        for (int id : {IDC_DEVICENAMECOMBO, IDC_DEVICENAMELABEL_ADD, IDC_REMOVE, IDC_MODIFY})
            m_form.ShowWindow(id, false);
        ResetProperties(std::string());
        m_form.SetCurSel(IDC_CONNECTIONCOMBO, 0);
        m_form.EnableWindow(IDC_COMPORTCOMBO, false);
        FillPortList();
        m_form.SetCurSel(IDC_COMPORTCOMBO, m_form.FindStringExact(IDC_COMPORTCOMBO, -1, m_select));
    });
}

void CFinal_UIDlg::OnEditremovedeviceradio()
{
    handler("OnEditremovedeviceradio", [&] {
        if (m_form.GetCheck(IDC_EDITREMOVERADIO) && m_editMode)
            return;
        m_editMode = m_form.GetCheck(IDC_EDITREMOVERADIO);
        m_form.ShowWindow(IDC_PORTNUMBER, false);
        const std::string category = m_form.GetWindowText(IDC_SUBKEYS);
        const bool image = category == T(str::kImageScanner);
        m_form.ShowWindow(IDC_AIMMODECOMBO, image);
        m_form.ShowWindow(IDC_AIMMODELABEL, image);
        if (category == m_select) {
            m_form.ResetContent(IDC_DEVICENAMECOMBO);
            m_form.AddString(IDC_DEVICENAMECOMBO, T(str::kNoDeviceSelected));
            m_form.SetCurSel(IDC_DEVICENAMECOMBO, 0);
            m_form.EnableWindow(IDC_DEVICENAMECOMBO, false);
        } else {
            Initiate(category);
        }
        m_form.EnableMenuItem(ID_FILE_DEVICE_ADDDEVICE, false);
        m_form.EnableMenuItem(ID_FILE_DEVICE_DELETEDEVICE, true);
        m_form.EnableMenuItem(ID_FILE_DEVICE_MODIFYDEVICE, true);
        for (int id : {IDC_REMOVE, IDC_MODIFY, IDC_DEVICENAMELABEL, IDC_DEVICECATEGORYLABEL, IDC_SUBKEYS,
                       IDC_DEVICENAMECOMBO})
            m_form.ShowWindow(id, true);
        for (int id : {IDC_ADDBUTTON, IDC_ENTERDEVICENAME, IDC_DEVICENAMELABEL_ADD})
            m_form.ShowWindow(id, false);
        ResetProperties("-");
        m_form.SetCurSel(IDC_CONNECTIONCOMBO, 0);
        m_form.EnableWindow(IDC_COMPORTCOMBO, false);
    });
}

// ---------------------------------------------------------------- device list and entry format

void CFinal_UIDlg::Initiate(const std::string& category)
{
    log("Initiate", "Entered");
    m_listedCategory = category;
    m_form.ResetContent(IDC_DEVICENAMECOMBO);
    m_form.AddString(IDC_DEVICENAMECOMBO, m_select);
    ScopedKey root(m_registry);
    ScopedKey categoryKey(m_registry);
    if (m_registry.OpenKey(HKEY_LOCAL_MACHINE, kRoot, KEY_ALL_ACCESS, root.out()) != ERROR_SUCCESS ||
        m_registry.OpenKey(root.get(), Latin1FromUtf8(category), KEY_ALL_ACCESS, categoryKey.out()) != ERROR_SUCCESS) {
        OnSelchangeConnectioncomboReset();
        return;
    }
    const std::string maker = lower(kMaker);
    std::string name;
    for (DWORD index = 0; m_registry.EnumKey(categoryKey.get(), index, &name) == ERROR_SUCCESS; ++index) {
        ScopedKey device(m_registry);
        if (m_registry.OpenKey(categoryKey.get(), name, KEY_ALL_ACCESS, device.out()) != ERROR_SUCCESS)
            continue;
        std::string valueName;
        DWORD type = 0;
        std::vector<BYTE> data;
        for (DWORD v = 0; v < kMaxListedValues; ++v) {
            if (m_registry.EnumValue(device.get(), v, &valueName, &type, &data) != ERROR_SUCCESS)
                break;
            if (lower(valueName) == "manufacturer" && type == REG_SZ && lower(szText(data)) == maker) {
                m_form.AddString(IDC_DEVICENAMECOMBO, Utf8FromLatin1(name));
                break;
            }
        }
    }
    if (m_form.GetCount(IDC_DEVICENAMECOMBO) == 1)
        m_form.SetCurSel(IDC_DEVICENAMECOMBO, 0);
}

std::vector<CFinal_UIDlg::Value> CFinal_UIDlg::ReadDeviceValues(const std::string& category, const std::string& name,
                                                                std::size_t limit, bool* opened)
{
    std::vector<Value> values;
    ScopedKey categoryKey(m_registry);
    ScopedKey device(m_registry);
    *opened = m_registry.OpenKey(HKEY_LOCAL_MACHINE, categoryPath(category), KEY_ALL_ACCESS, categoryKey.out()) ==
                  ERROR_SUCCESS &&
              m_registry.OpenKey(categoryKey.get(), Latin1FromUtf8(name), KEY_ALL_ACCESS, device.out()) ==
                  ERROR_SUCCESS;
    if (!*opened)
        return values;
    for (DWORD index = 0; values.size() < limit; ++index) {
        Value value;
        std::vector<BYTE> data;
        const LONG status = m_registry.EnumValue(device.get(), index, &value.name, &value.type, &data);
        if (status != ERROR_SUCCESS) {
            if (status != ERROR_NO_MORE_ITEMS) {
                char text[512] = {};
                FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                               static_cast<DWORD>(status), 0, text, sizeof text, nullptr);
                std::printf("RegEnumValue() %ld failed '%s'!\n\n", static_cast<long>(status), text);
            }
            break;
        }
        if (value.type == REG_SZ)
            value.text = szText(data);
        values.push_back(value);
    }
    return values;
}

void CFinal_UIDlg::DeviceChangeReset()
{
    log("DeviceChangeReset", "Entered");
    const std::string category = m_form.GetWindowText(IDC_SUBKEYS);
    const std::string name = m_form.GetWindowText(IDC_DEVICENAMECOMBO);
    if (isPlaceholderDevice(name) || name.empty())
        return;
    bool opened = false;
    const auto values = ReadDeviceValues(category, name, kMaxDeviceValues, &opened);
    std::string autoDetect;
    for (const Value& value : values)
        if (equalsNoCase(value.name, "AUTODETECT"))
            autoDetect = autoDetectShown(value.text);
    for (const Value& value : values) {
        if (equalsNoCase(value.name, "AUTODETECT")) {
            const std::string shown = autoDetectShown(value.text);
            m_form.SetCurSel(IDC_CONNECTIONCOMBO, m_form.FindStringExact(IDC_CONNECTIONCOMBO, -1, shown));
            m_form.EnableWindow(IDC_COMPORTCOMBO, shown == T(str::kFalse));
        } else if (equalsNoCase(value.name, "PORT") && autoDetect == T(str::kFalse)) {
            const int index = m_form.FindStringExact(IDC_COMPORTCOMBO, -1, value.text);
            if (index != FormModel::CB_ERR && m_form.GetLBText(IDC_COMPORTCOMBO, index) == value.text) {
                m_form.SetCurSel(IDC_COMPORTCOMBO, index);
            } else {
                m_form.SetWindowText(IDC_PORTNUMBER, T(str::kPortNote) + (value.text.empty() ? "null" : value.text));
                m_form.ShowWindow(IDC_PORTNUMBER, true);
            }
        } else if (equalsNoCase(value.name, "COMMANDTIMEOUT")) {
            m_form.SetWindowText(IDC_TIMEOUTCOMBO, value.text);
        } else if (equalsNoCase(value.name, "MAXIMUMTIMEOUT")) {
            m_form.SetWindowText(IDC_INFINITECOMBO, value.text);
        } else if (equalsNoCase(value.name, "AIMMODE")) {
            m_form.SetCurSel(IDC_AIMMODECOMBO, m_form.FindStringExact(IDC_AIMMODECOMBO, -1, value.text));
        }
    }
}

void CFinal_UIDlg::OnDeleteKeys()
{
    log("OnDeleteKeys", "Entered");
    const int port = m_form.FindStringExact(IDC_COMPORTCOMBO, -1, m_improper);
    if (port != FormModel::CB_ERR)
        m_form.DeleteString(IDC_COMPORTCOMBO, port);
    const int autoDetect = m_form.FindString(IDC_CONNECTIONCOMBO, -1, m_improper);
    if (autoDetect != FormModel::CB_ERR)
        m_form.DeleteString(IDC_CONNECTIONCOMBO, autoDetect);
}

// Writes one value of a new entry: creates (or opens) the device key, sets
// the value and names the category's service object in the default value.
void CFinal_UIDlg::InsertValues(const std::string& valueName, const std::string& data, const std::string& category,
                                const std::string& name, bool isDword, bool* createdKey)
{
    log("InsertValues", "Entered");
    const std::string path = std::string(kRoot) + "\\" + category + "\\" + Latin1FromUtf8(name) + "\\";
    {
        ScopedKey key(m_registry);
        bool created = false;
        LONG status = m_registry.CreateKey(HKEY_LOCAL_MACHINE, path, KEY_ALL_ACCESS, key.out(), &created);
        if (status != ERROR_SUCCESS)
            throw RegistryFailure{status};
        *createdKey = *createdKey || created;
        if (data != kMaker && isDword) {
            const DWORD number = static_cast<DWORD>(ToInt32(data));
            status = m_registry.SetValue(key.get(), valueName, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                                         sizeof number);
        } else {
            status = m_registry.SetValue(key.get(), valueName, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                         static_cast<DWORD>(data.size() + 1));
        }
        if (status != ERROR_SUCCESS)
            throw RegistryFailure{status};
    }
    ScopedKey key(m_registry);
    LONG status = m_registry.OpenKey(HKEY_LOCAL_MACHINE, path, KEY_QUERY_VALUE | KEY_SET_VALUE, key.out());
    if (status != ERROR_SUCCESS)
        throw RegistryFailure{status};
    const std::string progId = progIdOf(category);
    if (!progId.empty()) {
        status = m_registry.SetValue(key.get(), "", REG_SZ, reinterpret_cast<const BYTE*>(progId.c_str()),
                                     static_cast<DWORD>(progId.size() + 1));
        if (status != ERROR_SUCCESS)
            throw RegistryFailure{status};
    }
}

// Opens the category and device keys, writes one value (a text or a
// number; with `onlyWhenMissing`, only when the key lacks it) and closes them.
void CFinal_UIDlg::WriteDeviceValue(const std::string& category, const std::string& name,
                                    const std::string& valueName, const std::string* text, const DWORD* number,
                                    bool onlyWhenMissing)
{
    ScopedKey categoryKey(m_registry);
    ScopedKey device(m_registry);
    LONG status = m_registry.OpenKey(HKEY_LOCAL_MACHINE, categoryPath(category), KEY_ALL_ACCESS, categoryKey.out());
    if (status == ERROR_SUCCESS)
        status = m_registry.OpenKey(categoryKey.get(), Latin1FromUtf8(name), KEY_ALL_ACCESS, device.out());
    if (status != ERROR_SUCCESS)
        throw RegistryFailure{status};
    if (onlyWhenMissing) {
        status = m_registry.QueryValue(device.get(), valueName, nullptr, nullptr);
        if (status == ERROR_SUCCESS)
            return;
        if (status != ERROR_FILE_NOT_FOUND)
            throw RegistryFailure{status};
    }
    if (text != nullptr)
        status = m_registry.SetValue(device.get(), valueName, REG_SZ, reinterpret_cast<const BYTE*>(text->c_str()),
                                     static_cast<DWORD>(text->size() + 1));
    else
        status = m_registry.SetValue(device.get(), valueName, REG_DWORD, reinterpret_cast<const BYTE*>(number),
                                     sizeof *number);
    if (status != ERROR_SUCCESS)
        throw RegistryFailure{status};
}

void CFinal_UIDlg::DeleteDeviceValue(const std::string& category, const std::string& name,
                                     const std::string& valueName)
{
    ScopedKey categoryKey(m_registry);
    ScopedKey device(m_registry);
    LONG status = m_registry.OpenKey(HKEY_LOCAL_MACHINE, categoryPath(category), KEY_ALL_ACCESS, categoryKey.out());
    if (status == ERROR_SUCCESS)
        status = m_registry.OpenKey(categoryKey.get(), Latin1FromUtf8(name), KEY_ALL_ACCESS, device.out());
    if (status == ERROR_SUCCESS) {
        status = m_registry.DeleteValue(device.get(), valueName);
        if (status == ERROR_FILE_NOT_FOUND)
            status = ERROR_SUCCESS;
    }
    if (status != ERROR_SUCCESS)
        throw RegistryFailure{status};
}

// ---------------------------------------------------------------- add

int CFinal_UIDlg::CheckUniqueness(const std::string& category, const std::string& name)
{
    log("CheckUniqueness", "Entered");
    ScopedKey root(m_registry);
    ScopedKey categoryKey(m_registry);
    if (m_registry.OpenKey(HKEY_LOCAL_MACHINE, kRoot, KEY_ALL_ACCESS, root.out()) != ERROR_SUCCESS ||
        m_registry.OpenKey(root.get(), category, KEY_ALL_ACCESS, categoryKey.out()) != ERROR_SUCCESS)
        return 1;
    // Every device of the category counts, however many there are: a name
    // past a list's end would overwrite a device.
    const std::string wanted = Latin1FromUtf8(name);
    std::string existing;
    for (DWORD index = 0; m_registry.EnumKey(categoryKey.get(), index, &existing) == ERROR_SUCCESS; ++index) {
        if (equalsNoCase(existing, wanted)) {
            m_host.ShowMessage(T(str::kMsgNameExists), 0);
            m_form.SetFocus(IDC_ENTERDEVICENAME);
            return 0;
        }
    }
    return 1;
}

void CFinal_UIDlg::OnAddbutton()
{
    handler("OnAddbutton", [&] {
        if (m_form.GetCheck(IDC_EDITREMOVERADIO))
            return;
        const std::string category = m_form.GetWindowText(IDC_SUBKEYS);
        if (category.empty() || equalsNoCase(category, m_select)) {
            m_host.ShowMessage(T(str::kMsgSelectType), 0);
            m_form.SetFocus(IDC_SUBKEYS);
            return;
        }
        const std::string typed = m_form.GetWindowText(IDC_ENTERDEVICENAME);
        if (typed.empty() || typed == T(str::kEnterTheName)) {
            m_host.ShowMessage(T(str::kMsgSpecifyName), 0);
            m_form.SetFocus(IDC_ENTERDEVICENAME);
            return;
        }
        // Trailing white space goes once; the checks and the entry use the result.
        const std::string name = TrimRight(typed);
        const int nameCheck = CheckString(name);
        if (nameCheck == 1) {
            m_host.ShowMessage(T(str::kMsgNameBlank), 0);
            m_form.SetFocus(IDC_ENTERDEVICENAME);
            return;
        }
        if (nameCheck == 2) {
            m_host.ShowMessage(T(str::kMsgNameBackslash), 0);
            m_form.SetSelectAll(IDC_ENTERDEVICENAME);
            m_form.SetFocus(IDC_ENTERDEVICENAME);
            return;
        }
        const std::string timeout = m_form.GetWindowText(IDC_TIMEOUTCOMBO);
        const std::string maxTimeout = m_form.GetWindowText(IDC_INFINITECOMBO);
        const std::string aimMode = m_form.GetWindowText(IDC_AIMMODECOMBO);
        if (CheckUniqueness(category, name) == 0)
            return;
        const std::string autoDetect = m_form.GetWindowText(IDC_CONNECTIONCOMBO);
        if (autoDetect.empty()) {
            m_host.ShowMessage(T(str::kMsgConnectionType), 0);
            return;
        }
        const std::string port = m_form.GetWindowText(IDC_COMPORTCOMBO);
        if ((port.empty() || port == m_select) && autoDetect != T(str::kTrue)) {
            m_host.ShowMessage(T(str::kMsgMissingFields), 0);
            m_form.SetFocus(IDC_COMPORTCOMBO);
            return;
        }
        if (!port.empty() && port != m_select && port != m_improper && !IsValidTypedPort(port)) {
            m_host.ShowMessage(T(str::kMsgInvalidPort), 0);
            m_form.SetFocus(IDC_COMPORTCOMBO);
            return;
        }
        const int timeoutValue = ToInt32(timeout);
        if (timeoutValue < 10000 || timeoutValue > 30000 || CheckTimeout(timeout) == 0) {
            m_host.ShowMessage(T(str::kMsgTimeoutRange), 1);
            m_form.SetFocus(IDC_TIMEOUTCOMBO);
            return;
        }
        const double maxValue = ToDouble(maxTimeout);
        if (maxValue <= 59999 || maxValue > 4294967296.0 || CheckTimeout(maxTimeout) == 0) {
            m_host.ShowMessage(T(str::kMsgMaxTimeoutRange), 1);
            m_form.SetFocus(IDC_INFINITECOMBO);
            return;
        }

        bool created = false;
        try {
            const std::string portValue = autoDetect == T(str::kFalse) ? port : "COM1";
            InsertValues("PORT", portValue, category, name, false, &created);
            InsertValues("AUTODETECT", autoDetectStored(autoDetect), category, name, false, &created);
            InsertValues("MANUFACTURER", kMaker, category, name, false, &created);
            InsertValues("COMMANDTIMEOUT", timeout, category, name, false, &created);
            InsertValues("MAXIMUMTIMEOUT", maxTimeout, category, name, false, &created);
            InsertValues(T(str::kClaimTimeoutName), T(str::kClaimTimeoutDefault), category, name, false, &created);
            InsertValues(T(str::kScanDataOptionName), T(str::kScanDataOptionDefault), category, name, true, &created);
            InsertValues(T(str::kDecodeGs1Name), T(str::kDecodeGs1Default), category, name, true, &created);
            if (category == T(str::kImageScanner))
                InsertValues("AIMMODE", aimMode, category, name, false, &created);
        } catch (const RegistryFailure& failure) {
            // A half-written entry would never be listed (no MANUFACTURER),
            // so never removable, and its name refused for ever: take it away.
            if (created) {
                ScopedKey categoryKey(m_registry);
                if (m_registry.OpenKey(HKEY_LOCAL_MACHINE, std::string(kRoot) + "\\" + category, KEY_ALL_ACCESS,
                                       categoryKey.out()) == ERROR_SUCCESS)
                    m_registry.DeleteKey(categoryKey.get(), Latin1FromUtf8(name));
            }
            ShowRegistryFailure(str::kMsgSaveFailed, failure.code);
            throw;
        }
        PostMessageW(HWND_BROADCAST, AddDeviceMessage(), 1, 1);
        m_host.ShowMessage(T(str::kMsgAdded), 3);
        m_form.ResetContent(IDC_DEVICENAMECOMBO);
        m_form.SetWindowText(IDC_ENTERDEVICENAME, T(str::kEnterTheName));
        ResetProperties(std::string());
        m_form.SetFocus(IDC_ADDDEVICERADIO);
    });
}

// ---------------------------------------------------------------- modify, save, prompt

bool CFinal_UIDlg::CheckModifyForm(const std::string& category)
{
    const std::string port = m_form.GetWindowText(IDC_COMPORTCOMBO);
    const std::string autoDetect = m_form.GetWindowText(IDC_CONNECTIONCOMBO);
    const std::string timeout = m_form.GetWindowText(IDC_TIMEOUTCOMBO);
    const std::string maxTimeout = m_form.GetWindowText(IDC_INFINITECOMBO);
    const std::string aimMode = m_form.GetWindowText(IDC_AIMMODECOMBO);
    const bool scanner = category == T(str::kScanner);
    const bool image = category == T(str::kImageScanner);
    if (scanner || image) {
        auto placeholder = [&](const std::string& text) { return text == m_improper || text == m_select; };
        const std::pair<int, bool> fields[] = {
            {IDC_COMPORTCOMBO,
             port == m_improper || port.empty() || (port == m_select && autoDetect == T(str::kFalse))},
            {IDC_CONNECTIONCOMBO, scanner && (placeholder(autoDetect) || autoDetect.empty())},
            {IDC_TIMEOUTCOMBO, placeholder(timeout)},
            {IDC_INFINITECOMBO, placeholder(maxTimeout)},
            {IDC_AIMMODECOMBO, image && placeholder(aimMode)},
        };
        for (const auto& [id, missing] : fields) {
            if (missing) {
                m_host.ShowMessage(T(str::kMsgMissingFields), 0);
                m_form.SetFocus(id);
                return false;
            }
        }
    }
    if (!port.empty() && port != m_select && port != m_improper && !IsValidTypedPort(port)) {
        m_host.ShowMessage(T(str::kMsgInvalidPort), 0);
        m_form.SetFocus(IDC_COMPORTCOMBO);
        return false;
    }
    const int timeoutValue = ToInt32(timeout);
    if (timeoutValue < 10000 || timeoutValue > 30000 || CheckTimeout(timeout) == 0) {
        m_host.ShowMessage(T(str::kMsgTimeoutRange), 0);
        m_form.SetFocus(IDC_TIMEOUTCOMBO);
        return false;
    }
    const double maxValue = ToDouble(maxTimeout);
    if (maxValue <= 59999 || maxValue > 4294967296.0 || CheckTimeout(maxTimeout) == 0) {
        m_host.ShowMessage(T(str::kMsgMaxTimeoutRange), 0);
        m_form.SetFocus(IDC_INFINITECOMBO);
        return false;
    }
    return true;
}

void CFinal_UIDlg::OnModifyValues()
{
    handler("OnModifyValues", [&] {
        if (!m_form.GetCheck(IDC_EDITREMOVERADIO))
            return;
        const std::string name = m_form.GetWindowText(IDC_DEVICENAMECOMBO);
        if (name == T(str::kNoDeviceExists)) {
            m_host.ShowMessage(T(str::kMsgNoDeviceToModify), 0);
            return;
        }
        if (name.empty() || name == m_select) {
            m_host.ShowMessage(T(str::kMsgSelectName), 0);
            m_form.SetFocus(IDC_DEVICENAMECOMBO);
            return;
        }
        const std::string category = m_form.GetWindowText(IDC_SUBKEYS);
        {
            ScopedKey categoryKey(m_registry);
            ScopedKey device(m_registry);
            const LONG status =
                m_registry.OpenKey(HKEY_LOCAL_MACHINE, categoryPath(category), KEY_ALL_ACCESS, categoryKey.out());
            if (status != ERROR_SUCCESS) {
                ShowRegistryFailure(str::kMsgSaveFailed, status);
                throw RegistryFailure{status};
            }
            if (m_registry.OpenKey(categoryKey.get(), Latin1FromUtf8(name), KEY_ALL_ACCESS, device.out()) !=
                ERROR_SUCCESS) {
                // The device has gone meanwhile.
                Initiate(category);
                ResetProperties(std::string());
                return;
            }
        }
        if (!CheckModifyForm(category))
            return;
        try {
            OnDeleteKeys();
            const std::string autoDetect = m_form.GetWindowText(IDC_CONNECTIONCOMBO);
            const std::string port = autoDetect == T(str::kFalse) ? m_form.GetWindowText(IDC_COMPORTCOMBO) : "COM1";
            const std::string timeout = m_form.GetWindowText(IDC_TIMEOUTCOMBO);
            const std::string maxTimeout = m_form.GetWindowText(IDC_INFINITECOMBO);
            const std::string claim = T(str::kClaimTimeoutDefault);
            const DWORD zero = 0;
            const std::string stored = autoDetectStored(autoDetect);
            DeleteDeviceValue(category, name, "AUTODETECT");
            WriteDeviceValue(category, name, "AUTODETECT", &stored, nullptr, false);
            WriteDeviceValue(category, name, "PORT", &port, nullptr, false);
            WriteDeviceValue(category, name, "COMMANDTIMEOUT", &timeout, nullptr, false);
            WriteDeviceValue(category, name, "MAXIMUMTIMEOUT", &maxTimeout, nullptr, false);
            WriteDeviceValue(category, name, T(str::kClaimTimeoutName), &claim, nullptr, true);
            WriteDeviceValue(category, name, T(str::kScanDataOptionName), nullptr, &zero, true);
            WriteDeviceValue(category, name, T(str::kDecodeGs1Name), nullptr, &zero, true);
            if (category == T(str::kImageScanner)) {
                const std::string aimMode = m_form.GetWindowText(IDC_AIMMODECOMBO);
                WriteDeviceValue(category, name, "AIMMODE", &aimMode, nullptr, false);
            }
        } catch (const RegistryFailure& failure) {
            // Shown, and no success follows: the change stays pending.
            ShowRegistryFailure(str::kMsgSaveFailed, failure.code);
            throw;
        }
        if (m_pending || m_autoDetectChanged) {
            m_host.ShowMessage(T(str::kMsgModified), 3);
            m_pending = false;
            m_autoDetectChanged = false;
            RemoveValuenotFoundString();
            m_form.ShowWindow(IDC_PORTNUMBER, false);
            m_form.SetFocus(IDC_MODIFY);
        } else {
            m_host.ShowMessage(T(str::kMsgNoChanges), 3);
            RemoveValuenotFoundString();
            m_form.ShowWindow(IDC_PORTNUMBER, false);
            m_pending = false;
            Initiate(category);
            m_form.SetCurSel(IDC_DEVICENAMECOMBO, m_form.FindStringExact(IDC_DEVICENAMECOMBO, -1, name));
            m_form.SetFocus(IDC_MODIFY);
        }
    });
}

int CFinal_UIDlg::Savechanges()
{
    log("Savechanges", "Entered");
    const std::string name = m_form.GetWindowText(IDC_DEVICENAMECOMBO);
    const std::string category = m_form.GetWindowText(IDC_SUBKEYS);
    if (name == T(str::kNoDeviceExists))
        return 1;
    if (category.empty() || equalsNoCase(category, m_select)) {
        m_host.ShowMessage(T(str::kMsgSelectType), 0);
        m_form.SetFocus(IDC_SUBKEYS);
        return 0;
    }
    if (name.empty() || name == m_select) {
        m_host.ShowMessage(T(str::kMsgSelectName), 0);
        m_form.SetFocus(IDC_DEVICENAMECOMBO);
        return 0;
    }
    try {
        {
            ScopedKey categoryKey(m_registry);
            ScopedKey device(m_registry);
            const LONG status =
                m_registry.OpenKey(HKEY_LOCAL_MACHINE, categoryPath(category), KEY_ALL_ACCESS, categoryKey.out());
            if (status != ERROR_SUCCESS)
                throw RegistryFailure{status};
            if (m_registry.OpenKey(categoryKey.get(), Latin1FromUtf8(name), KEY_ALL_ACCESS, device.out()) !=
                ERROR_SUCCESS) {
                // Deleted meanwhile: nothing to save, the list is rebuilt.
                Initiate(category);
                ResetProperties("TRUE");
                return 1;
            }
        }
        if (!CheckModifyForm(category))
            return 0;
        OnDeleteKeys();
        const std::string autoDetect = m_form.GetWindowText(IDC_CONNECTIONCOMBO);
        const std::string port = autoDetect == T(str::kFalse) ? m_form.GetWindowText(IDC_COMPORTCOMBO) : "COM1";
        const std::string timeout = m_form.GetWindowText(IDC_TIMEOUTCOMBO);
        const std::string maxTimeout = m_form.GetWindowText(IDC_INFINITECOMBO);
        const std::string stored = autoDetectStored(autoDetect);
        DeleteDeviceValue(category, name, "AUTODETECT");
        WriteDeviceValue(category, name, "AUTODETECT", &stored, nullptr, false);
        WriteDeviceValue(category, name, "PORT", &port, nullptr, false);
        WriteDeviceValue(category, name, "COMMANDTIMEOUT", &timeout, nullptr, false);
        WriteDeviceValue(category, name, "MAXIMUMTIMEOUT", &maxTimeout, nullptr, false);
        if (category == T(str::kImageScanner)) {
            const std::string aimMode = m_form.GetWindowText(IDC_AIMMODECOMBO);
            WriteDeviceValue(category, name, "AIMMODE", &aimMode, nullptr, false);
        }
        ScopedKey key(m_registry);
        LONG status = m_registry.CreateKey(HKEY_LOCAL_MACHINE, categoryPath(category) + "\\" + Latin1FromUtf8(name) + "\\",
                                           KEY_ALL_ACCESS, key.out(), nullptr);
        const std::string progId = progIdOf(category);
        if (status == ERROR_SUCCESS && !progId.empty())
            status = m_registry.SetValue(key.get(), "", REG_SZ, reinterpret_cast<const BYTE*>(progId.c_str()),
                                         static_cast<DWORD>(progId.size() + 1));
        if (status != ERROR_SUCCESS)
            throw RegistryFailure{status};
    } catch (const RegistryFailure& failure) {
        log("Savechanges", "SavechangesRegOpenKeyEx");
        ShowRegistryFailure(str::kMsgSaveFailed, failure.code);
        return 0;
    }
    m_host.ShowMessage(T(str::kMsgModified), 3);
    return 1;
}

int CFinal_UIDlg::ChangePopup()
{
    log("changepopup", "Entered");
    if (!m_pending)
        return 4;
    m_form.SetCurSel(IDC_DEVICENAMECOMBO, m_form.FindStringExact(IDC_DEVICENAMECOMBO, -1, m_lastDevice));
    const int choice = m_host.AskSaveChanges(upper(m_lastDevice));
    switch (choice) {
    case 3:
        return 3;
    case 2:
        m_pending = false;
        return 2;
    case 1:
        if (Savechanges() == 1) {
            m_pending = false;
            return 1;
        }
        return 5;
    default:
        m_pending = false;
        return 4;
    }
}

// ---------------------------------------------------------------- remove

void CFinal_UIDlg::OnRemove()
{
    handler("OnRemove", [&] {
        if (!m_form.GetCheck(IDC_EDITREMOVERADIO))
            return;
        const std::string name = m_form.GetWindowText(IDC_DEVICENAMECOMBO);
        if (name == T(str::kNoDeviceExists)) {
            m_host.ShowMessage(T(str::kMsgNoDeviceForType), 0);
            return;
        }
        const std::string category = m_form.GetWindowText(IDC_SUBKEYS);
        if (category.empty() || equalsNoCase(category, m_select)) {
            m_host.ShowMessage(T(str::kMsgSelectType), 0);
            m_form.SetFocus(IDC_SUBKEYS);
            return;
        }
        if (name.empty() || name == m_select) {
            m_host.ShowMessage(T(str::kMsgSelectName), 0);
            m_form.SetFocus(IDC_DEVICENAMECOMBO);
            return;
        }
        ScopedKey root(m_registry);
        ScopedKey categoryKey(m_registry);
        LONG status = m_registry.OpenKey(HKEY_LOCAL_MACHINE, kRoot, KEY_ALL_ACCESS, root.out());
        if (status == ERROR_SUCCESS)
            status = m_registry.OpenKey(root.get(), category, KEY_ALL_ACCESS, categoryKey.out());
        if (status != ERROR_SUCCESS) {
            ShowRegistryFailure(str::kMsgRemoveFailed, status);
            throw RegistryFailure{status};
        }
        if (!m_host.ConfirmRemove())
            return;
        status = m_registry.DeleteKey(categoryKey.get(), Latin1FromUtf8(name));
        // A key someone else removed already is as good as removed.
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
            ShowRegistryFailure(str::kMsgRemoveFailed, status);
            throw RegistryFailure{status};
        }
        categoryKey.reset();
        m_pending = false;
        RemoveValuenotFoundString();
        m_form.ShowWindow(IDC_PORTNUMBER, false);
        PostMessageW(HWND_BROADCAST, AddDeviceMessage(), 1, 1);
        ResetProperties(std::string());
        m_form.SetWindowText(IDC_TIMEOUTCOMBO, T(str::kDefaultTimeout));
        m_form.EnableWindow(IDC_DEVICENAMECOMBO, true);
        Initiate(T(str::kScanner));
        m_form.ShowWindow(IDC_AIMMODECOMBO, false);
        m_form.ShowWindow(IDC_AIMMODELABEL, false);
        m_category = m_select;
        m_form.SetFocus(IDC_SUBKEYS);
        m_host.ShowMessage(T(str::kMsgRemoved), 3);
    });
}

// ---------------------------------------------------------------- selections

void CFinal_UIDlg::OnSelchangeDevicenamecombo()
{
    handler("OnSelchangeDevicenamecombo", [&] {
        m_form.ShowWindow(IDC_PORTNUMBER, false);
        RemoveValuenotFoundString();
        const std::string chosen = m_form.GetWindowText(IDC_DEVICENAMECOMBO);
        if (m_editMode) {
            if (m_lastDevice == m_select)
                m_lastDevice = chosen;
            const int outcome = ChangePopup();
            if (outcome == 3 || outcome == 5)
                return;
            m_form.SetCurSel(IDC_DEVICENAMECOMBO, m_form.FindStringExact(IDC_DEVICENAMECOMBO, -1, chosen));
            m_lastDevice = chosen;
            m_pending = false;
        }
        const std::string category = m_form.GetWindowText(IDC_SUBKEYS);
        bool opened = false;
        const auto values = ReadDeviceValues(category, chosen, kMaxDeviceValues, &opened);
        if (!opened)
            log("OnSelchangeDevicenamecombo", "RegOpen");
        std::string autoDetect;
        for (const Value& value : values)
            if (equalsNoCase(value.name, "AUTODETECT"))
                autoDetect = autoDetectShown(value.text);
        ResetProperties(autoDetect);

        auto improper = [&](int id) {
            int index = m_form.FindStringExact(id, -1, m_improper);
            if (index == FormModel::CB_ERR)
                index = m_form.AddString(id, m_improper);
            m_form.SetCurSel(id, index);
        };
        bool hasTimeout = false;
        bool hasMaxTimeout = false;
        bool hasAimMode = false;
        for (const Value& value : values) {
            if (equalsNoCase(value.name, "PORT") && autoDetect == T(str::kFalse)) {
                int index = FormModel::CB_ERR;
                for (int i = 0; i < m_form.GetCount(IDC_COMPORTCOMBO); ++i)
                    if (m_form.GetLBText(IDC_COMPORTCOMBO, i) == value.text)
                        index = i;
                if (index != FormModel::CB_ERR) {
                    m_form.SetCurSel(IDC_COMPORTCOMBO, index);
                } else {
                    improper(IDC_COMPORTCOMBO);
                    m_form.SetWindowText(IDC_PORTNUMBER,
                                         T(str::kPortNote) + (value.text.empty() ? "null" : value.text));
                    m_form.ShowWindow(IDC_PORTNUMBER, true);
                }
            } else if (equalsNoCase(value.name, "COMMANDTIMEOUT")) {
                hasTimeout = true;
                const int number = ToInt32(value.text);
                if (number >= 10000 && number <= 30000)
                    m_form.SetWindowText(IDC_TIMEOUTCOMBO, value.text);
                else
                    improper(IDC_TIMEOUTCOMBO);
            } else if (equalsNoCase(value.name, "MAXIMUMTIMEOUT")) {
                hasMaxTimeout = true;
                const double number = ToDouble(value.text);
                if (number >= 60000 && number <= 4294967296.0)
                    m_form.SetWindowText(IDC_INFINITECOMBO, value.text);
                else
                    improper(IDC_INFINITECOMBO);
            } else if (equalsNoCase(value.name, "AIMMODE")) {
                hasAimMode = true;
                const int index = m_form.FindStringExact(IDC_AIMMODECOMBO, -1, value.text);
                if (index != FormModel::CB_ERR)
                    m_form.SetCurSel(IDC_AIMMODECOMBO, index);
                else
                    improper(IDC_AIMMODECOMBO);
            }
        }
        const std::pair<int, bool> present[] = {
            {IDC_AIMMODECOMBO, hasAimMode}, {IDC_INFINITECOMBO, hasMaxTimeout}, {IDC_TIMEOUTCOMBO, hasTimeout}};
        for (const auto& [id, has] : present) {
            if (has)
                continue;
            int index = m_form.FindStringExact(id, -1, m_select);
            if (index == FormModel::CB_ERR)
                index = m_form.InsertString(id, 0, m_select);
            m_form.SetCurSel(id, index);
        }
    });
}

void CFinal_UIDlg::OnSelchangeSubkeys()
{
    handler("OnSelchangeSubkeys", [&] {
        const std::string category = m_form.GetWindowText(IDC_SUBKEYS);
        if (category == m_category)
            return;
        if (m_editMode && !isPlaceholderDevice(m_form.GetWindowText(IDC_DEVICENAMECOMBO))) {
            // The prompt saves the device shown, which belongs to the
            // category its list was filled for, not to the new choice.
            m_form.SetCurSel(IDC_SUBKEYS, m_form.FindStringExact(IDC_SUBKEYS, -1, m_listedCategory));
            const int outcome = ChangePopup();
            if (outcome == 3 || outcome == 5)
                return;
        }
        m_form.ShowWindow(IDC_PORTNUMBER, false);
        const bool image = category == T(str::kImageScanner);
        m_form.ShowWindow(IDC_AIMMODECOMBO, image);
        m_form.ShowWindow(IDC_AIMMODELABEL, image);
        m_category = category;
        m_form.SetCurSel(IDC_SUBKEYS, m_form.FindStringExact(IDC_SUBKEYS, -1, category));
        if (category != m_select)
            Initiate(category);
        m_form.SetCurSel(IDC_TIMEOUTCOMBO, m_form.FindStringExact(IDC_TIMEOUTCOMBO, -1, T(str::kDefaultTimeout)));
        m_form.SetCurSel(IDC_INFINITECOMBO,
                         m_form.FindStringExact(IDC_INFINITECOMBO, -1, T(str::kDefaultMaxTimeout)));
        m_form.SetCurSel(IDC_AIMMODECOMBO, m_form.FindStringExact(IDC_AIMMODECOMBO, -1, T(str::kAimOff)));
        m_pending = false;
    });
}

void CFinal_UIDlg::OnSelchangeConnectioncombo()
{
    handler("OnSelchangeConnectioncombo", [&] {
        const std::string choice = m_form.GetWindowText(IDC_CONNECTIONCOMBO);
        if (choice == T(str::kTrue)) {
            m_form.EnableWindow(IDC_COMPORTCOMBO, false);
            int index = m_form.FindStringExact(IDC_COMPORTCOMBO, -1, m_select);
            if (index == FormModel::CB_ERR)
                index = m_form.InsertString(IDC_COMPORTCOMBO, 0, m_select);
            m_form.SetCurSel(IDC_COMPORTCOMBO, index);
            m_form.SetWindowText(IDC_PORTNUMBER, std::string());
            m_form.ShowWindow(IDC_PORTNUMBER, false);
        } else {
            m_form.EnableWindow(IDC_COMPORTCOMBO, true);
            FillPortList();
            m_form.SetCurSel(IDC_COMPORTCOMBO, m_form.FindStringExact(IDC_COMPORTCOMBO, -1, m_select));
        }
        const int placeholder = m_form.FindStringExact(IDC_CONNECTIONCOMBO, -1, m_select);
        if (placeholder != FormModel::CB_ERR && placeholder != m_form.GetCurSel(IDC_CONNECTIONCOMBO)) {
            m_form.DeleteString(IDC_CONNECTIONCOMBO, placeholder);
            m_autoDetectChanged = true;
        }
        if (!m_editMode) {
            if (m_form.GetWindowText(IDC_ENTERDEVICENAME).empty())
                m_form.SetWindowText(IDC_ENTERDEVICENAME, T(str::kEnterTheName));
        } else if (isPlaceholderDevice(m_form.GetWindowText(IDC_DEVICENAMECOMBO))) {
            ResetProperties(choice);
        } else {
            m_pending = true;
        }
    });
}

// A change of a list or its text: the placeholders go once a real entry
// is chosen, and a change of a real device in edit/remove mode is pending.
void CFinal_UIDlg::OnFieldChanged(int id, bool selectionChanged)
{
    if (selectionChanged) {
        const std::string chosen = m_form.GetWindowText(id);
        if (chosen != m_select && chosen != m_improper) {
            for (const std::string& placeholder : {m_select, m_improper}) {
                const int index = m_form.FindStringExact(id, -1, placeholder);
                if (index != FormModel::CB_ERR && index != m_form.GetCurSel(id))
                    m_form.DeleteString(id, index);
            }
        }
    }
    const std::string device = m_form.GetWindowText(IDC_DEVICENAMECOMBO);
    if (m_form.GetCheck(IDC_EDITREMOVERADIO) && m_form.GetWindowText(IDC_SUBKEYS) != m_select && !device.empty() &&
        !isPlaceholderDevice(device))
        m_pending = true;
}

void CFinal_UIDlg::OnSelchangeComportcombo()
{
    handler("OnSelchangeComportcombo", [&] { OnFieldChanged(IDC_COMPORTCOMBO, true); });
}

void CFinal_UIDlg::OnSelchangeTimeoutcombo()
{
    handler("OnSelchangeTimeoutcombo", [&] { OnFieldChanged(IDC_TIMEOUTCOMBO, true); });
}

void CFinal_UIDlg::OnSelchangeInfinitecombo()
{
    handler("OnSelchangeInfinitecombo", [&] { OnFieldChanged(IDC_INFINITECOMBO, true); });
}

void CFinal_UIDlg::OnSelchangeAimmodecombo()
{
    handler("OnSelchangeAimmodecombo", [&] { OnFieldChanged(IDC_AIMMODECOMBO, true); });
}

void CFinal_UIDlg::OnEditchangeTimeoutcombo()
{
    handler("OnEditchangeTimeoutcombo", [&] { OnFieldChanged(IDC_TIMEOUTCOMBO, false); });
}

void CFinal_UIDlg::OnEditchangeInfinitecombo()
{
    handler("OnEditchangeInfinitecombo", [&] { OnFieldChanged(IDC_INFINITECOMBO, false); });
}

void CFinal_UIDlg::OnEditupdateComportcombo()
{
    handler("OnEditupdateComportcombo", [&] { OnFieldChanged(IDC_COMPORTCOMBO, false); });
}

void CFinal_UIDlg::RemovePlaceholderOnDropdown(int id)
{
    bool removed = false;
    for (const std::string& placeholder : {m_select, m_improper}) {
        const int index = m_form.FindString(id, -1, placeholder);
        if (index != FormModel::CB_ERR) {
            m_form.DeleteString(id, index);
            removed = true;
        }
    }
    if (removed)
        m_form.SetCurSel(id, 0);
}

void CFinal_UIDlg::OnDropdownConnectioncombo()
{
    handler("OnDropdownConnectioncombo", [&] { RemovePlaceholderOnDropdown(IDC_CONNECTIONCOMBO); });
}

void CFinal_UIDlg::OnDropdownTimeoutcombo()
{
    handler("OnDropdownTimeoutcombo", [&] { RemovePlaceholderOnDropdown(IDC_TIMEOUTCOMBO); });
}

void CFinal_UIDlg::OnDropdownInfinitecombo()
{
    handler("OnDropdownInfinitecombo", [&] { RemovePlaceholderOnDropdown(IDC_INFINITECOMBO); });
}

void CFinal_UIDlg::OnDropdownComportcombo()
{
    handler("OnDropdownComportcombo", [&] {
        const std::string shown = m_form.GetWindowText(IDC_COMPORTCOMBO);
        m_form.ShowWindow(IDC_PORTNUMBER, false);
        FillPortList();
        const int index = m_form.FindStringExact(IDC_COMPORTCOMBO, -1, shown);
        if (index != FormModel::CB_ERR)
            m_form.SetCurSel(IDC_COMPORTCOMBO, index);
    });
}

void CFinal_UIDlg::OnDropdownDevicenamecombo()
{
    handler("OnDropdownDevicenamecombo", [&] { Initiate(m_form.GetWindowText(IDC_SUBKEYS)); });
}

void CFinal_UIDlg::OnSetfocusEnterdevicename()
{
    handler("OnSetfocusEnterdevicename", [&] {
        if (m_form.GetWindowText(IDC_ENTERDEVICENAME) == T(str::kEnterTheName))
            m_form.SetWindowText(IDC_ENTERDEVICENAME, std::string());
    });
}

// ---------------------------------------------------------------- form upkeep

void CFinal_UIDlg::FillPortList()
{
    m_form.ResetContent(IDC_COMPORTCOMBO);
    m_form.InsertString(IDC_COMPORTCOMBO, 0, m_select);
    for (const std::string& entry : PortListEntries(m_dosDevices))
        m_form.AddString(IDC_COMPORTCOMBO, entry);
}

void CFinal_UIDlg::ResetProperties(const std::string& shownAutoDetect)
{
    log("ResetProperties", "Entered");
    m_form.ShowWindow(IDC_COMPORT, true);
    m_form.ShowWindow(IDC_COMPORTCOMBO, true);
    int index = m_form.FindStringExact(IDC_COMPORTCOMBO, -1, m_select);
    if (index == FormModel::CB_ERR)
        index = m_form.InsertString(IDC_COMPORTCOMBO, 0, m_select);
    m_form.SetCurSel(IDC_COMPORTCOMBO, index);
    const bool known = shownAutoDetect == T(str::kTrue) || shownAutoDetect == T(str::kFalse);
    const std::string choice = known ? shownAutoDetect : T(str::kTrue);
    m_form.SetCurSel(IDC_CONNECTIONCOMBO, m_form.FindStringExact(IDC_CONNECTIONCOMBO, -1, choice));
    m_form.EnableWindow(IDC_COMPORTCOMBO, choice == T(str::kFalse));
    m_form.SetCurSel(IDC_AIMMODECOMBO, m_form.FindStringExact(IDC_AIMMODECOMBO, -1, T(str::kAimOff)));
    m_form.SetCurSel(IDC_INFINITECOMBO, m_form.FindStringExact(IDC_INFINITECOMBO, -1, T(str::kDefaultMaxTimeout)));
    m_form.SetWindowText(IDC_TIMEOUTCOMBO, T(str::kDefaultTimeout));
}

void CFinal_UIDlg::OnSelchangeConnectioncomboReset()
{
    log("OnSelchangeConnectioncomboReset", "Entered");
    m_form.SetCurSel(IDC_CONNECTIONCOMBO, 0);
    const std::string name = m_form.GetWindowText(IDC_ENTERDEVICENAME);
    if (name.empty() || m_form.GetWindowText(IDC_SUBKEYS) == m_select)
        m_form.SetWindowText(IDC_ENTERDEVICENAME, T(str::kEnterTheName));
    const std::string timeout = m_form.GetWindowText(IDC_TIMEOUTCOMBO);
    if (timeout.empty() || timeout == T(str::kEnterValue))
        m_form.SetWindowText(IDC_TIMEOUTCOMBO, T(str::kDefaultTimeout));
    m_form.ShowWindow(IDC_COMPORT, true);
    m_form.ShowWindow(IDC_COMPORTCOMBO, true);
    const int index = m_form.FindStringExact(IDC_COMPORTCOMBO, -1, m_select);
    if (index != FormModel::CB_ERR)
        m_form.SetCurSel(IDC_COMPORTCOMBO, index);
}

void CFinal_UIDlg::RemoveValuenotFoundString()
{
    for (int id : {IDC_COMPORTCOMBO, IDC_CONNECTIONCOMBO, IDC_TIMEOUTCOMBO, IDC_INFINITECOMBO, IDC_AIMMODECOMBO}) {
        const int index = m_form.FindStringExact(id, -1, m_improper);
        if (index != FormModel::CB_ERR && index != m_form.GetCurSel(id))
            m_form.DeleteString(id, index);
    }
}

// ---------------------------------------------------------------- devices, launch, help, closing

void CFinal_UIDlg::OnDeviceChange()
{
    handler("OnDeviceChange", [&] {
        m_form.ShowWindow(IDC_PORTNUMBER, false);
        const std::vector<std::string> entries = PortListEntries(m_dosDevices);
        const std::string shown = m_form.GetWindowText(IDC_COMPORTCOMBO);
        m_form.ResetContent(IDC_COMPORTCOMBO);
        m_form.InsertString(IDC_COMPORTCOMBO, 0, m_select);
        for (const std::string& entry : entries)
            if (m_form.FindStringExact(IDC_COMPORTCOMBO, -1, entry) == FormModel::CB_ERR)
                m_form.AddString(IDC_COMPORTCOMBO, entry);
        if (shown != m_select)
            m_form.SetCurSel(IDC_COMPORTCOMBO, m_form.FindStringExact(IDC_COMPORTCOMBO, -1, shown));
        else
            m_form.SetCurSel(IDC_COMPORTCOMBO, 0);
        if (m_editMode)
            DeviceChangeReset();
    });
}

void CFinal_UIDlg::ResetFormAfterLaunch()
{
    ResetProperties(std::string());
    m_form.SetWindowText(IDC_ENTERDEVICENAME, T(str::kEnterTheName));
    Initiate(T(str::kScanner));
    m_form.ShowWindow(IDC_AIMMODECOMBO, false);
    m_form.ShowWindow(IDC_AIMMODELABEL, false);
    m_form.ShowWindow(IDC_PORTNUMBER, false);
}

void CFinal_UIDlg::OnValidateexe()
{
    handler("OnValidateexe", [&] {
        if (promptNeeded() && m_form.GetCheck(IDC_EDITREMOVERADIO)) {
            const int outcome = ChangePopup();
            if (outcome == 3 || outcome == 5)
                return;
            m_pending = false;
        }
        std::string folder;
        std::ifstream file(T(str::kConfigPathFile));
        if (file) {
            std::getline(file, folder);
            if (!folder.empty() && folder.back() == '\r')
                folder.pop_back();
        } else {
            log("OnValidateexe", "Exception in file Open");
        }
        // No separator is put in: the line must end with one.
        std::string path = folder + T(str::kProbeProgram);
        std::error_code ec;
        if (!std::filesystem::is_regular_file(path, ec))
            path = T(str::kProbeProgram);
        if (std::filesystem::is_regular_file(path, ec)) {
            ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        } else {
            m_host.ShowMessage(T(str::kMsgNoProbe), 0);
        }
        ResetFormAfterLaunch();
    });
}

void CFinal_UIDlg::OnAbout()
{
    handler("OnAbout", [&] { m_host.ShowAbout(); });
}

void CFinal_UIDlg::OnHelpHelpdocview()
{
    handler("OnHelpHelpdocview", [&] { OnHelpButton(); });
}

void CFinal_UIDlg::OnHelpButton()
{
    handler("OnHelpButton", [&] {
        const std::string path = currentFolder() + "/" + T(str::kHelpFile);
        std::error_code ec;
        if (std::filesystem::is_regular_file(path, ec)) {
            if (!m_host.RaiseWindow(T(str::kHelpTitle)))
                m_host.OpenHelp(path);
        } else {
            m_host.ShowMessage(T(str::kMsgNoHelp), 0);
        }
    });
}

void CFinal_UIDlg::OnClose()
{
    handler("OnClose", [&] {
        if (promptNeeded() && m_form.GetCheck(IDC_EDITREMOVERADIO)) {
            const int outcome = ChangePopup();
            if (outcome == 3 || outcome == 5)
                return;
            m_pending = false;
        }
        m_host.EndDialog(0);
        m_host.CloseWindowTitled(T(str::kHelpTitle));
    });
}

void CFinal_UIDlg::OnExit()
{
    log("OnExit", "Entered");
    OnClose();
}
