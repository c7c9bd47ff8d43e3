// Controls: connection points (how a container's event sink is connected
// to a control) and IOleControl::FreezeEvents.
#pragma once

#include "platform/oleauto.h"
#include "platform/window.h"

#include <mutex>
#include <vector>

struct IConnectionPoint;
struct IEnumConnectionPoints;
struct IEnumConnections;
struct CONTROLINFO;

struct IConnectionPointContainer : IUnknown {
    // Enumeration is not offered (E_NOTIMPL).
    virtual HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) = 0;
    // CONNECT_E_NOCONNECTION for an interface the container does not fire.
    virtual HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) = 0;

protected:
    ~IConnectionPointContainer() = default;
};

struct IConnectionPoint : IUnknown {
    virtual HRESULT GetConnectionInterface(IID* iid) = 0;
    virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) = 0;
    virtual HRESULT Advise(IUnknown* sink, DWORD* cookie) = 0;
    virtual HRESULT Unadvise(DWORD cookie) = 0;
    // Enumeration is not offered (E_NOTIMPL).
    virtual HRESULT EnumConnections(IEnumConnections** connections) = 0;

protected:
    ~IConnectionPoint() = default;
};

struct IOleControl : IUnknown {
    virtual HRESULT GetControlInfo(CONTROLINFO* info) = 0;
    virtual HRESULT OnMnemonic(MSG* message) = 0;
    virtual HRESULT OnAmbientPropertyChange(DISPID id) = 0;
    // TRUE raises the container's freeze count, FALSE lowers it.
    virtual HRESULT FreezeEvents(BOOL freeze) = 0;

protected:
    ~IOleControl() = default;
};

inline constexpr IID IID_IConnectionPointContainer{
    0xB196B284, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IConnectionPoint{0xB196B286, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IOleControl{0xB196B288, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};

constexpr HRESULT CONNECT_E_NOCONNECTION = static_cast<HRESULT>(0x80040200u);
constexpr HRESULT CONNECT_E_CANNOTCONNECT = static_cast<HRESULT>(0x80040202u);

namespace platform {

// A connection point that a control keeps as a member: its reference count
// is the control's (it forwards AddRef and Release to `owner`). Sinks are
// asked for the event interface, else for IDispatch, and held with a
// reference until Unadvise or the point's end; cookies count from 1.
// Thread-safe: sinks may be connected while events are fired.
class ConnectionPoint final : public IConnectionPoint {
public:
    ConnectionPoint(IConnectionPointContainer* owner, const IID& eventInterface);
    ~ConnectionPoint();
    ConnectionPoint(const ConnectionPoint&) = delete;
    ConnectionPoint& operator=(const ConnectionPoint&) = delete;

    // The sinks connected now, in the order they were connected, each with
    // a reference the caller gives back (Release) after firing.
    std::vector<IDispatch*> snapshot() const;
    // Drops every sink.
    void clear();

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetConnectionInterface(IID* iid) override;
    HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) override;
    HRESULT Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT Unadvise(DWORD cookie) override;
    HRESULT EnumConnections(IEnumConnections** connections) override;

private:
    struct Sink {
        DWORD cookie;
        IDispatch* dispatch;
    };
    IConnectionPointContainer* m_owner;
    IID m_interface;
    mutable std::mutex m_mutex;
    std::vector<Sink> m_sinks;
    DWORD m_nextCookie = 1;
};

}  // namespace platform
