// The event window and its thread: records reach the owner's fire
// operations in order on the window's thread and are freed; AutoDisable
// on "DEVICE_ENABLE"; only WM_COMMAND for the window is taken for a record;
// WM_CLOSE ends the thread and frees what was still posted.
#include "SOFixtures.h"

#include "CImagerDataQ.h"
#include "CImagerEventIF.h"
#include "SOMessages.h"

#include "platform/sync.h"

using namespace sotest;

namespace {

template <typename Event>
Event* addressed(Event* event, HWND window, UINT command = kScannerEventCommand)
{
    event->m_hWnd = window;
    event->m_nCommand = command;
    return event;
}

// A data, an error, a status and an image record posted straight to the
// window: the first three are fired in order, the image is not; all four
// are freed.
TEST(EventWindow, RecordsAreFiredInOrderOnTheWindowThreadThenFreed)
{
    EventRig rig(false);
    HWND window = rig.window.GetSafeHwnd();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(FindWindowExW(GetDesktopWindow(), nullptr, nullptr, L"ScannerEventIFWindow"), window);

    SBarcodeRecord barcode;
    barcode.m_label[0] = 'X';
    barcode.m_nLength = 1;
    barcode.m_cCodeId = 'a';
    barcode.m_aim[0] = 'A';
    barcode.m_aim[1] = '0';
    auto* error = new CErrorEvent;
    error->m_lResultCodeExtended = 2;
    const std::vector<COPOSEvent*> records = {
        addressed(new CDataEvent(barcode), window), addressed(error, window),
        addressed(new CountedStatus(2001), window), addressed(new CImageDataEvent(), window)};
    for (COPOSEvent* record : records)
        ASSERT_EQ(rig.queue.PostToWindow(record), 1);
    ASSERT_TRUE(rig.owner.waitForCount(3));
    ASSERT_TRUE(vxtest::waitUntil([&] {
        return rig.debug.contains("ScnrEventIF.OnCommand() | Asserting on an unknown or unimplemented OPOS event type");
    }));
    EXPECT_EQ(rig.owner.fired(), (std::vector<std::string>{"D:a]A0X", "E:111,2,2,12,0", "S:2001"}));
    for (DWORD thread : rig.owner.threads())
        EXPECT_EQ(thread, rig.windowThread.ThreadId());
    EXPECT_NE(rig.windowThread.ThreadId(), GetCurrentThreadId());
    EXPECT_EQ(CountedStatus::live.load(), 0);
}

TEST(EventWindow, AutoDisableAppliesWhenABarcodeIsQueuedEvenWhileDataEventsAreDisabled)
{
    for (long autoDisable : {1L, 0L}) {
        EventRig rig;
        rig.owner.autoDisable = autoDisable;
        rig.queue.receiveCallBack(barcodeRecord("LABEL"));
        ASSERT_TRUE(rig.waitHeld(1));  // DataEventEnabled is false: the event waits
        ASSERT_TRUE(vxtest::waitUntil([&] {
            return rig.debug.count("ScnrEventIF.OnCommand() | entered") >= 1;
        }));
        // The carrier was handled (and freed) on the window's thread.
        EXPECT_EQ(rig.owner.disabled.load(), autoDisable == 1 ? 1 : 0) << autoDisable;
        EXPECT_TRUE(rig.owner.fired().empty());
        EXPECT_EQ(rig.queue.GetDataCount(), 1);
    }
}

// A message that only looks like an event: another number with wParam
// 1025, or WM_COMMAND posted to the thread rather than the window.
TEST(EventWindow, OnlyAWindowsCommandIsTakenForARecord)
{
    EventRig rig(false);
    HWND window = rig.window.GetSafeHwnd();
    CountedStatus notARecordForIt(7);
    ASSERT_TRUE(PostMessageW(window, WM_USER + 5, kScannerEventCommand, reinterpret_cast<LPARAM>(&notARecordForIt)));
    ASSERT_TRUE(PostThreadMessageW(rig.windowThread.ThreadId(), WM_COMMAND, kScannerEventCommand,
                                   reinterpret_cast<LPARAM>(&notARecordForIt)));
    // A real record behind them shows they were handled first.
    ASSERT_EQ(rig.queue.PostToWindow(addressed(new CStatusUpdateEvent(2001), window)), 1);
    ASSERT_TRUE(rig.owner.waitForCount(1));
    EXPECT_EQ(rig.owner.fired(), (std::vector<std::string>{"S:2001"}));
    EXPECT_EQ(CountedStatus::live.load(), 1);  // the stack record above, untouched

    // Commands the window does not handle are logged and passed on.
    ASSERT_TRUE(PostMessageW(window, WM_COMMAND, 15559, 0));
    ASSERT_TRUE(PostMessageW(window, WM_COMMAND, 4242, 0));
    ASSERT_TRUE(vxtest::waitUntil([&] {
        return rig.debug.contains("ScnrEventIF.OnCommand() |WM_ZRI_PROGRESS_HWND_MSG|15559") &&
               rig.debug.contains("ScnrEventIF.OnCommand() |param not processed|4242");
    }));
}

// WM_CLOSE reaches the thread while a fire blocks it, ahead of three more
// records: the thread ends and the three are freed, never fired.
TEST(EventWindow, CloseEndsTheThreadAndFreesWhatWasStillPosted)
{
    EventRig rig(false);
    HWND window = rig.window.GetSafeHwnd();
    HANDLE entered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    rig.owner.duringFire = [&] {
        SetEvent(entered);
        WaitForSingleObject(release, INFINITE);
    };
    ASSERT_EQ(rig.queue.PostToWindow(addressed(new CountedStatus(1), window)), 1);
    ASSERT_EQ(WaitForSingleObject(entered, 20000), WAIT_OBJECT_0);
    ASSERT_TRUE(rig.windowThread.PostClose());
    for (long status = 2; status <= 4; ++status)
        ASSERT_EQ(rig.queue.PostToWindow(addressed(new CountedStatus(status), window)), 1);
    EXPECT_EQ(CountedStatus::live.load(), 4);
    SetEvent(release);
    ASSERT_TRUE(rig.windowThread.WaitForEnd(20000));
    EXPECT_EQ(rig.owner.fired().size(), 1u);
    EXPECT_EQ(CountedStatus::live.load(), 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(rig.debug.contains("CScannerMgr::ThreadRoutine()|Destroying window"));

    // Later posts find no window: the queue frees the record itself.
    EXPECT_EQ(rig.queue.PostToWindow(addressed(new CountedStatus(5), window)), 1);
    EXPECT_EQ(CountedStatus::live.load(), 0);
    CloseHandle(entered);
    CloseHandle(release);
}

class RecordingImagerOwner : public IImagerEventOwner {
public:
    void FireImageDataEvent(CImageDataEvent* event) override { add("I:" + std::to_string(event->DataLength())); }
    void FireErrorEvent(CErrorEvent* event) override { add("E:" + std::to_string(event->m_lResultCodeExtended)); }
    void FireSUE(CStatusUpdateEvent* event) override { add("S:" + std::to_string(event->m_lStatus)); }
    std::vector<std::string> fired()
    {
        std::lock_guard lock(m_mutex);
        return m_fired;
    }

private:
    void add(std::string text)
    {
        std::lock_guard lock(m_mutex);
        m_fired.push_back(std::move(text));
    }
    std::mutex m_mutex;
    std::vector<std::string> m_fired;
};

TEST(ImagerEventWindow, ImagesErrorsAndStatusesOfTheImagerQueue)
{
    RecordingDebug debug;
    RecordingImagerOwner owner;
    CImagerEventIF window;
    window.SetDebug(&debug);
    window.SetOwner(&owner);
    CEventWindowThread thread(window, &debug);
    ASSERT_TRUE(thread.Start());
    ASSERT_EQ(thread.WaitForWindow(20000), 1);
    CImagerDataQ queue(500, &debug);
    queue.SetEventWindow(window.GetSafeHwnd());
    ASSERT_TRUE(queue.StartThread());
    queue.SetDataEventEnabled(true);

    const unsigned char bytes[5] = {1, 2, 3, 4, 5};
    SImageRecord image{bytes, 5, {1, 2, 3}};
    EXPECT_EQ(queue.AddToQ(&image, 2, 5), 0);  // only kind 1 is an image
    EXPECT_EQ(queue.AddToQ(&image, 1, 5), 1);
    ASSERT_TRUE(vxtest::waitUntil([&] { return owner.fired().size() == 1; }));
    queue.ProcessSUE(2001);
    queue.AddToQ(3L);
    queue.SetDataEventEnabled(false);
    queue.SetDataEventEnabled(true);
    ASSERT_TRUE(vxtest::waitUntil([&] { return owner.fired().size() == 3; }));
    EXPECT_EQ(owner.fired(), (std::vector<std::string>{"I:5", "S:2001", "E:3"}));
    queue.Shutdown();
}

}  // namespace
