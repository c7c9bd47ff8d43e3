// The event queue and its delivery thread against a recording event
// window: which event goes out when, by the OPOS rules.
#include "SOFixtures.h"

#include "platform/registry.h"
#include "platform/sync.h"

#include <thread>

#include <memory>

using namespace sotest;

namespace {

CDataEvent* dataEvent(const std::string& label)
{
    SBarcodeRecord record;
    std::memcpy(record.m_label, label.data(), label.size());
    record.m_cCodeId = 'd';
    record.m_aim[0] = 'E';
    record.m_aim[1] = '0';
    record.m_nLength = static_cast<std::int32_t>(label.size());
    auto* event = new CDataEvent(record);
    return event;
}

// What a data event with the SDK's layout fires as.
std::string fired(const std::string& label)
{
    return "D:d]E0" + label;
}

class EventQueueTest : public ::testing::Test {
protected:
    void addData(const std::string& label)
    {
        CDataEvent* event = dataEvent(label);
        event->m_hWnd = rig.queue.GetEventWindow();
        event->m_nCommand = kScannerEventCommand;
        ASSERT_EQ(rig.queue.AddToTail(event), 1);
    }
    EventRig rig;
};

// One scenario per row: the steps, then what the window fired in order and
// what stayed listed.
TEST_F(EventQueueTest, DataHeldWhileDisabledStatusAtTheHeadPasses)
{
    rig.queue.ProcessSUE(2001);
    ASSERT_TRUE(rig.owner.waitForCount(1));
    addData("A");
    ASSERT_TRUE(rig.waitHeld(1));
    EXPECT_EQ(rig.owner.fired(), (std::vector<std::string>{"S:2001"}));
    EXPECT_EQ(rig.queue.GetDataCount(), 1);
    EXPECT_EQ(rig.queue.GetPowerState(), 2001);
}

// Two data events queued under one enabling: only the first goes out. A
// status update does not wait behind the second for the next enabling.
TEST_F(EventQueueTest, OneDataEventPerEnablingAndAStatusDoesNotWaitBehindTheRest)
{
    rig.enable();
    addData("A");
    addData("B");
    ASSERT_TRUE(rig.owner.waitForCount(1));
    ASSERT_TRUE(rig.waitHeld(1));  // B waits for the next enabling
    rig.queue.ProcessSUE(2004);
    ASSERT_TRUE(rig.owner.waitForCount(2));
    EXPECT_EQ(rig.owner.fired(), (std::vector<std::string>{fired("A"), "S:2004"}));
    EXPECT_EQ(rig.queue.GetDataCount(), 1);
    EXPECT_EQ(rig.queue.Count(), 1);

    // B goes out at the next enabling.
    rig.queue.SetDataEventEnabled(true);
    ASSERT_TRUE(rig.owner.waitForCount(3));
    EXPECT_EQ(rig.owner.fired(), (std::vector<std::string>{fired("A"), "S:2004", fired("B")}));
    EXPECT_EQ(rig.queue.Count(), 0);
    EXPECT_EQ(rig.queue.GetState(), 4);
    EXPECT_EQ(rig.queue.GetPowerState(), 2004);
    // Every fire ran on the window's thread.
    for (DWORD thread : rig.owner.threads())
        EXPECT_EQ(thread, rig.windowThread.ThreadId());
}

TEST_F(EventQueueTest, FreezeHoldsEverythingAndItsReleaseDeliversTheHeadOnly)
{
    rig.enable();
    rig.queue.SetFreezeEvents(true);
    rig.queue.ProcessSUE(2001);
    addData("A");
    ASSERT_TRUE(vxtest::waitUntil(
        [&] { return rig.debug.count("DataQ.ThreadRoutine(): |Freeze events enabled") == 2; }));
    EXPECT_TRUE(rig.owner.fired().empty());

    rig.queue.SetFreezeEvents(false);
    ASSERT_TRUE(rig.owner.waitForCount(1));
    ASSERT_TRUE(vxtest::waitUntil([&] { return rig.debug.contains("IDX_FREEZE_CHANGED Q count: 1"); }));
    EXPECT_EQ(rig.owner.fired(), (std::vector<std::string>{"S:2001"}));
    EXPECT_EQ(rig.queue.GetDataCount(), 1);  // no signal left for it

    rig.queue.SignalOne();
    ASSERT_TRUE(rig.owner.waitForCount(2));
    EXPECT_EQ(rig.owner.fired().back(), fired("A"));
}

// The release delivers a data event at the head; an unplug right behind it
// follows at once, as after an enabling, not with the next enabling.
TEST_F(EventQueueTest, AStatusBehindTheDataEventAFreezeReleaseDeliversFollowsIt)
{
    rig.enable();
    rig.queue.SetFreezeEvents(true);
    addData("A");
    rig.queue.ProcessSUE(2004);
    addData("B");
    ASSERT_TRUE(vxtest::waitUntil(
        [&] { return rig.debug.count("DataQ.ThreadRoutine(): |Freeze events enabled") == 3; }));
    EXPECT_TRUE(rig.owner.fired().empty());

    rig.queue.SetFreezeEvents(false);
    ASSERT_TRUE(rig.owner.waitForCount(2));
    EXPECT_EQ(rig.owner.fired(), (std::vector<std::string>{fired("A"), "S:2004"}));
    // B waits for the application to enable data events again.
    EXPECT_EQ(rig.queue.Count(), 1);
    EXPECT_EQ(rig.queue.GetDataCount(), 1);
    EXPECT_FALSE(rig.queue.GetStatusBehind());
}

TEST_F(EventQueueTest, RepeatedStatusesAreDroppedExceptFirmwareOutcomes)
{
    const struct {
        long status;
        bool queued;
    } steps[] = {{2001, true}, {2001, false}, {2205, true}, {2205, true}, {50, true}, {50, false},
                 {51, true},   {2004, true},  {2004, false}, {2100, true}, {2100, true}};
    std::vector<std::string> expected;
    for (const auto& step : steps) {
        rig.queue.SetState(2);
        rig.queue.ProcessSUE(step.status);
        if (step.queued)
            expected.push_back("S:" + std::to_string(step.status));
        if (step.status == 2004) {
            EXPECT_EQ(rig.queue.GetState(), 4) << "2004 sets State 4, dropped or not";
        }
    }
    ASSERT_TRUE(rig.owner.waitForCount(expected.size()));
    EXPECT_EQ(rig.owner.fired(), expected);
}

TEST_F(EventQueueTest, InternalErrorBehindDataGoesToTheHeadAndTheTail)
{
    addData("A");
    addData("B");
    ASSERT_TRUE(rig.waitHeld(2));
    rig.queue.AddToQ(2L);
    ASSERT_TRUE(rig.waitHeld(3));  // the tail error's signal found the head held
    EXPECT_EQ(rig.queue.GetState(), 4);
    EXPECT_EQ(rig.queue.Count(), 4);
    std::vector<std::string> expected{"E:111,2,3,13,3", fired("A"), fired("B"), "E:111,2,2,12,0"};
    for (std::size_t n = 1; n <= expected.size(); ++n) {
        rig.queue.SetDataEventEnabled(true);
        ASSERT_TRUE(rig.owner.waitForCount(n));
        rig.queue.SetDataEventEnabled(false);
    }
    EXPECT_EQ(rig.owner.fired(), expected);

    // With nothing listed the error goes to the tail alone.
    rig.queue.SetDataEventEnabled(true);
    rig.queue.AddToQ(7L);
    ASSERT_TRUE(rig.owner.waitForCount(5));
    EXPECT_EQ(rig.owner.fired().back(), "E:111,7,2,12,0");
}

TEST_F(EventQueueTest, PurgeInputKeepsTheStatusAndSignalsOnce)
{
    // Frozen, the status stays listed between the two labels.
    rig.queue.SetFreezeEvents(true);
    addData("A");
    rig.queue.ProcessSUE(2001);
    addData("B");
    ASSERT_TRUE(vxtest::waitUntil(
        [&] { return rig.debug.count("DataQ.ThreadRoutine(): |Freeze events enabled") == 3; }));
    EXPECT_EQ(rig.queue.GetDataCount(), 2);
    EXPECT_EQ(rig.queue.PurgeInput(), 1);
    EXPECT_EQ(rig.queue.GetDataCount(), 0);
    EXPECT_EQ(rig.queue.Count(), 1);
    rig.queue.SetFreezeEvents(false);
    ASSERT_TRUE(rig.owner.waitForCount(1));
    EXPECT_EQ(rig.owner.fired(), (std::vector<std::string>{"S:2001"}));
    EXPECT_EQ(rig.queue.Count(), 0);
    EXPECT_EQ(rig.queue.PurgeInput(), 0);  // nothing kept, no signal
}

TEST(EventQueueCapacity, WithoutAThreadThe501stEventIsDropped)
{
    RecordingDebug debug;
    CScannerDataQ queue(500, &debug);
    queue.SetEventWindow(reinterpret_cast<HWND>(0x1234));  // never posted to: nothing is delivered
    for (int i = 0; i < 500; ++i) {
        auto* event = new CStatusUpdateEvent(i);
        event->m_hWnd = queue.GetEventWindow();
        ASSERT_EQ(queue.AddToTail(event), 1);
    }
    auto* extra = dataEvent("X");
    EXPECT_EQ(queue.AddToTail(extra), 0);  // deleted there (ASan watches)
    EXPECT_EQ(queue.GetDataCount(), 0);
    EXPECT_EQ(queue.Count(), 500);
    queue.PurgeFirst(0);
    EXPECT_EQ(queue.Count(), 500);
    queue.PurgeFirst(3);
    EXPECT_EQ(queue.Count(), 497);
}

TEST(EventQueueLifetime, ADestroyedQueueLeavesNoThreadAndNoRecord)
{
    RecordingDebug debug;
    {
        CScannerDataQ queue(500, &debug);
        ASSERT_TRUE(queue.StartThread());
        queue.SetDataEventEnabled(false);
        for (int i = 0; i < 5; ++i)
            queue.AddToHead(new CountedStatus(2000 + i), true);
        EXPECT_EQ(CountedStatus::live.load(), 5);
        queue.SetLastImage(std::vector<unsigned char>(100, 1));
        queue.SetLastImage(std::vector<unsigned char>(50, 2));  // the first is freed
        EXPECT_TRUE(queue.IsRunning());
    }  // no Shutdown: the destructor stops the thread
    EXPECT_EQ(CountedStatus::live.load(), 0);
    EXPECT_TRUE(debug.contains("DataQ.ThreadRoutine(): |request thread shutdown"));
    EXPECT_FALSE(debug.contains("shutdown deadlock"));
}

// The intake of SDK records: what becomes an event, an error or only a
// count.
class IntakeTest : public ::testing::Test {
protected:
    // Each test counts from a key of its own making, whatever ran before it
    // in this process, and leaves none behind.
    IntakeTest()
    {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kKey);
        // The registry counters are the default host's: a host program's
        // initialisation earlier in this process installed its own.
        SetSOHost(nullptr);
        HKEY key = nullptr;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        RegCloseKey(key);
        rig.queue.SetDeviceKey(kKey);
        rig.enable();
    }
    ~IntakeTest() override { RegDeleteTreeA(HKEY_LOCAL_MACHINE, kKey); }
    static DWORD counter(const char* name)
    {
        DWORD value = 0;
        DWORD size = sizeof value;
        HKEY key = nullptr;
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key);
        const LONG result = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
        RegCloseKey(key);
        return result == ERROR_SUCCESS ? value : 0xDEAD;
    }
    static constexpr const char* kKey = "SOFTWARE\\OLEforRetail\\ServiceOPOS\\Scanner\\Intake";
    EventRig rig;
};

TEST_F(IntakeTest, RecordsBecomeEventsErrorsOrCounts)
{
    rig.queue.receiveCallBack(barcodeRecord("LABEL1", 'j', "Q1"));
    ASSERT_TRUE(rig.owner.waitForCount(1));
    EXPECT_EQ(rig.owner.fired().back(), "D:j]Q1LABEL1");
    EXPECT_EQ(counter("GOODSCANCOUNT"), 1u);

    // A NoRead (code identifier 0x9C) queues nothing and counts a no-read.
    rig.queue.receiveCallBack(barcodeRecord("", static_cast<char>(0x9C)));
    EXPECT_EQ(counter("NOREADCOUNT"), 1u);
    EXPECT_EQ(rig.queue.Count(), 0);

    // An empty label, a record that is no barcode and a label over the
    // 4096-byte buffer each give ErrorEvent 111/2; nothing is cut.
    const std::string longest(4096, 'L');
    rig.queue.receiveCallBack(barcodeRecord(""));
    rig.queue.receiveCallBack(new CData(8));
    rig.queue.receiveCallBack(barcodeRecord(longest + "X"));
    rig.queue.receiveCallBack(barcodeRecord(longest));
    ASSERT_TRUE(rig.waitHeld(4));
    for (std::size_t n = 2; n <= 5; ++n) {
        rig.queue.SetDataEventEnabled(false);
        rig.queue.SetDataEventEnabled(true);
        ASSERT_TRUE(rig.owner.waitForCount(n));
    }
    const auto all = rig.owner.fired();
    EXPECT_EQ(all[1], "E:111,2,2,12,0");
    EXPECT_EQ(all[2], "E:111,2,2,12,0");
    EXPECT_EQ(all[3], "E:111,2,2,12,0");
    EXPECT_EQ(all[4], "D:d]E0" + longest);
    EXPECT_EQ(counter("GOODSCANCOUNT"), 2u);
    EXPECT_EQ(counter("NOREADCOUNT"), 1u);
}

TEST_F(IntakeTest, CountersStartAgainFromTheirLimitAndGoToAHostWhenBound)
{
    HKEY key = nullptr;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS, &key);
    const DWORD full = 0xFFFFFFFFu;
    RegSetValueExA(key, "GOODSCANCOUNT", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&full), sizeof full);
    RegCloseKey(key);
    EXPECT_EQ(rig.queue.updateStatistics(1), 1);
    EXPECT_EQ(counter("GOODSCANCOUNT"), 1u);
    EXPECT_EQ(rig.queue.updateStatistics(3), 1);
    EXPECT_EQ(counter("COMMERRORCOUNT"), 1u);
    EXPECT_EQ(rig.queue.updateStatistics(9), 1);

    HostDouble host(1);
    SetSOHost(&host);
    rig.queue.receiveCallBack(barcodeRecord("L"));
    rig.queue.receiveCallBack(barcodeRecord("", static_cast<char>(0x9C)));
    SetSOHost(nullptr);
    EXPECT_EQ(host.counters, (std::vector<int>{1, 2}));
    EXPECT_EQ(counter("GOODSCANCOUNT"), 1u);  // the registry is left alone

    rig.queue.SetDeviceKey("SOFTWARE\\no\\such\\key");
    EXPECT_EQ(rig.queue.updateStatistics(1), 0);
}

// A counter stored as text (four bytes with its NUL, the size of a DWORD)
// is no count: it counts as missing, once told in the log, and the count
// starts again as a DWORD.
TEST_F(IntakeTest, ACounterOfTheWrongTypeStartsAgain)
{
    HKEY key = nullptr;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS, &key);
    RegSetValueExA(key, "NOREADCOUNT", 0, REG_SZ, reinterpret_cast<const BYTE*>("123"), 4);
    const unsigned char bytes[4] = {7, 0, 0, 0};
    RegSetValueExA(key, "COMMERRORCOUNT", 0, REG_BINARY, bytes, sizeof bytes);
    RegCloseKey(key);

    EXPECT_EQ(rig.queue.updateStatistics(2), 1);
    EXPECT_EQ(counter("NOREADCOUNT"), 1u);
    EXPECT_EQ(rig.queue.updateStatistics(3), 1);
    EXPECT_EQ(counter("COMMERRORCOUNT"), 1u);
    EXPECT_EQ(rig.queue.updateStatistics(2), 1);  // a DWORD now
    EXPECT_EQ(counter("NOREADCOUNT"), 2u);
    const auto told = [&](const char* name) {
        int n = 0;
        for (const auto& line : rig.debug.lines())
            n += line.find("wrong type") != std::string::npos && line.find(name) != std::string::npos ? 1 : 0;
        return n;
    };
    EXPECT_EQ(told("NOREADCOUNT"), 1);
    EXPECT_EQ(told("COMMERRORCOUNT"), 1);
}

TEST(EventRecords, DataEventLayoutAndStripping)
{
    std::unique_ptr<CDataEvent> event(dataEvent("12345"));
    EXPECT_EQ(event->m_nEventType, EVT_DATA);
    EXPECT_EQ(event->DataLength(), 9);
    EXPECT_EQ(event->m_data[1], ']');
    EXPECT_EQ(std::string(event->m_data.begin(), event->m_data.end()), "d]E012345");
    event->StripIdentifiers();
    EXPECT_EQ(event->DataLength(), 5);
    EXPECT_EQ(std::string(event->m_data.begin(), event->m_data.end()), "12345");
    EXPECT_EQ(event->m_cCodeId, 'd');
    EXPECT_EQ(event->m_aim[0], 'E');
    EXPECT_EQ(event->m_aim[1], '0');

    CErrorEvent error;
    EXPECT_EQ(error.m_lResultCode, 111);
    EXPECT_EQ(error.m_lResultCodeExtended, 111);
    EXPECT_EQ(error.m_lErrorLocus, 2);
    EXPECT_EQ(error.m_lErrorResponse, 12);

    const unsigned char image[] = {1, 2, 3};
    SImageRecord record{image, 3, {640, 480, 3}};
    std::unique_ptr<COPOSEvent> base(new CImageDataEvent(record));  // freed through the base (ASan)
    auto* copy = static_cast<CImageDataEvent*>(base.get());
    EXPECT_EQ(copy->m_nEventType, EVT_IMAGE);
    EXPECT_EQ(copy->DataLength(), 3);
    EXPECT_EQ(copy->m_lAttributes[1], 480);
}

}  // namespace

namespace {

// A debug output that holds the delivery thread inside its shutdown step
// until the test lets it go.
class BlockingDebug : public RecordingDebug {
public:
    HANDLE reached = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ~BlockingDebug() override
    {
        CloseHandle(reached);
        CloseHandle(release);
    }
    void LogText(const char* tag, const char* text) override
    {
        RecordingDebug::LogText(tag, text);
        if (std::string(text) == "request thread shutdown") {
            SetEvent(reached);
            WaitForSingleObject(release, INFINITE);
        }
    }
};

// A delivery thread that does not end within half a second: Shutdown warns
// and goes on waiting, so the queue is never freed under the thread.
TEST(EventQueueShutdown, ASlowThreadIsWarnedAboutAndWaitedFor)
{
    BlockingDebug debug;
    auto queue = std::make_unique<CScannerDataQ>(500, &debug);
    ASSERT_TRUE(queue->StartThread());
    std::atomic<bool> returned{false};
    std::thread stopper([&] {
        queue->Shutdown();
        returned = true;
    });
    ASSERT_EQ(WaitForSingleObject(debug.reached, 20000), WAIT_OBJECT_0);
    ASSERT_TRUE(vxtest::waitUntil([&] { return debug.contains("shutdown deadlock, ignoring and shutting down!!"); }));
    EXPECT_FALSE(returned.load());
    EXPECT_TRUE(queue->IsRunning());
    SetEvent(debug.release);
    stopper.join();
    EXPECT_TRUE(returned.load());
    EXPECT_FALSE(queue->IsRunning());
    EXPECT_TRUE(debug.contains("DataQ.Shutdown(): |exit"));
    queue.reset();
}

}  // namespace
