// Events: fired at once on the creating thread; from any other thread
// handed to the container's thread through the control's window, with the
// caller held until then; freezing, switching delivery off, stale messages,
// the control's end with a caller inside.

#include "ControlFixtures.h"
#include "EventFixtures.h"

#include "platform/sync.h"
#include "platform/window.h"

#include <atomic>
#include <condition_variable>
#include <future>
#include <thread>

namespace {

using controltest::Container;
using controltest::Control;
using controltest::ControlTest;
using controltest::Sink;
using controltest::WriteDevice;
using platform::DispatchArg;
namespace id = controltest;

// A service object's thread calling a callback of the control by id, as
// the service object does (holding no reference of its own).
class ForeignCaller {
public:
    ForeignCaller(IDispatch* control, DISPID callback, std::vector<DispatchArg> args)
        : m_thread([this, control, callback, args] {
              platform::DispatchDriver driver(control, false);
              status = driver.invoke(callback, DISPATCH_METHOD, args, nullptr);
              returned = true;
          })
    {
    }
    ~ForeignCaller() { join(); }
    void join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    std::atomic<bool> returned{false};
    std::atomic<HRESULT> status{E_FAIL};

private:
    std::thread m_thread;
};

// True once a thread is blocked in a wait of the layer (the caller waiting
// for its delivery: nothing else of these tests waits that way).
bool CallerHeld()
{
    return vxtest::waitUntil([] { return platform::blockedWaitCount() > 0; });
}

class EventsTest : public ControlTest {
protected:
    void OpenAndClaim(Container& container)
    {
        WriteDevice("dev", 1);
        container.run([&] {
            ASSERT_EQ(container.control->open("dev"), 0);
            ASSERT_EQ(container.control->call(id::ClaimDevice, {DispatchArg::i4(1000)}), 0);
        });
    }
};

TEST_F(EventsTest, TheCreatingThreadFiresAtOnceEvenFrozen)
{
    Sink sink;
    Container container({&sink});
    OpenAndClaim(container);
    container.run([&] {
        container.control->put(id::FreezeEvents, DispatchArg::boolean(true));
        ASSERT_EQ(container.control->driver().invoke(1, DISPATCH_METHOD, {DispatchArg::i4(5)}, nullptr), S_OK);
        ASSERT_EQ(sink.count(), 1u);  // before SOData returned
    });
    const auto fired = sink.fired();
    EXPECT_EQ(fired[0].id, 101);
    EXPECT_EQ(fired[0].thread, container.threadId());
    EXPECT_EQ(fired[0].args, std::vector<std::string>{"5"});
    EXPECT_EQ(sink.lastLocale, LOCALE_USER_DEFAULT);
}

TEST_F(EventsTest, AnotherThreadsEventFiresOnTheContainerThreadBeforeItsCallerReturns)
{
    Sink sink;
    Container container({&sink});
    OpenAndClaim(container);
    IDispatch* control = container.control->dispatch();
    for (LONG status : {7, 8}) {
        ForeignCaller caller(control, 1, {DispatchArg::i4(status)});
        caller.join();
        EXPECT_EQ(caller.status, S_OK);
        ASSERT_EQ(sink.count(), static_cast<std::size_t>(status - 6));
        EXPECT_EQ(sink.fired().back().thread, container.threadId());
        EXPECT_EQ(sink.fired().back().args, std::vector<std::string>{std::to_string(status)});
    }
    ForeignCaller status(control, 5, {DispatchArg::i4(2004)});
    status.join();
    EXPECT_EQ(sink.fired().back().id, 105);
}

TEST_F(EventsTest, AFrozenEventHoldsItsCallerUntilThawedReleasedOrClosed)
{
    struct Case {
        const char* what;
        bool containerFreeze;  // IOleControl::FreezeEvents instead of the property
        std::function<void(Container&)> letGo;
        bool fires;
    };
    const Case cases[] = {
        {"FreezeEvents cleared", false,
         [](Container& c) { c.control->put(id::FreezeEvents, DispatchArg::boolean(false)); }, true},
        {"container thawed", true,
         [](Container& c) {
             IOleControl* ole = nullptr;
             c.control->dispatch()->QueryInterface(IID_IOleControl, reinterpret_cast<void**>(&ole));
             ole->FreezeEvents(FALSE);
             ole->Release();
         },
         true},
        {"ReleaseDevice", false, [](Container& c) { EXPECT_EQ(c.control->call(id::ReleaseDevice), 0); }, false},
        {"Close", false, [](Container& c) { EXPECT_EQ(c.control->call(id::Close), 0); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Sink sink;
        Container container({&sink});
        OpenAndClaim(container);
        container.run([&] {
            if (c.containerFreeze) {
                IOleControl* ole = nullptr;
                container.control->dispatch()->QueryInterface(IID_IOleControl, reinterpret_cast<void**>(&ole));
                ole->FreezeEvents(TRUE);
                ole->Release();
            } else {
                container.control->put(id::FreezeEvents, DispatchArg::boolean(true));
            }
        });
        ForeignCaller caller(container.control->dispatch(), 1, {DispatchArg::i4(3)});
        ASSERT_TRUE(CallerHeld());
        container.run([] {});  // the offered event was met and refused
        EXPECT_FALSE(caller.returned);
        EXPECT_EQ(sink.count(), 0u);

        container.run([&] { c.letGo(container); });
        ASSERT_TRUE(vxtest::waitUntil([&] { return caller.returned.load(); }));
        EXPECT_EQ(sink.count(), c.fires ? 1u : 0u);
    }
}

TEST_F(EventsTest, TheServiceObjectHearsOfTheContainersFirstFreezeAndLastThaw)
{
    WriteDevice("dev", 1);
    Control control;
    ASSERT_EQ(control.open("dev"), 0);
    IOleControl* ole = nullptr;
    ASSERT_EQ(control.dispatch()->QueryInterface(IID_IOleControl, reinterpret_cast<void**>(&ole)), S_OK);
    for (BOOL freeze : {TRUE, TRUE, FALSE, FALSE, FALSE})
        ole->FreezeEvents(freeze);
    ole->FreezeEvents(TRUE);
    ole->Release();
    std::vector<std::string> freezes;
    for (const std::string& call : slot(1).Calls())
        if (call.rfind("COFreezeEvents", 0) == 0)
            freezes.push_back(call);
    EXPECT_EQ(freezes, (std::vector<std::string>{"COFreezeEvents(true)", "COFreezeEvents(false)",
                                                  "COFreezeEvents(true)"}));
}

TEST_F(EventsTest, SinksGetTheirOwnIdsOrTheDefaultOnesAndTheFirstSinksIdsAreKept)
{
    Sink named;
    Sink unnamed(Sink::Lookup::NotImplemented);
    Sink failing(Sink::Lookup::Fails);
    Container container({&named, &unnamed, &failing});
    OpenAndClaim(container);
    LONG data = 0;
    LONG response = 12;
    BSTR text = nullptr;
    auto fireAll = [&] {
        const platform::DispatchDriver& so = container.control->driver();
        so.invoke(1, DISPATCH_METHOD, {DispatchArg::i4(0)}, nullptr);
        so.invoke(2, DISPATCH_METHOD, {DispatchArg::i4(9), DispatchArg::i4Ref(&data), DispatchArg::bstrRef(&text)},
                  nullptr);
        so.invoke(3, DISPATCH_METHOD,
                  {DispatchArg::i4(111), DispatchArg::i4(0), DispatchArg::i4(1), DispatchArg::i4Ref(&response)},
                  nullptr);
        so.invoke(5, DISPATCH_METHOD, {DispatchArg::i4(2001)}, nullptr);
    };
    container.run(fireAll);
    auto ids = [](Sink& sink) {
        std::vector<DISPID> out;
        for (const auto& f : sink.fired())
            out.push_back(f.id);
        return out;
    };
    EXPECT_EQ(ids(named), (std::vector<DISPID>{101, 102, 103, 105}));
    EXPECT_EQ(ids(unnamed), (std::vector<DISPID>{1, 2, 3, 5}));
    EXPECT_TRUE(ids(failing).empty());
    EXPECT_EQ(named.lookups, 4);
    EXPECT_EQ(unnamed.fired()[2].args, (std::vector<std::string>{"111", "0", "1", "&12"}));

    container.run(fireAll);
    EXPECT_EQ(named.lookups, 4);  // learnt from the first sink
    EXPECT_EQ(unnamed.lookups, 8);
    EXPECT_EQ(named.count(), 8u);
}

TEST_F(EventsTest, WhatTheSinkSetsReachesTheCallersVariables)
{
    Sink sink;
    sink.onEvent = [](DISPPARAMS& params) {
        if (params.cArgs == 4) {  // ErrorEvent: ErrorResponse is the last argument
            *params.rgvarg[0].plVal = 11;
        } else if (params.cArgs == 3) {  // DirectIOEvent: Data, String
            *params.rgvarg[1].plVal = 99;
            SysFreeString(*params.rgvarg[0].pbstrVal);
            *params.rgvarg[0].pbstrVal = platform::bstrFromAnsi("changed");
        }
    };
    Container container({&sink});
    OpenAndClaim(container);
    IDispatch* control = container.control->dispatch();

    LONG response = 12;
    {
        ForeignCaller caller(control, 3,
                             {DispatchArg::i4(111), DispatchArg::i4(0), DispatchArg::i4(1), DispatchArg::i4Ref(&response)});
    }
    EXPECT_EQ(response, 11);
    EXPECT_EQ(sink.fired().back().args, (std::vector<std::string>{"111", "0", "1", "&12"}));

    LONG data = 1;
    BSTR text = platform::bstrFromAnsi(std::string("a\0b", 3));
    {
        ForeignCaller caller(control, 2, {DispatchArg::i4(4), DispatchArg::i4Ref(&data), DispatchArg::bstrRef(&text)});
    }
    EXPECT_EQ(data, 99);
    EXPECT_EQ(platform::ansiFromBstr(text), "changed");
    EXPECT_EQ(sink.fired().back().args, (std::vector<std::string>{"4", "&1", std::string("&a\0b", 4)}));
    SysFreeString(text);
}

TEST_F(EventsTest, AMessageLeftByACallerThatWasLetGoNeverFires)
{
    Sink sink;
    Container container({&sink});
    OpenAndClaim(container);
    IDispatch* control = container.control->dispatch();
    auto response = std::make_unique<LONG>(12);
    std::unique_ptr<ForeignCaller> caller;
    // The container is busy while the caller posts, is let go by
    // ReleaseDevice and the device is claimed again: the caller's message
    // is still queued when the container pumps again.
    container.run([&] {
        caller = std::make_unique<ForeignCaller>(
            control, 3, std::vector<DispatchArg>{DispatchArg::i4(111), DispatchArg::i4(0), DispatchArg::i4(1),
                                                 DispatchArg::i4Ref(response.get())});
        ASSERT_TRUE(CallerHeld());
        EXPECT_EQ(container.control->call(id::ReleaseDevice), 0);
        ASSERT_TRUE(vxtest::waitUntil([&] { return caller->returned.load(); }));
        caller.reset();
        response.reset();  // the caller's variable is gone
        EXPECT_EQ(container.control->call(id::ClaimDevice, {DispatchArg::i4(0)}), 0);
    });
    container.run([] {});  // the left message has been met
    EXPECT_EQ(sink.count(), 0u);

    ForeignCaller next(control, 1, {DispatchArg::i4(8)});
    next.join();
    ASSERT_EQ(sink.count(), 1u);
    EXPECT_EQ(sink.fired()[0].id, 101);
    EXPECT_EQ(sink.fired()[0].args, std::vector<std::string>{"8"});
}

TEST_F(EventsTest, TheControlsEndLetsAHeldCallerGoAndWaitsForIt)
{
    Sink sink;
    Container container({&sink});
    OpenAndClaim(container);
    IDispatch* control = container.control->dispatch();
    std::unique_ptr<ForeignCaller> caller;
    container.run([&] {
        caller = std::make_unique<ForeignCaller>(control, 1, std::vector<DispatchArg>{DispatchArg::i4(1)});
        ASSERT_TRUE(CallerHeld());
        container.control->reset();  // the final release, with the caller inside
    });
    caller->join();
    EXPECT_EQ(caller->status, S_OK);
    EXPECT_EQ(sink.count(), 0u);
    std::lock_guard lock(slot(1).mutex);
    EXPECT_EQ(slot(1).liveObjects, 0);
    EXPECT_EQ(slot(1).control, nullptr);
}

TEST_F(EventsTest, CloseDropsQueuedEventsAndKeepsAPostedQuit)
{
    Sink sink;
    Container container({&sink});
    OpenAndClaim(container);
    IDispatch* control = container.control->dispatch();
    std::unique_ptr<ForeignCaller> caller;
    std::vector<MSG> left;
    container.run([&] {
        caller = std::make_unique<ForeignCaller>(control, 1, std::vector<DispatchArg>{DispatchArg::i4(1)});
        ASSERT_TRUE(CallerHeld());  // its message waits in this thread's queue
        PostQuitMessage(9);
        EXPECT_EQ(container.control->call(id::Close), 0);
        ASSERT_TRUE(vxtest::waitUntil([&] { return caller->returned.load(); }));
        MSG message{};
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            left.push_back(message);
    });
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].message, WM_QUIT);
    EXPECT_EQ(left[0].wParam, 9u);
    EXPECT_EQ(sink.count(), 0u);
}

}  // namespace
