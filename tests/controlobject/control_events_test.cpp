// Events: fired at once on the creating thread; from any other thread
// handed to the container's thread through the control's window, with the
// caller held until then; freezing, switching delivery off, stale messages,
// the control's end with a caller inside.

#include "ControlFixtures.h"

#include "platform/sync.h"
#include "platform/window.h"

#include <atomic>
#include <condition_variable>
#include <future>
#include <thread>

namespace {

using controltest::Control;
using controltest::ControlTest;
using controltest::WriteDevice;
using platform::DispatchArg;
namespace id = controltest;

// An event sink: records what it gets, on which thread, and may change
// by-reference arguments.
class Sink final : public IDispatch {
public:
    enum class Lookup { Names, NotImplemented, Fails };
    struct Fired {
        DISPID id;
        DWORD thread;
        std::vector<std::string> args;
    };

    explicit Sink(Lookup lookup = Lookup::Names) : m_lookup(lookup) {}

    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IUnknown || iid == IID_IDispatch) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++m_references; }
    ULONG Release() override { return --m_references; }  // lives with the test
    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID locale, DISPID* ids) override
    {
        std::lock_guard lock(m_mutex);
        ++lookups;
        lastLocale = locale;
        if (m_lookup == Lookup::NotImplemented)
            return E_NOTIMPL;
        if (m_lookup == Lookup::Fails)
            return DISP_E_UNKNOWNNAME;
        const std::u16string name(names[0]);
        const std::pair<const char16_t*, DISPID> known[] = {
            {u"DataEvent", 101}, {u"DirectIOEvent", 102}, {u"ErrorEvent", 103}, {u"StatusUpdateEvent", 105}};
        for (const auto& [text, value] : known)
            if (name == text) {
                ids[0] = value;
                return S_OK;
            }
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override
    {
        Fired fired{dispid, GetCurrentThreadId(), {}};
        for (UINT i = params->cArgs; i-- > 0;) {
            const VARIANT& v = params->rgvarg[i];
            if (v.vt == VT_I4)
                fired.args.push_back(std::to_string(v.lVal));
            else if (v.vt == (VT_I4 | VT_BYREF))
                fired.args.push_back("&" + std::to_string(*v.plVal));
            else if (v.vt == (VT_BSTR | VT_BYREF))
                fired.args.push_back("&" + platform::ansiFromBstr(*v.pbstrVal));
            else
                fired.args.push_back("?");
        }
        if (onEvent)
            onEvent(*params);
        std::lock_guard lock(m_mutex);
        m_fired.push_back(fired);
        m_changed.notify_all();
        return S_OK;
    }

    std::vector<Fired> fired()
    {
        std::lock_guard lock(m_mutex);
        return m_fired;
    }
    std::size_t count()
    {
        std::lock_guard lock(m_mutex);
        return m_fired.size();
    }

    std::function<void(DISPPARAMS&)> onEvent;  // set before events come
    int lookups = 0;
    LCID lastLocale = 0;

private:
    Lookup m_lookup;
    std::atomic<ULONG> m_references{1};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Fired> m_fired;
};

// The application's thread: creates the control, connects its sinks and
// pumps messages; the test hands it work.
class Container {
public:
    explicit Container(std::vector<Sink*> sinks)
    {
        std::promise<void> started;
        m_thread = std::thread([this, sinks, &started] {
            m_threadId = GetCurrentThreadId();
            MSG message{};
            PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the queue exists before the test posts
            control = std::make_unique<Control>();
            IConnectionPointContainer* points = nullptr;
            IConnectionPoint* point = nullptr;
            EXPECT_EQ(control->dispatch()->QueryInterface(IID_IConnectionPointContainer,
                                                          reinterpret_cast<void**>(&points)),
                      S_OK);
            EXPECT_EQ(points->FindConnectionPoint(DIID__IOPOSScannerEvents, &point), S_OK);
            for (Sink* sink : sinks) {
                DWORD cookie = 0;
                EXPECT_EQ(point->Advise(sink, &cookie), S_OK);
            }
            point->Release();
            points->Release();
            started.set_value();
            while (GetMessageW(&message, nullptr, 0, 0) > 0) {
                if (message.hwnd == nullptr && message.message == kTask) {
                    auto* task = reinterpret_cast<std::function<void()>*>(message.lParam);
                    (*task)();
                    delete task;
                    continue;
                }
                DispatchMessageW(&message);
            }
            control.reset();
        });
        started.get_future().wait();
    }
    ~Container()
    {
        run([this] { control.reset(); });
        PostThreadMessageW(m_threadId, WM_QUIT, 0, 0);
        m_thread.join();
    }

    // Runs `work` on the container's thread, after every message queued
    // before it, and waits for it.
    void run(std::function<void()> work)
    {
        std::promise<void> done;
        post([&] {
            work();
            done.set_value();
        });
        done.get_future().wait();
    }
    // Hands `work` to the container's thread without waiting.
    void post(std::function<void()> work)
    {
        ASSERT_TRUE(PostThreadMessageW(m_threadId, kTask, 0,
                                       reinterpret_cast<LPARAM>(new std::function<void()>(std::move(work)))));
    }
    DWORD threadId() const { return m_threadId; }

    std::unique_ptr<Control> control;  // used on the container's thread

private:
    static constexpr UINT kTask = WM_APP + 7;
    std::thread m_thread;
    DWORD m_threadId = 0;
};

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
