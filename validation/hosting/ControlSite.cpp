// The control site and its event sink.
#include "ControlSite.h"

#include "OposScanner.h"

#include "platform/dispatch.h"

#include <atomic>

// The sink the site connects to the control: an IDispatch that answers the
// OPOS event names and ids, and passes each event to the site's callback.
// It may outlive the site when a control keeps it; it then answers events
// and does nothing with them.
class ControlSite::EventSink final : public IDispatch {
public:
    explicit EventSink(ControlSite* site) : m_site(site) {}

    void Forget() { m_site = nullptr; }

    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        if (object == nullptr)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID__IOPOSScannerEvents) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++m_references; }
    ULONG Release() override
    {
        const ULONG left = --m_references;
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT GetTypeInfoCount(UINT* count) override
    {
        if (count == nullptr)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override
    {
        if (info != nullptr)
            *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        return Table().getIDsOfNames(names, count, ids);
    }
    HRESULT Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* exception, UINT* argumentError) override
    {
        return Table().invoke(this, id, iid, locale, flags, params, result, exception, argumentError);
    }

private:
    static ControlSite* Site(void* object) { return static_cast<EventSink*>(object)->m_site; }

    // Calls a copy: a callback may end the site (and the original with it)
    // while it runs.
    template <typename Callback, typename... Args>
    static void Call(const Callback& callback, Args... args)
    {
        if (!callback)
            return;
        const Callback copy = callback;
        copy(args...);
    }

    static const platform::DispatchTable& Table()
    {
        using platform::DispatchCall;
        constexpr VARTYPE I4 = VT_I4;
        constexpr VARTYPE I4_REF = VT_I4 | VT_BYREF;
        constexpr VARTYPE TEXT_REF = VT_BSTR | VT_BYREF;
        static const platform::DispatchTable table({
            {"DataEvent", DISPID_OPOS_DATAEVENT, DISPATCH_METHOD, {I4}, VT_EMPTY,
             [](void* o, DispatchCall& c) {
                 if (ControlSite* site = Site(o))
                     Call(site->onDataEvent, c.i4(0));
                 return S_OK;
             }},
            {"DirectIOEvent", DISPID_OPOS_DIRECTIOEVENT, DISPATCH_METHOD, {I4, I4_REF, TEXT_REF}, VT_EMPTY,
             [](void* o, DispatchCall& c) {
                 if (ControlSite* site = Site(o))
                     Call(site->onDirectIOEvent, c.i4(0), c.i4Ref(1), c.bstrRef(2));
                 return S_OK;
             }},
            {"ErrorEvent", DISPID_OPOS_ERROREVENT, DISPATCH_METHOD, {I4, I4, I4, I4_REF}, VT_EMPTY,
             [](void* o, DispatchCall& c) {
                 if (ControlSite* site = Site(o))
                     Call(site->onErrorEvent, c.i4(0), c.i4(1), c.i4(2), c.i4Ref(3));
                 return S_OK;
             }},
            {"StatusUpdateEvent", DISPID_OPOS_STATUSUPDATEEVENT, DISPATCH_METHOD, {I4}, VT_EMPTY,
             [](void* o, DispatchCall& c) {
                 if (ControlSite* site = Site(o))
                     Call(site->onStatusUpdateEvent, c.i4(0));
                 return S_OK;
             }},
        });
        return table;
    }

    std::atomic<ULONG> m_references{1};
    ControlSite* m_site;
};

ControlSite::ControlSite() : m_sink(new EventSink(this)) {}

ControlSite::~ControlSite()
{
    Reset();
    m_sink->Forget();
    m_sink->Release();
}

void ControlSite::Reset()
{
    if (m_point != nullptr) {
        m_point->Unadvise(m_cookie);
        m_point->Release();
        m_point = nullptr;
        m_cookie = 0;
    }
    if (m_control != nullptr) {
        m_control->Release();
        m_control = nullptr;
    }
}

HRESULT ControlSite::Connect()
{
    IConnectionPointContainer* points = nullptr;
    HRESULT status = m_control->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&points));
    if (FAILED(status))
        return status;
    IConnectionPoint* point = nullptr;
    status = points->FindConnectionPoint(DIID__IOPOSScannerEvents, &point);
    points->Release();
    if (FAILED(status))
        return status;
    DWORD cookie = 0;
    status = point->Advise(m_sink, &cookie);
    if (FAILED(status)) {
        point->Release();
        return status;
    }
    m_point = point;
    m_cookie = cookie;
    return S_OK;
}

HRESULT ControlSite::Create(const CLSID& clsid)
{
    Reset();
    IDispatch* control = nullptr;
    HRESULT status =
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&control));
    if (FAILED(status))
        return status;
    if (control == nullptr)
        return E_POINTER;
    m_control = control;
    status = Connect();
    if (FAILED(status))
        Reset();
    return status;
}

void ControlSite::Attach(IDispatch* control)
{
    Reset();
    if (control == nullptr)
        return;
    control->AddRef();
    m_control = control;
    Connect();
}
