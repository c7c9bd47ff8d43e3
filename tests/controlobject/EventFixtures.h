// A container for the control's event tests: an event sink that records
// what it gets, and the application's thread that creates the control,
// connects the sinks and pumps messages.
#pragma once

#include "ControlFixtures.h"

#include "platform/window.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace controltest {

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
        if (onInvoke)
            onInvoke(dispid, *params);
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
    std::function<void(DISPID, DISPPARAMS&)> onInvoke;  // likewise, with the event's id
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

}  // namespace controltest
