// The scripted scanner control that TillProbe's tests host: what it records,
// how its scripts answer, and its events.

#include "FakeScannerControl.h"

#include "OposScanner.h"

#include <gtest/gtest.h>

namespace {

using platform::DispatchArg;

LONG GetNumber(const platform::DispatchDriver& driver, DISPID id)
{
    VARIANT value;
    EXPECT_EQ(driver.invoke(id, DISPATCH_PROPERTYGET, {}, &value), S_OK);
    LONG number = -1;
    EXPECT_EQ(platform::variantToI4(value, &number), S_OK);
    VariantClear(&value);
    return number;
}

TEST(FakeScannerControlTest, WritesAreKeptOrRefusedAndMethodsSetResultCode)
{
    FakeScannerControl fake;
    platform::DispatchDriver driver(&fake, false);
    constexpr DISPID kDeviceEnabled = 17, kDataEventEnabled = 16, kResultCode = 22, kState = 24, kClaimDevice = 32;

    EXPECT_EQ(GetNumber(driver, kState), 2);  // open and idle
    ASSERT_EQ(driver.invoke(kDeviceEnabled, DISPATCH_PROPERTYPUT, {DispatchArg::boolean(true)}, nullptr), S_OK);
    EXPECT_NE(GetNumber(driver, kDeviceEnabled), 0);
    EXPECT_EQ(GetNumber(driver, kResultCode), 0);

    fake.RefusePut("DataEventEnabled", 106);
    ASSERT_EQ(driver.invoke(kDataEventEnabled, DISPATCH_PROPERTYPUT, {DispatchArg::boolean(true)}, nullptr), S_OK);
    EXPECT_EQ(GetNumber(driver, kDataEventEnabled), 0);
    EXPECT_EQ(GetNumber(driver, kResultCode), 106);

    fake.SetNumber("ClaimDevice", 111);
    LONG result = 0;
    ASSERT_EQ(driver.callI4(kClaimDevice, {DispatchArg::i4(20000)}, &result), S_OK);
    EXPECT_EQ(result, 111);
    EXPECT_EQ(GetNumber(driver, kResultCode), 111);

    EXPECT_EQ(fake.Calls(),
              (std::vector<std::string>{"get State", "put DeviceEnabled=1", "get DeviceEnabled", "get ResultCode",
                                        "put DataEventEnabled=1", "get DataEventEnabled", "get ResultCode",
                                        "ClaimDevice(20000)", "get ResultCode"}));
}

TEST(FakeScannerControlTest, AScriptedFailureIsAnExceptionWithItsTextUntilCleared)
{
    FakeScannerControl fake;
    platform::DispatchDriver driver(&fake, false);
    fake.Fail("Open", "no such device");
    std::string text;
    VARIANT result;
    EXPECT_EQ(driver.invoke(37, DISPATCH_METHOD, {DispatchArg::latin1("Lane 1")}, &result, LOCALE_USER_DEFAULT,
                            nullptr, &text),
              DISP_E_EXCEPTION);
    EXPECT_EQ(text, "no such device");
    fake.ClearFailure("Open");
    EXPECT_EQ(driver.invoke(37, DISPATCH_METHOD, {DispatchArg::latin1("Lane 1")}, &result, LOCALE_USER_DEFAULT,
                            nullptr, &text),
              S_OK);
    EXPECT_EQ(text, "");
    VariantClear(&result);
    // Both calls were made, and recorded.
    EXPECT_EQ(fake.Calls(), (std::vector<std::string>{"Open(Lane 1)", "Open(Lane 1)"}));
    // An id neither control has.
    EXPECT_EQ(driver.invoke(99, DISPATCH_METHOD, {}, nullptr), DISP_E_MEMBERNOTFOUND);
}

TEST(FakeScannerControlTest, ADataEventClearsDataEventEnabledBeforeTheSinkHearsOfIt)
{
    FakeScannerControl fake;
    platform::DispatchDriver driver(&fake, false);
    fake.SetNumber("DataEventEnabled", 1);

    // A sink that reads DataEventEnabled back while it handles the event.
    struct Reader final : IDispatch {
        platform::DispatchDriver* control = nullptr;
        std::vector<std::string> seen;
        HRESULT QueryInterface(REFIID iid, void** object) override
        {
            *object = iid == IID_IUnknown || iid == IID_IDispatch ? this : nullptr;
            return *object != nullptr ? S_OK : E_NOINTERFACE;
        }
        ULONG AddRef() override { return 2; }
        ULONG Release() override { return 1; }
        HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
        HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
        HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
        HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override
        {
            seen.push_back(std::to_string(id) + ":" + std::to_string(params->rgvarg[params->cArgs - 1].lVal) + ":" +
                           std::to_string(GetNumber(*control, 16)));
            return S_OK;
        }
    } reader;
    reader.control = &driver;

    IConnectionPointContainer* points = nullptr;
    ASSERT_EQ(fake.QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&points)), S_OK);
    IConnectionPoint* point = nullptr;
    EXPECT_EQ(points->FindConnectionPoint(IID_IDispatch, &point), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(points->FindConnectionPoint(DIID__IOPOSScannerEvents, &point), S_OK);
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(&reader, &cookie), S_OK);

    fake.FireDataEvent(4);
    fake.FireStatusUpdateEvent(2001);
    EXPECT_EQ(reader.seen, (std::vector<std::string>{"1:4:0", "5:2001:0"}));

    ASSERT_EQ(point->Unadvise(cookie), S_OK);
    point->Release();
    points->Release();
    EXPECT_EQ(fake.References(), 0u);
}

}  // namespace
