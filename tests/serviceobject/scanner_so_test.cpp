// The service object's COM classes driven as a control drives them: by
// name through IDispatch, with a fake control whose callbacks record what
// the service object raises, against a simulated scanner.
#include "ScannerHost.h"

#include "CImagerSO.h"
#include "CScannerSO.h"

#include "platform/dispatch.h"
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

extern "C" HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object);

namespace {

constexpr const char* kCallbacks[] = {"SOData", "SODirectIO", "SOError", "SOStatusUpdate"};

// A control object as the service object sees it: it answers the callback
// names it is given and records each callback with its thread.
class FakeControl final : public IDispatch {
public:
    explicit FakeControl(std::vector<std::string> names = {kCallbacks, kCallbacks + 4}) : m_names(std::move(names)) {}

    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IUnknown || iid == IID_IDispatch) {
            *object = static_cast<IDispatch*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        const std::string name = platform::ansiFromOleString(names[0]);
        for (const std::string& known : m_names)
            for (int i = 0; i < 4; ++i)
                if (count == 1 && known == name && name == kCallbacks[i]) {
                    ids[0] = 100 + i;
                    return S_OK;
                }
        ids[0] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override
    {
        if (id < 100 || id > 103)
            return DISP_E_MEMBERNOTFOUND;
        std::string record = std::string(kCallbacks[id - 100]) + "(";
        for (UINT i = params->cArgs; i-- > 0;) {
            const VARIANT& v = params->rgvarg[i];
            record += v.vt == VT_I4 ? std::to_string(v.lVal) : v.vt == (VT_I4 | VT_BYREF) ? "&" : "?";
            record += i != 0 ? "," : "";
        }
        record += ")";
        if (during)
            during();
        const bool fails = failing == kCallbacks[id - 100];
        if (fails && params->cArgs == 4 && params->rgvarg[0].vt == (VT_I4 | VT_BYREF))
            *params->rgvarg[0].plVal = 13;  // a change the failure must not carry back
        std::lock_guard lock(m_mutex);
        m_calls.push_back(record);
        m_threads.push_back(GetCurrentThreadId());
        return fails ? DISP_E_EXCEPTION : S_OK;
    }

    std::vector<std::string> calls()
    {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }
    std::vector<DWORD> threads()
    {
        std::lock_guard lock(m_mutex);
        return m_threads;
    }
    std::function<void()> during;  // runs inside each callback; set before any comes
    std::string failing;           // the callback that fails, if any
    bool waitForCalls(std::size_t n)
    {
        return vxtest::waitUntil([&] { return calls().size() >= n; });
    }

private:
    std::vector<std::string> m_names;
    std::mutex m_mutex;
    std::vector<std::string> m_calls;
    std::vector<DWORD> m_threads;
};

IDispatch* Create(const CLSID& clsid)
{
    IClassFactory* factory = nullptr;
    if (FAILED(DllGetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory))))
        return nullptr;
    IDispatch* object = nullptr;
    factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object));
    factory->Release();
    return object;
}

// A method called by name; its result as a number (or text).
LONG Call(IDispatch* object, const char* name, const std::vector<platform::DispatchArg>& args = {})
{
    platform::DispatchDriver driver(object, false);
    LONG value = -99999;
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(driver.idOf(std::string_view(name), &id), S_OK) << name;
    EXPECT_EQ(driver.callI4(id, args, &value), S_OK) << name;
    return value;
}

std::string Text(IDispatch* object, LONG index)
{
    platform::DispatchDriver driver(object, false);
    VARIANT result{};
    EXPECT_EQ(driver.invokeByName("GetPropertyString", DISPATCH_METHOD, {platform::DispatchArg::i4(index)}, &result),
              S_OK);
    EXPECT_EQ(result.vt, VT_BSTR);
    const std::string text = platform::ansiFromBstr(result.bstrVal);
    VariantClear(&result);
    return text;
}

using platform::DispatchArg;

LONG Open(IDispatch* object, IDispatch* control, const char* deviceClass = "Scanner")
{
    return Call(object, "OpenService",
                {DispatchArg::latin1(deviceClass), DispatchArg::latin1("SimScanner"), DispatchArg::dispatch(control)});
}

class ScannerSOTest : public sotest::ScannerHostTest {
protected:
    void SetUp() override
    {
        plug(sotest::Wire::serial);
        const std::string key = "SOFTWARE\\OLEforRetail\\ServiceOPOS\\Scanner\\SimScanner";
        HKEY handle = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr),
                  ERROR_SUCCESS);
        for (const auto& [name, value] : {std::pair<const char*, std::string>{"PORT", port}, {"AUTODETECT", "False"}})
            RegSetValueExA(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>(value.size() + 1));
        RegCloseKey(handle);
    }
    // Claims, enables (labels decoded) and asks for data.
    void Enable(IDispatch* object)
    {
        ASSERT_EQ(Call(object, "ClaimDevice", {DispatchArg::i4(30000)}), 0);  // generous: the claim connects first
        ASSERT_EQ(Call(object, "SetPropertyNumber", {DispatchArg::i4(10001), DispatchArg::i4(1)}), 0);  // DecodeData
        ASSERT_EQ(Call(object, "SetPropertyNumber", {DispatchArg::i4(3), DispatchArg::i4(1)}), 0);
        ASSERT_EQ(Call(object, "SetPropertyNumber", {DispatchArg::i4(2), DispatchArg::i4(1)}), 0);
    }
};

TEST(ScannerSOIds, BothClassesNumberTheirMethodsInOrder)
{
    const std::vector<std::string> names = {
        "CheckHealth", "ClaimDevice", "Claim", "ClearInput", "ClearInputProperties", "ClearOutput",
        "CloseService", "Close", "COFreezeEvents", "CompareFirmwareVersion", "DirectIO", "GetOpenResult",
        "OpenService", "Release", "ReleaseDevice", "ResetStatistics", "RetrieveStatistics", "UpdateFirmware",
        "UpdateStatistics", "GetPropertyNumber", "GetPropertyString", "SetPropertyNumber", "SetPropertyString",
        "StartSession", "StopSession"};
    for (const auto& [clsid, count] : {std::pair<CLSID, std::size_t>{CLSID_ScannerSO, 23}, {CLSID_ImagerSO, 25}}) {
        IDispatch* object = Create(clsid);
        ASSERT_NE(object, nullptr);
        platform::DispatchDriver driver(object);
        for (std::size_t i = 0; i < names.size(); ++i) {
            DISPID id = DISPID_UNKNOWN;
            const HRESULT found = driver.idOf(std::string_view(names[i]), &id);
            if (i < count) {
                EXPECT_EQ(found, S_OK) << names[i];
                EXPECT_EQ(id, static_cast<DISPID>(i + 1)) << names[i];
            } else {
                EXPECT_EQ(found, DISP_E_UNKNOWNNAME) << names[i];
            }
        }
        DISPID id = 0;
        EXPECT_EQ(driver.idOf(std::string_view("getpropertynumber"), &id), S_OK);
        EXPECT_EQ(id, 20);
    }
    EXPECT_EQ(CScannerSO::LiveObjects(), 0);
}

TEST_F(ScannerSOTest, OpenServiceBindsTheCallbacksAndRaisesThemOnTheEventThread)
{
    IDispatch* object = Create(CLSID_ScannerSO);
    ASSERT_NE(object, nullptr);

    // A control without SOStatusUpdate: 104, and the service stays closed.
    FakeControl lacking({"SOData", "SODirectIO", "SOError"});
    EXPECT_EQ(Open(object, &lacking), 104);
    EXPECT_EQ(Call(object, "ClaimDevice", {DispatchArg::i4(1000)}), 101);

    // The device class is not read: the scanner entry of the name opens.
    FakeControl control;
    ASSERT_EQ(Open(object, &control, "ImageScanner"), 0);
    Enable(object);
    scan("ABC123");
    ASSERT_TRUE(control.waitForCalls(1));
    EXPECT_EQ(control.calls()[0], "SOData(0)");
    EXPECT_NE(control.threads()[0], GetCurrentThreadId());
    EXPECT_EQ(Text(object, 1010002), "ABC123");
    EXPECT_TRUE(lacking.calls().empty());

    // Open again: 106, OpenResult 301.
    EXPECT_EQ(Open(object, &control), 106);
    EXPECT_EQ(Call(object, "GetOpenResult"), 301);
    EXPECT_EQ(Text(object, 4242), "[Error: Automation?]");

    EXPECT_EQ(Call(object, "CloseService"), 0);
    object->Release();
    EXPECT_EQ(CScannerSO::LiveObjects(), 0);
}

// The validation utility hosts two controls: the second object must
// neither reset the open service nor, released after its refused open,
// delete the logic or the callback target the first one uses.
TEST_F(ScannerSOTest, ASecondObjectLeavesTheOpenServiceAlone)
{
    IDispatch* first = Create(CLSID_ScannerSO);
    FakeControl firstControl;
    ASSERT_EQ(Open(first, &firstControl), 0);
    Enable(first);
    scan("FIRST");
    ASSERT_TRUE(firstControl.waitForCalls(1));

    IDispatch* second = Create(CLSID_ScannerSO);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(CScannerSO::LiveObjects(), 2);
    EXPECT_EQ(Call(first, "GetPropertyNumber", {DispatchArg::i4(3)}), 1);  // still enabled
    EXPECT_EQ(Text(first, 1010002), "FIRST");
    FakeControl secondControl;
    EXPECT_EQ(Open(second, &secondControl), 106);
    EXPECT_EQ(Call(second, "GetOpenResult"), 301);
    second->Release();

    ASSERT_EQ(Call(first, "SetPropertyNumber", {DispatchArg::i4(2), DispatchArg::i4(1)}), 0);
    scan("AGAIN");
    ASSERT_TRUE(firstControl.waitForCalls(2));
    EXPECT_EQ(Text(first, 1010002), "AGAIN");
    EXPECT_TRUE(secondControl.calls().empty());

    EXPECT_EQ(Call(first, "CloseService"), 0);
    first->Release();
    EXPECT_EQ(CScannerSO::LiveObjects(), 0);
}

// A callback the control fails is logged and left: the proposed
// ErrorResponse stands, and the event-window thread delivers the next label.
TEST_F(ScannerSOTest, AFailedCallbackKeepsTheProposalAndTheEventThreadGoesOn)
{
    IDispatch* object = Create(CLSID_ScannerSO);
    FakeControl control;
    control.failing = "SOError";
    ASSERT_EQ(Open(object, &control), 0);
    Enable(object);
    LONG data = 0;
    BSTR text = nullptr;
    // DirectIO 9 feeds an empty label, which becomes an ErrorEvent.
    EXPECT_EQ(Call(object, "DirectIO", {DispatchArg::i4(9), DispatchArg::i4Ref(&data), DispatchArg::bstrRef(&text)}),
              106);
    SysFreeString(text);
    ASSERT_TRUE(control.waitForCalls(1));
    EXPECT_EQ(control.calls()[0].rfind("SOError(", 0), 0u) << control.calls()[0];
    // The proposal (clear) was applied, not the failed call's 13.
    ASSERT_TRUE(vxtest::waitUntil([&] { return Call(object, "GetPropertyNumber", {DispatchArg::i4(9)}) == 2; }));

    ASSERT_EQ(Call(object, "SetPropertyNumber", {DispatchArg::i4(2), DispatchArg::i4(1)}), 0);
    scan("AFTER");
    ASSERT_TRUE(control.waitForCalls(2));
    EXPECT_EQ(control.calls()[1], "SOData(0)");
    EXPECT_EQ(Call(object, "CloseService"), 0);
    object->Release();
}

// CloseService lets the control go while the event-window thread may be
// raising a callback through it: CloseService returns only after that
// callback has ended.
TEST_F(ScannerSOTest, CloseServiceWaitsForACallbackInProgress)
{
    IDispatch* object = Create(CLSID_ScannerSO);
    FakeControl control;
    std::promise<void> entered;
    std::promise<void> go;
    std::shared_future<void> goSignal = go.get_future().share();
    std::atomic<bool> closed{false};
    std::atomic<bool> closedBeforeTheCallbackEnded{false};
    std::atomic<int> inside{0};
    control.during = [&] {
        if (++inside == 1) {
            entered.set_value();
            goSignal.wait_for(std::chrono::seconds(20));
            closedBeforeTheCallbackEnded = closed.load();
        }
    };
    ASSERT_EQ(Open(object, &control), 0);
    Enable(object);
    scan("HELD");
    ASSERT_EQ(entered.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);

    std::atomic<bool> closing{false};
    std::thread closer([&] {
        closing = true;
        Call(object, "CloseService");
        closed = true;
    });
    ASSERT_TRUE(vxtest::waitUntil([&] { return closing.load(); }));
    go.set_value();
    closer.join();
    EXPECT_FALSE(closedBeforeTheCallbackEnded.load());
    EXPECT_EQ(control.calls().size(), 1u);
    object->Release();
}

TEST(ImagerSO, OpensWithoutADeviceAndKeepsItsProperties)
{
    IDispatch* object = Create(CLSID_ImagerSO);
    ASSERT_NE(object, nullptr);
    BSTR text = nullptr;
    LONG data = 0;
    const struct {
        const char* method;
        std::vector<DispatchArg> args;
        LONG result;
    } cases[] = {
        {"OpenService", {DispatchArg::latin1("ImageScanner"), DispatchArg::latin1("none"), DispatchArg::dispatch(nullptr)}, 0},
        {"GetOpenResult", {}, 0},
        {"ClearInput", {}, 101},
        {"ClearOutput", {}, 106},
        {"DirectIO", {DispatchArg::i4(1), DispatchArg::i4Ref(&data), DispatchArg::bstrRef(&text)}, 106},
        {"SetPropertyString", {DispatchArg::i4(1000001), DispatchArg::latin1("x")}, 111},
        {"StartSession", {}, 103},
        {"StopSession", {}, 103},
        {"GetPropertyNumber", {DispatchArg::i4(8)}, 1012104},
        {"GetPropertyNumber", {DispatchArg::i4(30501)}, 0},
        {"SetPropertyNumber", {DispatchArg::i4(30001), DispatchArg::i4(2)}, 106},  // no CapAim
        {"SetPropertyNumber", {DispatchArg::i4(30501), DispatchArg::i4(1)}, 0},
        {"SetPropertyNumber", {DispatchArg::i4(30001), DispatchArg::i4(2)}, 0},
        {"GetPropertyNumber", {DispatchArg::i4(30001)}, 2},
        {"SetPropertyNumber", {DispatchArg::i4(30007), DispatchArg::i4(2)}, 106},  // no CapImageData
        {"SetPropertyNumber", {DispatchArg::i4(30505), DispatchArg::i4(1)}, 0},
        {"SetPropertyNumber", {DispatchArg::i4(30007), DispatchArg::i4(2)}, 0},
        {"SetPropertyNumber", {DispatchArg::i4(30007), DispatchArg::i4(3)}, 106},  // no CapDecodeData
        {"SetPropertyNumber", {DispatchArg::i4(30007), DispatchArg::i4(4)}, 106},
        {"GetPropertyNumber", {DispatchArg::i4(30007)}, 2},
        {"SetPropertyNumber", {DispatchArg::i4(30011), DispatchArg::i4(15)}, 0},
        {"GetPropertyNumber", {DispatchArg::i4(30011)}, 15},
        {"GetPropertyNumber", {DispatchArg::i4(77777)}, 0},
        {"CloseService", {}, 0},
        {"Close", {}, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Call(object, c.method, c.args), c.result) << c.method;
    EXPECT_EQ(Text(object, 1030001), "");
    EXPECT_EQ(Text(object, 4242), "[Error: Automation?]");
    SysFreeString(text);
    object->Release();
}

}  // namespace
