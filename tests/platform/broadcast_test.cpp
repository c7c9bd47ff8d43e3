// Window broadcasts to the top-level windows of this and other processes,
// and the COM-port arrival and removal notices. What a window may be handed
// by a post or by another process's datagram: a system message whose
// lParam is a pointer (WM_CREATE's CREATESTRUCT, WM_SETTEXT's text ...) is
// never posted, and from a datagram only numbers the windows can take as
// numbers get through; malformed datagrams are dropped and the messages
// after them still arrive.
#include "ForgedBroadcast.h"
#include "SerialTestPeer.h"
#include "TestSupport.h"

#include "platform/broadcast.h"
#include "platform/dbt.h"
#include "platform/error.h"
#include "platform/hid.h"
#include "platform/runtime.h"
#include "platform/setupapi.h"
#include "platform/shell.h"
#include "platform/thread.h"
#include "platform/window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <signal.h>
#include <set>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using vxtest::broadcastDatagram;
using vxtest::sendBroadcastToSelf;

LRESULT plainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

// A window of a class with `procedure` (registered by the first window of
// the class; later registrations fail harmlessly).
HWND makeWindow(HWND parent = nullptr, WNDPROC procedure = &plainProc,
                const wchar_t* className = L"BroadcastTestWindow")
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.lpszClassName = className;
    RegisterClassExW(&windowClass);
    return CreateWindowExW(0, className, L"t", 0, 0, 0, 0, 0, parent, nullptr, nullptr, nullptr);
}

// Takes the messages waiting for this thread.
std::vector<MSG> drain()
{
    std::vector<MSG> messages;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        messages.push_back(msg);
    return messages;
}

std::vector<MSG>& dispatched()
{
    static std::vector<MSG> messages;
    return messages;
}

// Takes lParam as what the message says it is, as the suite's windows do:
// a forged pointer crashes here.
LRESULT trustingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE || message == WM_CREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    } else if (message == WM_SETTEXT) {
        volatile char first = *reinterpret_cast<const char*>(lParam);
        (void)first;
    }
    dispatched().push_back({window, message, wParam, lParam, 0, {0, 0}});
    return message == WM_NCCREATE ? TRUE : 0;
}

// A listener process started from the test programs' folder.
class ListenerProcess {
public:
    explicit ListenerProcess(const std::vector<std::string>& names) : m_output(std::filesystem::absolute("listener.out"))
    {
        std::filesystem::remove(m_output);
        m_pid = ::fork();
        if (m_pid == 0) {
            const std::string program = vxtest::programDirectory() + "/vxbroadcastlistener";
            std::vector<std::string> words{program, m_output.string()};
            words.insert(words.end(), names.begin(), names.end());
            std::vector<char*> argv;
            for (auto& w : words)
                argv.push_back(w.data());
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
    }
    ~ListenerProcess()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    std::string output() const { return vxtest::readFile(m_output.string()); }
    bool waitFor(const std::string& text) const
    {
        return vxtest::waitUntil([&] { return output().find(text) != std::string::npos; });
    }
    // Ends the process as a crash would, leaving its socket behind.
    void kill()
    {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    std::filesystem::path m_output;
    pid_t m_pid = -1;
};

}  // namespace

TEST(Broadcast, ReachesTopLevelWindowsOfThisProcessButNotChildren)
{
    HWND top = makeWindow();
    HWND child = makeWindow(top);
    ASSERT_NE(top, nullptr);
    ASSERT_NE(child, nullptr);
    const UINT message = RegisterWindowMessageA("ADD_DEVICE");
    drain();
    ASSERT_TRUE(PostMessageW(HWND_BROADCAST, message, 1, 1));
    // Windows an earlier case in this process left on this thread get it too.
    std::vector<MSG> got;
    for (const MSG& msg : drain())
        if (msg.hwnd == top || msg.hwnd == child)
            got.push_back(msg);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].hwnd, top);
    EXPECT_EQ(got[0].message, message);
    EXPECT_EQ(got[0].wParam, 1u);
    EXPECT_EQ(got[0].lParam, 1);
    DestroyWindow(child);
    DestroyWindow(top);
}

TEST(Broadcast, AnotherProcessReceivesInOrderAndItsSocketIsPrivate)
{
    ListenerProcess listener({"ADD_DEVICE", "SECOND"});
    ASSERT_TRUE(listener.waitFor("ready\n"));
    const UINT add = RegisterWindowMessageA("ADD_DEVICE");
    const UINT second = RegisterWindowMessageA("SECOND");
    ASSERT_TRUE(PostMessageW(HWND_BROADCAST, add, 1, 1));
    ASSERT_TRUE(PostMessageW(HWND_BROADCAST, second, 7, -2));
    ASSERT_TRUE(PostMessageW(HWND_BROADCAST, add, 3, 4));
    ASSERT_TRUE(listener.waitFor("ADD_DEVICE 3 4\n"));
    EXPECT_EQ(listener.output(), "ready\nADD_DEVICE 1 1\nSECOND 7 -2\nADD_DEVICE 3 4\n");

    const std::string folder = platform::runtimeDirectory() + "/broadcast";
    struct stat info {};
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        ASSERT_EQ(::stat(entry.path().c_str(), &info), 0);
        EXPECT_TRUE(S_ISSOCK(info.st_mode));
        EXPECT_EQ(info.st_mode & 0777, 0600u) << entry.path();
    }
}

TEST(Broadcast, AGoneListenerIsSkippedAndItsSocketRemoved)
{
    const std::string folder = platform::runtimeDirectory() + "/broadcast";
    // This process's own socket, when an earlier case in it made a window.
    std::set<std::string> before;
    if (std::filesystem::is_directory(folder))
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            before.insert(entry.path().string());
    ListenerProcess gone({"ADD_DEVICE"});
    ASSERT_TRUE(gone.waitFor("ready\n"));
    gone.kill();
    ASSERT_FALSE(std::filesystem::is_empty(folder));

    // A listener that never reads: its buffer fills and the sender goes on.
    const std::string stuckPath = folder + "/999999999";
    const int stuck = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, stuckPath.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(stuck, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    ListenerProcess alive({"ADD_DEVICE"});
    ASSERT_TRUE(alive.waitFor("ready\n"));
    const UINT add = RegisterWindowMessageA("ADD_DEVICE");
    for (int i = 0; i < 2000; ++i)
        ASSERT_TRUE(PostMessageW(HWND_BROADCAST, add, 1, i));
    EXPECT_TRUE(alive.waitFor("ADD_DEVICE 1 0\n"));
    ::close(stuck);
    // Only the live listener's and the stuck socket's files are left.
    std::set<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (before.count(entry.path().string()) == 0)
            files.insert(entry.path().string());
    EXPECT_EQ(files.size(), 2u);
    EXPECT_EQ(files.count(stuckPath), 1u);
}

TEST(ComPortNotices, ArrivalAndRemovalOfAVirtualPortReachTheComClassOnly)
{
    HWND ports = makeWindow();
    HWND hid = makeWindow();
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = GUID_DEVINTERFACE_COMPORT;
    HDEVNOTIFY portNotice = RegisterDeviceNotificationW(ports, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    ASSERT_NE(portNotice, nullptr);
    HidD_GetHidGuid(&filter.dbcc_classguid);
    HDEVNOTIFY hidNotice = RegisterDeviceNotificationW(hid, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    ASSERT_NE(hidNotice, nullptr);

    std::vector<std::pair<HWND, WPARAM>> seen;
    std::wstring name;
    auto collect = [&] {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message != WM_DEVICECHANGE)
                continue;
            seen.emplace_back(msg.hwnd, msg.wParam);
            const auto* notice = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(msg.lParam);
            EXPECT_TRUE(notice->dbcc_classguid == GUID_DEVINTERFACE_COMPORT);
            name = notice->dbcc_name;
        }
    };
    {
        vxtest::SerialTestPeer peer("notice");
        ASSERT_TRUE(vxtest::waitUntil([&] {
            collect();
            return !seen.empty();
        }));
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0], std::make_pair(ports, static_cast<WPARAM>(DBT_DEVICEARRIVAL)));
        EXPECT_NE(name.find(L"virtual#serial#notice"), std::wstring::npos);
    }
    ASSERT_TRUE(vxtest::waitUntil([&] {
        collect();
        return seen.size() >= 2;
    }));
    EXPECT_EQ(seen[1], std::make_pair(ports, static_cast<WPARAM>(DBT_DEVICEREMOVECOMPLETE)));
    UnregisterDeviceNotification(portNotice);
    UnregisterDeviceNotification(hidNotice);
    collect();
    EXPECT_EQ(seen.size(), 2u);
    DestroyWindow(ports);
    DestroyWindow(hid);
}

TEST(BroadcastDatagrams, SystemMessagesCarryingAPointerAreNeverPosted)
{
    HWND window = makeWindow(nullptr, &trustingProc, L"TrustingTestWindow");
    ASSERT_NE(window, nullptr);
    drain();
    dispatched().clear();
    const UINT registered = RegisterWindowMessageA("VX_DATAGRAM_TEST_POSTED");
    struct Case {
        const char* name;
        UINT message;
        WPARAM wParam;
        bool posted;
    };
    const std::vector<Case> cases = {
        {"WM_CREATE", WM_CREATE, 0, false},
        {"WM_NCCREATE", WM_NCCREATE, 0, false},
        {"WM_SETTEXT", WM_SETTEXT, 0, false},
        {"WM_GETTEXT", WM_GETTEXT, 16, false},
        {"a device notice with its record", WM_DEVICECHANGE, 0x8004, false},
        {"a device notice without a record", WM_DEVICECHANGE, 0x0007, true},
        {"WM_COMMAND", WM_COMMAND, 1025, true},
        {"WM_TIMER", WM_TIMER, 1, true},
        {"a private message", WM_USER + 1, 0, true},
        {"a registered message", registered, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* road : {"to the window", "to the thread", "broadcast"}) {
            SCOPED_TRACE(road);
            SetLastError(0);
            BOOL result = FALSE;
            if (std::strcmp(road, "to the window") == 0)
                result = PostMessageW(window, c.message, c.wParam, 0x10);
            else if (std::strcmp(road, "to the thread") == 0)
                result = PostThreadMessageW(GetCurrentThreadId(), c.message, c.wParam, 0x10);
            else
                result = PostMessageW(HWND_BROADCAST, c.message, c.wParam, 0x10);
            std::vector<MSG> queued = drain();
            // A broadcast reaches every top-level window of the process:
            // only this test's own counts.
            queued.erase(std::remove_if(queued.begin(), queued.end(),
                                        [&](const MSG& m) { return m.hwnd != nullptr && m.hwnd != window; }),
                         queued.end());
            if (c.posted) {
                EXPECT_TRUE(result);
                ASSERT_EQ(queued.size(), 1u);
                EXPECT_EQ(queued[0].message, c.message);
            } else {
                EXPECT_FALSE(result);
                EXPECT_EQ(GetLastError(), ERROR_MESSAGE_SYNC_ONLY);
                EXPECT_TRUE(queued.empty());
            }
        }
    }
    // Sent on the window's own thread the record is real: that still works.
    CREATESTRUCTW create{};
    int parameter = 0;
    create.lpCreateParams = &parameter;
    SendMessageW(window, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create));
    EXPECT_EQ(GetWindowLongPtrW(window, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&parameter));
    DestroyWindow(window);
}

TEST(BroadcastDatagrams, OnlyWellFormedDatagramsOfNumbersReachTheWindows)
{
    HWND window = makeWindow(nullptr, &trustingProc, L"TrustingTestWindow");
    ASSERT_NE(window, nullptr);
    HWND second = makeWindow(nullptr, &trustingProc, L"TrustingTestWindow");
    ASSERT_NE(second, nullptr);
    drain();
    dispatched().clear();
    const UINT registered = RegisterWindowMessageA("VX_DATAGRAM_TEST_MARK");
    const UINT before = RegisterWindowMessageA("VX_DATAGRAM_TEST_BEFORE");

    const std::string wellFormed = broadcastDatagram(registered, 5, 6);
    const std::vector<std::pair<const char*, std::string>> dropped = {
        {"WM_CREATE with a null record", broadcastDatagram(WM_CREATE, 0, 0)},
        {"WM_NCCREATE with a null record", broadcastDatagram(WM_NCCREATE, 0, 0)},
        {"WM_SETTEXT with a stray pointer", broadcastDatagram(WM_SETTEXT, 0, 0x10)},
        {"WM_COMMAND with a number the event windows would take for a record", broadcastDatagram(WM_COMMAND, 1025, 0x10)},
        {"WM_CLOSE, which would end every window", broadcastDatagram(WM_CLOSE, 0, 0)},
        {"truncated", wellFormed.substr(0, 20)},
        {"a byte too short", wellFormed.substr(0, 31)},
        {"longer than the record", wellFormed + std::string(8, '\0')},
        {"empty", std::string()},
        {"another magic", broadcastDatagram(registered, 5, 6, "VXWC")},
        {"another version", broadcastDatagram(registered, 5, 6, "VXWB", 2)},
    };
    sendBroadcastToSelf(broadcastDatagram(before, 1, 2));
    for (const auto& [name, bytes] : dropped)
        sendBroadcastToSelf(bytes);
    sendBroadcastToSelf(broadcastDatagram(registered, 7, -8));

    // Datagrams are taken in the order sent: once the last arrives, every
    // one before it was handled.
    auto seen = [&](UINT message) {
        for (const MSG& m : dispatched())
            if (m.message == message)
                return true;
        return false;
    };
    ASSERT_TRUE(vxtest::waitUntil([&] {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        return std::count_if(dispatched().begin(), dispatched().end(),
                             [&](const MSG& m) { return m.message == registered; }) == 2;
    }));
    ASSERT_TRUE(seen(before));
    std::vector<std::string> got;
    for (const MSG& m : dispatched())
        got.push_back((m.hwnd == window ? "first " : "second ") + std::to_string(m.message == before) + " " +
                      std::to_string(m.wParam) + " " + std::to_string(m.lParam));
    EXPECT_EQ(got, (std::vector<std::string>{"first 1 1 2", "second 1 1 2", "first 0 7 -8", "second 0 7 -8"}));
    DestroyWindow(window);
    DestroyWindow(second);
}
