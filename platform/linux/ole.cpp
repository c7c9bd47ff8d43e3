// Connection points (see platform/ole.h).
#include "platform/ole.h"

namespace platform {

ConnectionPoint::ConnectionPoint(IConnectionPointContainer* owner, const IID& eventInterface)
    : m_owner(owner), m_interface(eventInterface)
{
}

ConnectionPoint::~ConnectionPoint()
{
    clear();
}

std::vector<IDispatch*> ConnectionPoint::snapshot() const
{
    std::lock_guard lock(m_mutex);
    std::vector<IDispatch*> sinks;
    sinks.reserve(m_sinks.size());
    for (const Sink& sink : m_sinks) {
        sink.dispatch->AddRef();
        sinks.push_back(sink.dispatch);
    }
    return sinks;
}

void ConnectionPoint::clear()
{
    std::vector<Sink> sinks;
    {
        std::lock_guard lock(m_mutex);
        sinks.swap(m_sinks);
    }
    for (const Sink& sink : sinks)
        sink.dispatch->Release();
}

HRESULT ConnectionPoint::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IConnectionPoint) {
        *object = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG ConnectionPoint::AddRef()
{
    return m_owner->AddRef();
}

ULONG ConnectionPoint::Release()
{
    return m_owner->Release();
}

HRESULT ConnectionPoint::GetConnectionInterface(IID* iid)
{
    if (iid == nullptr)
        return E_POINTER;
    *iid = m_interface;
    return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container)
{
    if (container == nullptr)
        return E_POINTER;
    m_owner->AddRef();
    *container = m_owner;
    return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie)
{
    if (cookie != nullptr)
        *cookie = 0;
    if (sink == nullptr || cookie == nullptr)
        return E_POINTER;
    IDispatch* dispatch = nullptr;
    if (FAILED(sink->QueryInterface(m_interface, reinterpret_cast<void**>(&dispatch))) &&
        FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))))
        return CONNECT_E_CANNOTCONNECT;
    if (dispatch == nullptr)
        return CONNECT_E_CANNOTCONNECT;
    try {
        std::lock_guard lock(m_mutex);
        m_sinks.push_back({m_nextCookie, dispatch});
        *cookie = m_nextCookie++;
        return S_OK;
    } catch (...) {
        dispatch->Release();
        return E_OUTOFMEMORY;
    }
}

HRESULT ConnectionPoint::Unadvise(DWORD cookie)
{
    IDispatch* dropped = nullptr;
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_sinks.begin(); it != m_sinks.end(); ++it) {
            if (it->cookie == cookie) {
                dropped = it->dispatch;
                m_sinks.erase(it);
                break;
            }
        }
    }
    if (dropped == nullptr)
        return CONNECT_E_NOCONNECTION;
    dropped->Release();
    return S_OK;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** connections)
{
    if (connections != nullptr)
        *connections = nullptr;
    return E_NOTIMPL;
}

}  // namespace platform
