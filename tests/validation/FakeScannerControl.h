// A scripted stand-in for the OPOS scanner control, for tests of what hosts
// it: an in-process IDispatch that answers every member of the scanner
// control (and the image-scanner control's own members) by its dispatch id, records each call as text, and fires the four
// OPOS events into the sinks connected to its connection point.
//
// Answers by default are those of an open, healthy control: numbers 0
// (State 2, idle), texts naming the fake, methods 0. A put stores its value
// (a later get reads it) and sets ResultCode to 0; a method's answer becomes
// ResultCode. Scripts, by member name:
//   SetNumber("ResultCode", 0), SetText("ScanDataLabel", "A"): a property's
//       value; SetNumber("Open", 104): a method's answer;
//   RefusePut("DeviceEnabled", 106): that write is not stored and leaves
//       106 in ResultCode;
//   Fail("ClaimDevice" / "put DeviceEnabled" / "get ScanData", "text"): that
//       call fails with DISP_E_EXCEPTION and the text as its description
//       (a method by its name; a property by "get " or "put " and its name).
// The record of calls: "Open(Lane 1)", "ClaimDevice(20000)",
// "put DeviceEnabled=1", "get ScanDataLabel", "DirectIO(7, 0, text)".
//
// The object lives as long as the test keeps it (Release never deletes);
// References() tells what its users still hold. Calls and fires may come
// from any thread; events fire on the calling thread.
#pragma once

#include "platform/dispatch.h"
#include "platform/ole.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

class FakeScannerControl final : public IDispatch, public IConnectionPointContainer {
public:
    FakeScannerControl();
    ~FakeScannerControl();
    FakeScannerControl(const FakeScannerControl&) = delete;
    FakeScannerControl& operator=(const FakeScannerControl&) = delete;

    // Scripts (see above).
    void SetNumber(const std::string& member, LONG value);
    void SetText(const std::string& member, const std::string& text);
    void RefusePut(const std::string& property, LONG resultCode);
    void Fail(const std::string& call, const std::string& description);
    void ClearFailure(const std::string& call);
    // What DirectIO writes into its by-reference arguments, what
    // RetrieveStatistics writes into its buffer, and CompareFirmwareVersion's
    // pResult (by default they leave them alone).
    void SetDirectIOOutput(LONG data, const std::string& text);
    void SetStatisticsOutput(const std::string& text);
    void SetCompareResult(LONG result);

    LONG Number(const std::string& member) const;
    std::string Text(const std::string& member) const;

    // The calls so far, in order.
    std::vector<std::string> Calls() const;
    void ClearCalls();

    // Events into the connected sinks, on the calling thread. A data event
    // clears DataEventEnabled first, as a service object does before it
    // raises one. By-reference answers come back.
    void FireDataEvent(LONG status);
    void FireDirectIOEvent(LONG eventNumber, LONG* pData, std::string* text);
    LONG FireErrorEvent(LONG resultCode, LONG resultCodeExtended, LONG errorLocus, LONG proposedResponse);
    void FireStatusUpdateEvent(LONG data);
    // Sinks connected now.
    std::size_t Sinks() const;

    ULONG References() const;

    // IUnknown
    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    // IDispatch
    HRESULT GetTypeInfoCount(UINT* count) override;
    HRESULT GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override;
    HRESULT Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* exception, UINT* argumentError) override;
    // IConnectionPointContainer
    HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) override;
    HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

private:
    struct Member;
    static const platform::DispatchTable& Table();
    void Fire(DISPID id, const std::vector<platform::DispatchArg>& args);
    // The handlers' side.
    void Record(const std::string& call);
    void ThrowIfFailing(const std::string& call) const;
    void Get(platform::DispatchCall& call, const char* name, VARTYPE type);
    void Put(platform::DispatchCall& call, const char* name, VARTYPE type);
    void Method(platform::DispatchCall& call, const char* name, const std::vector<VARTYPE>& types);

    mutable std::mutex m_mutex;
    ULONG m_references = 0;
    std::map<std::string, LONG> m_numbers;
    std::map<std::string, std::string> m_texts;
    std::map<std::string, LONG> m_refusedPuts;
    std::map<std::string, std::string> m_failures;
    bool m_haveDirectIOOutput = false;
    LONG m_directIOData = 0;
    std::string m_directIOText;
    bool m_haveStatisticsOutput = false;
    std::string m_statisticsText;
    bool m_haveCompareResult = false;
    LONG m_compareResult = 0;
    std::vector<std::string> m_calls;
    platform::ConnectionPoint m_point;
};
