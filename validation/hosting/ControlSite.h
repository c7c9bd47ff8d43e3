// The site that hosts one OPOS control in a view: it creates the control by
// class id (or takes one made elsewhere), connects its own event sink to the
// control's connection point for the OPOS event interface, and hands each
// event to the callback set for it.
//
// Events arrive on the thread that created the control, while that thread
// pumps messages; the callbacks run there, inside the control's firing. A
// callback's changes to the by-reference arguments (DirectIOEvent's pData
// and pString, ErrorEvent's pErrorResponse) are what the control gets back.
// An event without a callback is answered and left as it came.
#pragma once

#include "platform/com.h"
#include "platform/ole.h"

#include <functional>

// The scanner control's class id, and the image-scanner control's.
inline constexpr CLSID kScannerControlClsid{
    0x60AE66F2, 0xD32B, 0x4751, {0x8B, 0xF9, 0xA4, 0x88, 0x9F, 0x12, 0x05, 0xF1}};
inline constexpr CLSID kImageScannerControlClsid{
    0xFF0DC910, 0x5159, 0x4655, {0xAC, 0xDE, 0x08, 0xCA, 0xB3, 0xAB, 0xF9, 0x56}};

class ControlSite {
public:
    ControlSite();
    // Disconnects the sink and releases the control.
    ~ControlSite();
    ControlSite(const ControlSite&) = delete;
    ControlSite& operator=(const ControlSite&) = delete;

    // Creates the control (in-process, by class id) and connects the sink.
    // S_OK, or the failure's HRESULT with the site left empty (the class's
    // creation, or the connection to its events).
    HRESULT Create(const CLSID& clsid);
    // Hosts a control made elsewhere (a test's fake): takes a reference of
    // its own and connects the sink when the control offers the events.
    void Attach(IDispatch* control);
    // The hosted control, null when there is none; the site keeps it.
    IDispatch* Dispatch() const { return m_control; }

    std::function<void(LONG status)> onDataEvent;
    std::function<void(LONG eventNumber, LONG* pData, BSTR* pString)> onDirectIOEvent;
    std::function<void(LONG resultCode, LONG resultCodeExtended, LONG errorLocus, LONG* pErrorResponse)> onErrorEvent;
    std::function<void(LONG data)> onStatusUpdateEvent;

private:
    class EventSink;

    HRESULT Connect();
    void Reset();

    IDispatch* m_control = nullptr;
    IConnectionPoint* m_point = nullptr;
    DWORD m_cookie = 0;
    EventSink* m_sink = nullptr;
};
