// The desktop window, the search for windows by parent, class and name, and
// the discard hook of messages the layer drops.
#include "TestSupport.h"

#include "platform/window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace {

LRESULT plainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

void registerPlainClass(const wchar_t* name)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &plainProc;
    windowClass.lpszClassName = name;
    ASSERT_NE(RegisterClassExW(&windowClass), 0);
}

HWND create(const wchar_t* className, const wchar_t* name, HWND parent)
{
    return CreateWindowExW(0, className, name, 0, 0, 0, 0, 0, parent, nullptr, nullptr, nullptr);
}

TEST(FindWindow, ByParentClassAndNameInCreationOrder)
{
    registerPlainClass(L"findClass");
    registerPlainClass(L"otherClass");
    HWND desktop = GetDesktopWindow();
    ASSERT_NE(desktop, nullptr);
    EXPECT_EQ(GetDesktopWindow(), desktop);
    EXPECT_FALSE(IsWindow(desktop));

    HWND first = create(L"findClass", L"ScannerEventIFWindow", desktop);
    HWND second = create(L"otherClass", L"ScannerEventIFWindow", nullptr);
    HWND child = create(L"findClass", L"ScannerEventIFWindow", first);
    HWND unnamed = create(L"findClass", nullptr, desktop);
    ASSERT_TRUE(first && second && child && unnamed);

    // Null and the desktop both mean the top-level windows.
    for (HWND parent : {static_cast<HWND>(nullptr), desktop}) {
        EXPECT_EQ(FindWindowExW(parent, nullptr, nullptr, L"scannereventifwindow"), first);
        EXPECT_EQ(FindWindowExW(parent, first, nullptr, L"ScannerEventIFWindow"), second);
        EXPECT_EQ(FindWindowExW(parent, second, nullptr, L"ScannerEventIFWindow"), nullptr);
        EXPECT_EQ(FindWindowExW(parent, nullptr, L"OTHERCLASS", nullptr), second);
        EXPECT_EQ(FindWindowExW(parent, first, L"findClass", nullptr), unnamed);
    }
    EXPECT_EQ(FindWindowExW(first, nullptr, nullptr, L"ScannerEventIFWindow"), child);
    EXPECT_EQ(FindWindowExA(first, nullptr, "findclass", "ScannerEventIFWindow"), child);
    EXPECT_EQ(FindWindowExA(nullptr, nullptr, nullptr, "no such window"), nullptr);

    ASSERT_TRUE(DestroyWindow(first));
    EXPECT_EQ(FindWindowExW(desktop, nullptr, nullptr, L"ScannerEventIFWindow"), second);

    // Another thread's windows are found too: the search is process-wide.
    std::atomic<HWND> foreign{nullptr};
    std::thread([&] {
        foreign = create(L"findClass", L"foreign", nullptr);
        EXPECT_EQ(FindWindowExW(nullptr, nullptr, nullptr, L"foreign"), foreign.load());
    }).join();
    EXPECT_EQ(FindWindowExW(nullptr, nullptr, nullptr, L"foreign"), nullptr);  // it went with its thread
}

// Records the lParam of every dropped message, as an owner of heap records
// would free them.
struct DiscardLog {
    std::mutex mutex;
    std::vector<LPARAM> dropped;
    platform::PostedMessageDiscardHook hook()
    {
        return [this](const MSG& message) {
            std::lock_guard lock(mutex);
            dropped.push_back(message.lParam);
        };
    }
    std::vector<LPARAM> snapshot()
    {
        std::lock_guard lock(mutex);
        return dropped;
    }
};

TEST(DiscardHook, SeesWhatADestroyedWindowLeftButNotWhatWasDelivered)
{
    // What earlier cases in this process left in this thread's queue.
    for (MSG left{}; PeekMessageW(&left, nullptr, 0, 0, PM_REMOVE);) {
    }
    registerPlainClass(L"discardClass");
    HWND window = create(L"discardClass", L"w", nullptr);
    ASSERT_NE(window, nullptr);
    DiscardLog log;
    ASSERT_TRUE(platform::setPostedMessageDiscardHook(window, log.hook()));

    for (LPARAM record = 1; record <= 3; ++record)
        ASSERT_TRUE(PostMessageW(window, WM_COMMAND, 1025, record));
    MSG message{};
    ASSERT_EQ(GetMessageW(&message, nullptr, 0, 0), TRUE);
    EXPECT_EQ(message.lParam, 1);
    EXPECT_TRUE(log.snapshot().empty());

    ASSERT_TRUE(DestroyWindow(window));
    EXPECT_EQ(log.snapshot(), (std::vector<LPARAM>{2, 3}));
    EXPECT_FALSE(PostMessageW(window, WM_COMMAND, 1025, 4));  // refused: the poster keeps it
    EXPECT_EQ(log.snapshot().size(), 2u);
    EXPECT_FALSE(platform::setPostedMessageDiscardHook(window, log.hook()));
}

TEST(DiscardHook, SeesWhatWasLeftAtTheThreadsEnd)
{
    registerPlainClass(L"threadEndClass");
    DiscardLog log;
    std::atomic<HWND> window{nullptr};
    std::atomic<bool> posted{false};
    std::thread owner([&] {
        HWND created = create(L"threadEndClass", L"w", nullptr);
        platform::setPostedMessageDiscardHook(created, log.hook());
        window = created;
        vxtest::waitUntil([&] { return posted.load(); });
    });
    ASSERT_TRUE(vxtest::waitUntil([&] { return window.load() != nullptr; }));
    for (LPARAM record = 10; record <= 12; ++record)
        ASSERT_TRUE(PostMessageW(window, WM_COMMAND, 1025, record));
    posted = true;
    owner.join();
    EXPECT_EQ(log.snapshot(), (std::vector<LPARAM>{10, 11, 12}));
}

}  // namespace
