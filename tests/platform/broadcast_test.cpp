// Window broadcasts to the top-level windows of this and other processes,
// and the COM-port arrival and removal notices.
#include "SerialTestPeer.h"
#include "TestSupport.h"

#include "platform/broadcast.h"
#include "platform/dbt.h"
#include "platform/error.h"
#include "platform/hid.h"
#include "platform/runtime.h"
#include "platform/setupapi.h"
#include "platform/shell.h"
#include "platform/window.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <signal.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

LRESULT plainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND makeWindow(HWND parent = nullptr)
{
    static const ATOM atom = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &plainProc;
        windowClass.lpszClassName = L"BroadcastTestWindow";
        return RegisterClassExW(&windowClass);
    }();
    (void)atom;
    return CreateWindowExW(0, L"BroadcastTestWindow", L"t", 0, 0, 0, 0, 0, parent, nullptr, nullptr, nullptr);
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
    const auto got = drain();
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
    ListenerProcess gone({"ADD_DEVICE"});
    ASSERT_TRUE(gone.waitFor("ready\n"));
    gone.kill();
    const std::string folder = platform::runtimeDirectory() + "/broadcast";
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
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
        ++files;
    EXPECT_EQ(files, 2u);
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
