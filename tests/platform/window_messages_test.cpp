// Window classes, per-thread queues, sent messages, registered message
// numbers and the HID device notices.
#include "TestSupport.h"

#include "platform/dbt.h"
#include "platform/error.h"
#include "platform/hid.h"
#include "platform/runtime.h"
#include "platform/thread.h"
#include "platform/window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/file.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::mutex g_seenMutex;
std::vector<UINT> g_seen;

LRESULT recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message >= WM_USER && message < WM_APP) {
        std::lock_guard lock(g_seenMutex);
        g_seen.push_back(message);
        return static_cast<LRESULT>(wParam * 2);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

ATOM registerClass(const wchar_t* name)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &recordingProc;
    windowClass.lpszClassName = name;
    return RegisterClassExW(&windowClass);
}

HWND createWindow(const wchar_t* className)
{
    return CreateWindowExW(0, className, L"test", 0, 0, 0, 10, 10, nullptr, nullptr, GetModuleHandleW(nullptr),
                           nullptr);
}

bool readable(int fd)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1;
}

}  // namespace

TEST(WindowClasses, ClassCannotBeUnregisteredWhileAWindowOfItExists)
{
    ASSERT_NE(registerClass(L"testClass"), 0);
    EXPECT_EQ(registerClass(L"TESTCLASS"), 0);  // names ignore case
    EXPECT_EQ(GetLastError(), ERROR_CLASS_ALREADY_EXISTS);

    HWND first = createWindow(L"testClass");
    HWND second = createWindow(L"testclass");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(UnregisterClassW(L"testClass", nullptr));
    EXPECT_EQ(GetLastError(), ERROR_CLASS_HAS_WINDOWS);
    EXPECT_TRUE(DestroyWindow(first));
    EXPECT_FALSE(UnregisterClassW(L"testClass", nullptr));
    EXPECT_TRUE(DestroyWindow(second));
    EXPECT_TRUE(UnregisterClassW(L"testClass", nullptr));
    EXPECT_FALSE(UnregisterClassW(L"testClass", nullptr));
    EXPECT_EQ(GetLastError(), ERROR_CLASS_DOES_NOT_EXIST);
    EXPECT_EQ(createWindow(L"testClass"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_CANNOT_FIND_WND_CLASS);
}

TEST(WindowMessages, PostedMessagesArriveInOrderOnTheWindowsThread)
{
    {
        // Messages an earlier case in this process had its windows handle.
        std::lock_guard lock(g_seenMutex);
        g_seen.clear();
    }
    ASSERT_NE(registerClass(L"queueClass"), 0);
    HWND window = createWindow(L"queueClass");
    ASSERT_NE(window, nullptr);
    const int fd = platform::messageQueueDescriptor();
    EXPECT_FALSE(readable(fd));

    // Posted from another thread: never blocks, lands in this thread's queue.
    std::thread poster([window] {
        for (UINT m = WM_USER + 1; m <= WM_USER + 3; ++m)
            EXPECT_TRUE(PostMessageW(window, m, m, 0));
    });
    poster.join();
    EXPECT_TRUE(readable(fd));

    MSG message{};
    EXPECT_TRUE(PeekMessageW(&message, window, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(message.message, WM_USER + 1);
    for (UINT m = WM_USER + 1; m <= WM_USER + 3; ++m) {
        ASSERT_EQ(GetMessageW(&message, window, 0, 0), TRUE);
        EXPECT_EQ(message.message, m);
        DispatchMessageW(&message);
    }
    EXPECT_FALSE(readable(fd));
    EXPECT_FALSE(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE));
    {
        std::lock_guard lock(g_seenMutex);
        EXPECT_EQ(g_seen, (std::vector<UINT>{WM_USER + 1, WM_USER + 2, WM_USER + 3}));
    }

    // Messages of a destroyed window are dropped; WM_QUIT ends GetMessage.
    EXPECT_TRUE(PostMessageW(window, WM_USER + 9, 0, 0));
    EXPECT_TRUE(DestroyWindow(window));
    EXPECT_FALSE(PostMessageW(window, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
    PostQuitMessage(3);
    ASSERT_EQ(GetMessageW(&message, nullptr, 0, 0), FALSE);
    EXPECT_EQ(message.wParam, 3u);
}

TEST(WindowMessages, SendFromAnotherThreadWaitsForTheOwnersAnswer)
{
    ASSERT_NE(registerClass(L"sendClass"), 0);
    HWND window = createWindow(L"sendClass");
    ASSERT_NE(window, nullptr);
    std::atomic<LRESULT> answer{-1};
    std::thread sender([&] { answer = SendMessageW(window, WM_USER + 5, 21, 0); });
    // The owner answers while it waits for its own messages.
    PostQuitMessage(0);
    ASSERT_TRUE(vxtest::waitUntil([&] {
        MSG message{};
        PeekMessageW(&message, window, 0, 0, PM_REMOVE);
        return answer.load() != -1;
    }));
    sender.join();
    EXPECT_EQ(answer.load(), 42);
    // Another thread may not destroy the window.
    std::thread([window] {
        EXPECT_FALSE(DestroyWindow(window));
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    }).join();
    EXPECT_TRUE(DestroyWindow(window));
}

TEST(WindowMessages, RegisteredMessagesAreStableAndDistinct)
{
    const UINT a = RegisterWindowMessageA("DEVICE_ENABLE");
    const UINT b = RegisterWindowMessageW(L"ADD_DEVICE");
    EXPECT_GE(a, 0xC000u);
    EXPECT_LE(a, 0xFFFFu);
    EXPECT_GE(b, 0xC000u);
    EXPECT_NE(a, b);
    EXPECT_EQ(RegisterWindowMessageW(L"device_enable"), a);
    EXPECT_EQ(RegisterWindowMessageA(""), 0u);
    // The numbers live in the runtime directory, for every process there.
    EXPECT_NE(vxtest::readFile(platform::runtimeDirectory() + "/window-messages").find("device_enable"),
              std::string::npos);
}

namespace {

// A virtual HID interface's descriptor, published and held as a device does.
class HidDescriptor {
public:
    explicit HidDescriptor(const std::string& id)
    {
        const std::string dir = platform::runtimeDirectory() + "/hid";
        std::filesystem::create_directories(dir);
        m_path = dir + "/" + id + ".hid";
        const std::string temporary = dir + "/." + id + ".tmp";
        m_fd = ::open(temporary.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const std::string text = "socket=x.sock\nvendorId=0x7a11\nproductId=0x0100\nusagePage=0x8c\nusage=2\n";
        EXPECT_EQ(::write(m_fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        EXPECT_EQ(::flock(m_fd, LOCK_EX), 0);
        EXPECT_EQ(::rename(temporary.c_str(), m_path.c_str()), 0);
        path = "\\\\?\\hid#vid_7a11&pid_0100&mi_00#virtual-" + id + "#{4d1e55b2-f16f-11cf-88cb-001111000030}";
    }
    ~HidDescriptor() { unplug(); }
    void unplug()
    {
        if (m_fd < 0)
            return;
        ::unlink(m_path.c_str());
        ::close(m_fd);
        m_fd = -1;
    }
    // A publisher that dies leaves its file behind, unlocked.
    void die()
    {
        ::close(m_fd);
        m_fd = -1;
    }
    std::string path;

private:
    std::string m_path;
    int m_fd = -1;
};

std::mutex g_noticeMutex;
std::vector<std::pair<WPARAM, std::string>> g_notices;

LRESULT noticeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DEVICECHANGE) {
        const auto* notice = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(lParam);
        std::string name;
        for (const wchar_t* c = notice->dbcc_name; *c != 0; ++c)
            name.push_back(static_cast<char>(*c));
        std::lock_guard lock(g_noticeMutex);
        g_notices.emplace_back(wParam, name);
        return TRUE;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

std::vector<std::pair<WPARAM, std::string>> removals()
{
    std::lock_guard lock(g_noticeMutex);
    std::vector<std::pair<WPARAM, std::string>> out;
    for (const auto& notice : g_notices)
        if (notice.first == DBT_DEVICEREMOVECOMPLETE)
            out.push_back(notice);
    return out;
}

}  // namespace

TEST(DeviceNotices, EachHidRemovalIsPostedOnceToTheRegisteredWindow)
{
    HidDescriptor first("first");
    HidDescriptor second("second");
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &noticeProc;
    windowClass.lpszClassName = L"noticeClass";
    ASSERT_NE(RegisterClassExW(&windowClass), 0);
    HWND window = createWindow(L"noticeClass");
    ASSERT_NE(window, nullptr);

    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    HidD_GetHidGuid(&filter.dbcc_classguid);
    HDEVNOTIFY notification = RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    ASSERT_NE(notification, nullptr);

    const auto pump = [&] {
        MSG message{};
        while (PeekMessageW(&message, window, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    };
    first.unplug();
    ASSERT_TRUE(vxtest::waitUntil([&] {
        pump();
        return !removals().empty();
    }));
    second.die();
    ASSERT_TRUE(vxtest::waitUntil([&] {
        pump();
        return removals().size() >= 2;
    }));
    // A third device plugged and removed later marks the end of what the
    // first two removals could have posted: nothing more of them after it.
    HidDescriptor third("third");
    ASSERT_TRUE(vxtest::waitUntil([&] {
        pump();
        std::lock_guard lock(g_noticeMutex);
        for (const auto& notice : g_notices)
            if (notice.first == DBT_DEVICEARRIVAL && notice.second == third.path)
                return true;
        return false;
    }));
    third.unplug();
    ASSERT_TRUE(vxtest::waitUntil([&] {
        pump();
        for (const auto& notice : removals())
            if (notice.second == third.path)
                return true;
        return false;
    }));
    pump();
    const auto seen = removals();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].second, first.path);
    EXPECT_EQ(seen[1].second, second.path);
    EXPECT_EQ(seen[2].second, third.path);

    EXPECT_TRUE(UnregisterDeviceNotification(notification));
    EXPECT_FALSE(UnregisterDeviceNotification(notification));
    EXPECT_TRUE(DestroyWindow(window));
    EXPECT_TRUE(UnregisterClassW(L"noticeClass", nullptr));
}

TEST(DeviceNotices, RegistrationChecksItsFilterAndWindow)
{
    ASSERT_NE(registerClass(L"filterClass"), 0);
    HWND window = createWindow(L"filterClass");
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = 3;
    EXPECT_EQ(RegisterDeviceNotificationW(window, &filter, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    EXPECT_EQ(RegisterDeviceNotificationW(reinterpret_cast<HWND>(0x77), &filter, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
    DestroyWindow(window);
}
