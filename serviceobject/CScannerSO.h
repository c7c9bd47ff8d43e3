// The scanner service object's COM class ("VX.ScannerSO"): an IDispatch
// whose 23 methods forward to the exported static interface, and the
// driver that raises the control object's callbacks SOData, SODirectIO,
// SOError and SOStatusUpdate.
//
// Every object of the process shares the one scanner logic object: the
// first live object creates it, only the last one to go deletes it, and an
// object created while the service is open leaves it as it is.
//
// Threads: methods run on the caller's thread; the fire functions run on
// the event-window thread. A fire and the detaching of the control
// (CloseService, the object's end) exclude each other, so a callback never
// goes to a control that has let the service object go.
#pragma once

#include "platform/com.h"
#include "platform/dispatch.h"

#include <atomic>
#include <string>
#include <vector>

// {6C6C8ADD-B4D1-467E-A69C-5CBE2CA37860}
inline constexpr CLSID CLSID_ScannerSO{0x6C6C8ADD, 0xB4D1, 0x467E, {0xA6, 0x9C, 0x5C, 0xBE, 0x2C, 0xA3, 0x78, 0x60}};
// {2D9DAC0F-DFB6-44DA-B651-8BF0F8B8137F}
inline constexpr IID IID_IScannerSO{0x2D9DAC0F, 0xDFB6, 0x44DA, {0xB6, 0x51, 0x8B, 0xF0, 0xF8, 0xB8, 0x13, 0x7F}};

// The library's object and lock count (DllCanUnloadNow).
platform::ComModule& KestrelModule();

class CScannerSO final : public IDispatch {
public:
    static HRESULT Create(REFIID iid, void** object);
    // The members, in dispatch-id order from 1.
    static const platform::DispatchTable& Table();
    // Live objects of the class in the process.
    static int LiveObjects();

    // The fire functions of the current callback target; nothing while no
    // control is attached. A failed callback is logged; *pErrorResponse
    // then keeps the caller's proposal.
    static void FireData(long status);
    static void FireError(long resultCode, long resultCodeExtended, long errorLocus, long* pErrorResponse);
    static void FireStatusUpdate(long data);
    static void FireDirectIO(long eventNumber, long* pData, BSTR* pString);
    // The object the fire functions reach (null: none).
    static void SetCallbackTarget(CScannerSO* target);

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetTypeInfoCount(UINT* count) override;
    HRESULT GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override;
    HRESULT Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* exception, UINT* argumentError) override;

    long OpenService(const std::string& deviceName, IDispatch* control);
    long CloseService();

private:
    CScannerSO();
    ~CScannerSO();
    CScannerSO(const CScannerSO&) = delete;
    CScannerSO& operator=(const CScannerSO&) = delete;

    // Forgets the control (and stops being the callback target).
    void DetachControl();
    // False when the control failed the call (logged).
    bool Call(int callback, const std::vector<platform::DispatchArg>& args) const;

    std::atomic<ULONG> m_references{1};
    platform::DispatchDriver m_control;  // borrowed, never released
    DISPID m_callbackIds[4] = {DISPID_UNKNOWN, DISPID_UNKNOWN, DISPID_UNKNOWN, DISPID_UNKNOWN};
};
