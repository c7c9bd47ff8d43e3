// The state of a dialog's controls without any widget: the controller of a
// dialog works on it as on the platform's controls (combo-box strings and
// selection, window texts, enabled, shown, checked, focus, menu items), its
// tests read it, and the Qt view mirrors it onto the widgets and writes the
// user's input back.
//
// Combo boxes follow the platform's rules: a sorted list inserts by
// AddString in order (ASCII case ignored), InsertString puts a text where
// it is told; FindString looks for a prefix and FindStringExact for the
// whole text (case ignored both), from the entry after `start` round to
// it; a drop-down list's text is its selected entry, a drop-down with an
// edit field has a text of its own that a selection replaces.
#pragma once

#include <map>
#include <string>
#include <vector>

class FormModel {
public:
    enum class Kind { Static, Edit, DropDownList, DropDown, Button, Radio, Group, Picture };

    struct Control {
        Kind kind = Kind::Static;
        bool sorted = false;
        std::vector<std::string> items;
        int selected = -1;
        std::string text;
        bool enabled = true;
        bool visible = true;
        bool checked = false;
        int limit = 0;  // characters the user may type (0: no limit)
        std::string tooltip;
        bool selectAll = false;  // an edit's whole text is selected (set by the controller, cleared by the view)
    };

    static constexpr int CB_ERR = -1;

    void Add(int id, Kind kind, bool sorted = false);
    bool Has(int id) const { return m_controls.count(id) != 0; }
    Control& At(int id);
    const Control& At(int id) const;
    const std::map<int, Control>& Controls() const { return m_controls; }

    // Combo boxes.
    void ResetContent(int id);
    int AddString(int id, const std::string& text);
    int InsertString(int id, int index, const std::string& text);
    int DeleteString(int id, int index);
    int FindString(int id, int start, const std::string& prefix) const;
    int FindStringExact(int id, int start, const std::string& text) const;
    int SetCurSel(int id, int index);
    int GetCurSel(int id) const;
    int GetCount(int id) const;
    std::string GetLBText(int id, int index) const;
    // Selects the first entry that begins with `prefix`; CB_ERR when none.
    int SelectString(int id, const std::string& prefix);

    // Any control.
    std::string GetWindowText(int id) const;
    void SetWindowText(int id, const std::string& text);
    void EnableWindow(int id, bool enable);
    bool IsWindowEnabled(int id) const;
    void ShowWindow(int id, bool show);
    bool IsWindowVisible(int id) const;
    void SetCheck(int id, bool checked);
    bool GetCheck(int id) const;
    void LimitText(int id, int characters);
    void SetToolTip(int id, const std::string& text) { At(id).tooltip = text; }
    void SetSelectAll(int id) { At(id).selectAll = true; }
    void SetFocus(int id) { m_focus = id; }
    int Focus() const { return m_focus; }

    // The window menu's items.
    void EnableMenuItem(int command, bool enable) { m_menu[command] = enable; }
    bool IsMenuItemEnabled(int command) const;

    // Entries, selection and text in one line, for test messages.
    std::string Describe(int id) const;

private:
    std::map<int, Control> m_controls;
    std::map<int, bool> m_menu;
    int m_focus = 0;
};

// ASCII case-insensitive comparison, as the platform's lists and registry.
bool equalsNoCase(const std::string& a, const std::string& b);
int compareNoCase(const std::string& a, const std::string& b);
