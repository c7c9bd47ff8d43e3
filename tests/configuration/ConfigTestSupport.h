// Fixtures for the configuration utility's controller: a host that answers
// the small dialogs from a script and records what they showed, a registry
// seam that fails chosen calls, and readers of device entries.
#pragma once

#include "CFinal_UIDlg.h"
#include "ControlIds.h"
#include "LanguageManager.h"

#include "platform/registry.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace vxtest {

struct Shown {
    std::string text;
    int kind;
    bool operator==(const Shown&) const = default;
};

class FakeHost : public ConfigurationHost {
public:
    void ShowMessage(const std::string& text, int kind) override
    {
        messages.push_back({text, kind});
        if (onMessage)
            onMessage(text);
    }
    int AskSaveChanges(const std::string& text) override
    {
        prompts.push_back(text);
        if (saveAnswers.empty()) {
            ADD_FAILURE() << "unexpected save prompt for " << text;
            return 3;
        }
        const int answer = saveAnswers.front();
        saveAnswers.pop_front();
        return answer;
    }
    bool ConfirmRemove() override
    {
        ++confirmations;
        return confirmAnswer;
    }
    void ShowAbout() override { ++abouts; }
    bool RaiseWindow(const std::string& title) override
    {
        raised.push_back(title);
        return helpOpen;
    }
    void OpenHelp(const std::string& path) override { helpOpened.push_back(path); }
    void CloseWindowTitled(const std::string& title) override { closedTitles.push_back(title); }
    void EndDialog(int result) override { ended.push_back(result); }
    void SetFrenchMenu(bool french) override { frenchMenu = french; }

    std::string lastMessage() const { return messages.empty() ? std::string() : messages.back().text; }

    std::vector<Shown> messages;
    std::vector<std::string> prompts;
    std::deque<int> saveAnswers;
    bool confirmAnswer = true;
    int confirmations = 0;
    int abouts = 0;
    bool helpOpen = false;
    std::vector<std::string> raised;
    std::vector<std::string> helpOpened;
    std::vector<std::string> closedTitles;
    std::vector<int> ended;
    bool frenchMenu = false;
    std::function<void(const std::string&)> onMessage;
};

// Fails the calls `fails` chooses: it sees the operation ("create", "open",
// "set", "query", "deletevalue", "deletekey", "enumkey", "enumvalue") and
// the key path or value name, and answers the error to return (0: pass).
class FailingRegistry : public RegistryApi {
public:
    std::function<LONG(const std::string& op, const std::string& name)> fails;
    std::vector<std::string> calls;

    LONG OpenKey(HKEY parent, const std::string& subKey, REGSAM access, HKEY* result) override
    {
        if (LONG e = check("open", subKey))
            return e;
        return RegistryApi::OpenKey(parent, subKey, access, result);
    }
    LONG CreateKey(HKEY parent, const std::string& subKey, REGSAM access, HKEY* result, bool* created) override
    {
        if (LONG e = check("create", subKey))
            return e;
        return RegistryApi::CreateKey(parent, subKey, access, result, created);
    }
    LONG SetValue(HKEY key, const std::string& name, DWORD type, const BYTE* data, DWORD size) override
    {
        if (LONG e = check("set", name))
            return e;
        return RegistryApi::SetValue(key, name, type, data, size);
    }
    LONG QueryValue(HKEY key, const std::string& name, DWORD* type, std::vector<BYTE>* data) override
    {
        if (LONG e = check("query", name))
            return e;
        return RegistryApi::QueryValue(key, name, type, data);
    }
    LONG DeleteValue(HKEY key, const std::string& name) override
    {
        if (LONG e = check("deletevalue", name))
            return e;
        return RegistryApi::DeleteValue(key, name);
    }
    LONG DeleteKey(HKEY parent, const std::string& subKey) override
    {
        if (LONG e = check("deletekey", subKey))
            return e;
        return RegistryApi::DeleteKey(parent, subKey);
    }

private:
    LONG check(const std::string& op, const std::string& name)
    {
        calls.push_back(op + " " + name);
        return fails ? fails(op, name) : 0;
    }
};

// One value of a key as stored.
struct StoredValue {
    std::string name;
    DWORD type;
    std::string data;  // the stored bytes, the NUL of a REG_SZ included
    bool operator==(const StoredValue&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const StoredValue& v)
{
    std::string shown;
    for (char c : v.data)
        shown += c == '\0' ? std::string("\\0") : std::string(1, c);
    return out << v.name << ":" << v.type << ":" << shown;
}

inline std::string sz(const std::string& text)
{
    return text + std::string(1, '\0');
}

inline std::string dword(DWORD value)
{
    return std::string(reinterpret_cast<const char*>(&value), 4);
}

std::string devicePath(const std::string& name, const std::string& category = "Scanner");
// Every value of the key in enumeration order; the default value first
// (name ""). Empty when the key does not exist.
std::vector<StoredValue> storedValues(const std::string& path);
bool keyExists(const std::string& path);
void writeValue(const std::string& path, const std::string& name, DWORD type, const std::string& data);
// A device entry as the add flow writes it, with port and auto-detect.
void makeEntry(const std::string& name, const std::string& port = "COM3", const std::string& autoDetect = "False",
               const std::string& manufacturer = "Varnex", const std::string& category = "Scanner");
void deleteKeyTree(const std::string& path);
// Removes every device entry (the whole OPOS tree of the registry).
void deleteEntries();

// The controller on a fresh form, English, with a fixed port list.
// Each test starts without device entries and leaves none behind.
class ControllerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    void start(RegistryApi& registry);
    CFinal_UIDlg& dlg() { return *m_dlg; }
    FormModel& form() { return m_dlg->Form(); }
    std::string text(int id) { return form().GetWindowText(id); }
    std::vector<std::string> items(int id) { return form().At(id).items; }
    // Selects the entry with the text and runs the list's selection handler.
    void choose(int id, const std::string& entry);
    void setText(int id, const std::string& value) { form().SetWindowText(id, value); }
    // Switches to edit/remove mode and shows `name`.
    void showDevice(const std::string& name);
    // Fills the add form (auto-detect False unless a port is empty).
    void fillAdd(const std::string& name, const std::string& port, const std::string& timeout = "10000",
                 const std::string& maxTimeout = "300000");

    FakeHost host;
    std::vector<std::string> dosDevices{"COM1", "COM3", "NUL"};
    std::unique_ptr<CFinal_UIDlg> m_dlg;
};

}  // namespace vxtest
