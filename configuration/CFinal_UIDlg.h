// The configuration utility's main dialog, without widgets: the add,
// modify and remove flows over the OPOS device entries, the field checks,
// the unsaved-changes prompt, the port list, the launch of the validation
// utility, help and closing. It works on a FormModel (the controls' state)
// and asks its ConfigurationHost for the small dialogs; the Qt view mirrors
// the form and calls the handlers.
//
// Device entries live under HKLM\SOFTWARE\OLEforRetail\ServiceOPOS\<category>\<name>.
// Every registry create, open, set and delete of the writing flows is
// tested: a failure is shown in a plain message box, an add deletes the key
// it created, a modify or a save shows no success, nothing is broadcast.
//
// UI thread only.
#pragma once

#include "AppLog.h"
#include "ConfigurationHost.h"
#include "FormModel.h"
#include "PortDetection.h"
#include "RegistryApi.h"

#include <string>
#include <utility>
#include <vector>

class CFinal_UIDlg {
public:
    explicit CFinal_UIDlg(ConfigurationHost& host, RegistryApi& registry = RegistryApi::System(),
                          DosDeviceSource dosDevices = systemDosDevices());

    FormModel& Form() { return m_form; }
    const FormModel& Form() const { return m_form; }

    // The registered message "ADD_DEVICE" (registered once per process).
    static UINT AddDeviceMessage();

    // Start-up.
    void OnInitDialog();

    // Commands: buttons, menu items, accelerators and Enter on a control.
    void OnCommand(int id);
    // Key-down filter: true when the key is consumed. `portBeforeCaret` is
    // the port box's text before the caret (used while it has the focus).
    bool PreTranslateKey(int key, bool shift, int focusId, const std::string& portBeforeCaret);

    // The flows.
    void OnAdddeviceradio();
    void OnEditremovedeviceradio();
    void OnAddbutton();
    void OnModifyValues();
    void OnRemove();
    void OnValidateexe();
    void OnClose();
    void OnExit();
    void OnAbout();
    void OnHelpHelpdocview();
    void OnHelpButton();
    void OnDeviceChange();

    // Selection, edit, drop-down and focus handlers.
    void OnSelchangeDevicenamecombo();
    void OnSelchangeSubkeys();
    void OnSelchangeConnectioncombo();
    void OnSelchangeComportcombo();
    void OnSelchangeTimeoutcombo();
    void OnSelchangeInfinitecombo();
    void OnSelchangeAimmodecombo();
    void OnEditchangeTimeoutcombo();
    void OnEditchangeInfinitecombo();
    void OnEditupdateComportcombo();
    void OnDropdownConnectioncombo();
    void OnDropdownTimeoutcombo();
    void OnDropdownInfinitecombo();
    void OnDropdownComportcombo();
    void OnDropdownDevicenamecombo();
    void OnSetfocusEnterdevicename();

    // The unsaved-changes prompt: 1 saved, 2 discarded, 3 cancelled, 4
    // nothing pending, 5 saving failed.
    int ChangePopup();

    // Dialog state.
    bool PendingChange() const { return m_pending; }
    bool EditMode() const { return m_editMode; }
    bool AutoDetectChanged() const { return m_autoDetectChanged; }
    const std::string& LastDevice() const { return m_lastDevice; }
    const std::string& RememberedCategory() const { return m_category; }

    // Pieces the flows share (public for the tests of the entry format).
    void Initiate(const std::string& category);
    int Savechanges();
    void FillPortList();
    void ResetProperties(const std::string& shownAutoDetect);
    void RemoveValuenotFoundString();

private:
    struct Value {
        std::string name;
        DWORD type = 0;
        std::string text;  // REG_SZ data without its NUL
    };

    template <typename Body>
    void handler(const char* name, Body body);
    void log(const std::string& method, const std::string& label, const std::string& value = std::string());

    void PerformInitialSettings();
    void SetLanguageValues();
    void ToolTipSettings();
    void GetSubkeys();
    void DeviceChangeReset();
    void OnDeleteKeys();
    void OnSelchangeConnectioncomboReset();
    int CheckUniqueness(const std::string& category, const std::string& name);
    // Steps 4 to 6 of the modify flow: true when the form may be written.
    bool CheckModifyForm(const std::string& category);
    void OnFieldChanged(int id, bool selectionChanged);
    void RemovePlaceholderOnDropdown(int id);
    void ResetFormAfterLaunch();

    // Registry writes of the flows; each throws RegistryFailure.
    void InsertValues(const std::string& valueName, const std::string& data, const std::string& category,
                      const std::string& name, bool isDword, bool* createdKey);
    void WriteDeviceValue(const std::string& category, const std::string& name, const std::string& valueName,
                          const std::string* text, const DWORD* number, bool onlyWhenMissing);
    void DeleteDeviceValue(const std::string& category, const std::string& name, const std::string& valueName);
    std::vector<Value> ReadDeviceValues(const std::string& category, const std::string& name, std::size_t limit,
                                        bool* opened);
    void ShowRegistryFailure(UINT messageId, LONG code);

    bool isPlaceholderDevice(const std::string& name) const;
    bool promptNeeded() const;
    std::string categoryPath(const std::string& category) const;
    std::string progIdOf(const std::string& category) const;

    ConfigurationHost& m_host;
    RegistryApi& m_registry;
    DosDeviceSource m_dosDevices;
    FormModel m_form;
    CAppLog m_log;

    bool m_editMode = false;
    bool m_pending = false;
    bool m_autoDetectChanged = false;
    bool m_addRadioState = true;
    std::string m_lastDevice;
    std::string m_category;
    std::string m_listedCategory;  // the category the device list was filled for

    // Texts loaded once at start.
    std::string m_select;
    std::string m_improper;
    std::string m_rangeRecheck;
};
