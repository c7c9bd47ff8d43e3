// Registry failures in the writing flows are shown, never swallowed: an add
// takes its half-written key away, a modify or a save shows no success and
// keeps the change pending, a remove keeps the list; nothing is broadcast.
#include "ConfigTestSupport.h"
#include "TestSupport.h"

#include "platform/window.h"

#include <filesystem>
#include <fstream>

using namespace vxtest;
using namespace ctl;

namespace {

LRESULT plainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

// A top-level window of this process: a broadcast reaches it too.
class BroadcastWatch {
public:
    BroadcastWatch()
    {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &plainProc;
        windowClass.lpszClassName = L"FailureTestWindow";
        RegisterClassExW(&windowClass);
        m_window = CreateWindowExW(0, L"FailureTestWindow", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    }
    ~BroadcastWatch() { DestroyWindow(m_window); }
    int addDevicePosts()
    {
        int count = 0;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            if (msg.message == CFinal_UIDlg::AddDeviceMessage() && msg.wParam == 1 && msg.lParam == 1)
                ++count;
        return count;
    }

private:
    HWND m_window = nullptr;
};

const std::string kSaveFailed = "The device settings could not be saved in the registry (error 5).";
const std::string kRemoveFailed = "The device could not be removed from the registry (error 5).";

class FailureTest : public ControllerTest {
protected:
    void SetUp() override
    {
        ControllerTest::SetUp();
        start(registry);
    }
    // Fails the `nth` call (1-based) of `op` whose name contains `part`.
    void failNth(const std::string& op, const std::string& part, int nth, LONG code = ERROR_ACCESS_DENIED)
    {
        auto seen = std::make_shared<int>(0);
        registry.fails = [=](const std::string& o, const std::string& name) -> LONG {
            if (o == op && name.find(part) != std::string::npos && ++*seen == nth)
                return code;
            return 0;
        };
    }

    FailingRegistry registry;
    BroadcastWatch watch;
};

}  // namespace

TEST_F(FailureTest, AnAddThatFailsAnywhereShowsItLeavesNoKeyAndSendsNothing)
{
    struct Row {
        const char* op;
        const char* part;
        int nth;
    };
    const Row rows[] = {
        {"create", "Lane", 1},       // the key itself
        {"create", "Lane", 4},       // the key again, for MANUFACTURER
        {"set", "PORT", 1},          // the first value
        {"set", "MANUFACTURER", 1},  // a value after PORT
        {"set", "DECODE_GS1_LTD", 1},
        {"set", "", 2},              // the first default value
        {"open", "Lane", 3},         // opening for the default value
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.op) + " " + row.part + " #" + std::to_string(row.nth));
        host.messages.clear();
        watch.addDevicePosts();
        failNth(row.op, row.part, row.nth);
        fillAdd("Lane", "COM3");
        dlg().OnAddbutton();
        EXPECT_EQ(host.messages, (std::vector<Shown>{{kSaveFailed, 0}}));
        EXPECT_FALSE(keyExists(devicePath("Lane")));
        EXPECT_EQ(watch.addDevicePosts(), 0);
        // The name is free: the same add goes through once the registry does.
        registry.fails = nullptr;
        host.messages.clear();
        dlg().OnAddbutton();
        EXPECT_EQ(host.lastMessage(), "Device added successfully");
        EXPECT_EQ(watch.addDevicePosts(), 1);
        deleteKeyTree(devicePath("Lane"));
    }
}

TEST_F(FailureTest, AModifyThatFailsShowsItAndKeepsTheChangePending)
{
    struct Row {
        const char* op;
        const char* part;
        int nth;
    };
    const Row rows[] = {
        {"open", "Scanner", 1},          {"open", "Lane", 3},          {"deletevalue", "AUTODETECT", 1},
        {"set", "AUTODETECT", 1},        {"set", "PORT", 1},           {"set", "MAXIMUMTIMEOUT", 1},
        {"query", "CLAIMTIMEOUT_0", 1},  {"set", "CLAIMTIMEOUT_0", 1}, {"set", "DECODE_GS1_LTD", 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.op) + " " + row.part);
        // An old entry, without the extras a modify adds.
        deleteKeyTree(devicePath("Lane"));
        makeEntry("Lane", "COM3");
        showDevice("Lane");
        setText(IDC_TIMEOUTCOMBO, "20000");
        dlg().OnEditchangeTimeoutcombo();
        host.messages.clear();
        failNth(row.op, row.part, row.nth);
        dlg().OnModifyValues();
        EXPECT_EQ(host.messages, (std::vector<Shown>{{kSaveFailed, 0}}));
        EXPECT_TRUE(dlg().PendingChange());
        registry.fails = nullptr;
        dlg().OnModifyValues();
        EXPECT_EQ(host.lastMessage(), "Specified settings modified successfully");
        EXPECT_EQ(watch.addDevicePosts(), 0);
        dlg().OnCommand(IDC_ADDDEVICERADIO);
    }
}

TEST_F(FailureTest, APromptSaveThatFailsAnswers5AndTheChangeStays)
{
    makeEntry("Alpha", "COM3");
    makeEntry("Beta", "COM1");
    for (const char* op : {"open", "set", "deletevalue", "create"}) {
        SCOPED_TRACE(op);
        showDevice("Alpha");
        choose(IDC_COMPORTCOMBO, "COM1");
        host.messages.clear();
        failNth(op, op == std::string("open") ? "Scanner" : "", 1);
        host.saveAnswers = {1};
        EXPECT_EQ(dlg().ChangePopup(), 5);
        EXPECT_EQ(host.messages, (std::vector<Shown>{{kSaveFailed, 0}}));
        EXPECT_TRUE(dlg().PendingChange());
        registry.fails = nullptr;
        host.saveAnswers = {2};
        dlg().OnCommand(IDC_ADDDEVICERADIO);
    }
}

TEST_F(FailureTest, ARemoveThatFailsShowsItKeepsTheListAndSendsNothing)
{
    makeEntry("Lane", "COM3");
    for (const char* op : {"open", "deletekey"}) {
        SCOPED_TRACE(op);
        showDevice("Lane");
        host.messages.clear();
        failNth(op, op == std::string("open") ? "ServiceOPOS" : "Lane", 1);
        dlg().OnRemove();
        EXPECT_EQ(host.messages, (std::vector<Shown>{{kRemoveFailed, 0}}));
        EXPECT_TRUE(keyExists(devicePath("Lane")));
        EXPECT_EQ(text(IDC_DEVICENAMECOMBO), "Lane");
        EXPECT_EQ(watch.addDevicePosts(), 0);
        registry.fails = nullptr;
        dlg().OnCommand(IDC_ADDDEVICERADIO);
    }
    // A key that is already gone counts as removed.
    showDevice("Lane");
    host.messages.clear();
    failNth("deletekey", "Lane", 1, ERROR_FILE_NOT_FOUND);
    dlg().OnRemove();
    EXPECT_EQ(host.lastMessage(), "Device removed successfully");
    EXPECT_EQ(watch.addDevicePosts(), 1);
}

namespace {

// In French, from a strings file of the test's own, whose registry-error
// texts hold conversions a format would act on.
class TranslatedFailureTest : public ControllerTest {
protected:
    void SetUp() override
    {
        ControllerTest::SetUp();
        m_before = std::filesystem::current_path();
        std::filesystem::current_path(m_folder.path());
        {
            std::ofstream file("TillSetupFrench.strings", std::ios::binary);
            file << "33139\tEnregistrement impossible %s%s%n (erreur %lu) %lu %d\n"
                 << "33140\tSuppression impossible %p (erreur %lu)\n";
        }
        setenv("LANG", "fr_FR.UTF-8", 1);
        start(registry);
    }
    void TearDown() override
    {
        deleteKeyTree(devicePath("Translated"));
        CLanguageManager::GetInstance().ResetForTesting();
        setenv("LANG", "en_US.UTF-8", 1);
        std::filesystem::current_path(m_before);
    }

    FailingRegistry registry;
    TempDir m_folder;
    std::filesystem::path m_before;
};

}  // namespace

// A strings file is text, never a format: conversions in a translated
// registry-error text are shown as they are, and the error's number goes
// where the text's own "%lu" stands.
TEST_F(TranslatedFailureTest, ATextWithConversionsIsShownAsWritten)
{
    registry.fails = [](const std::string& op, const std::string& name) -> LONG {
        return op == "set" && name == "PORT" ? ERROR_ACCESS_DENIED : 0;
    };
    fillAdd("Translated", "COM3");
    dlg().OnAddbutton();
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Enregistrement impossible %s%s%n (erreur 5) %lu %d");

    registry.fails = nullptr;
    makeEntry("Translated", "COM3");
    showDevice("Translated");
    host.messages.clear();
    registry.fails = [](const std::string& op, const std::string& name) -> LONG {
        return op == "deletekey" && name.find("Translated") != std::string::npos ? ERROR_ACCESS_DENIED : 0;
    };
    dlg().OnRemove();
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Suppression impossible %p (erreur 5)");
}
