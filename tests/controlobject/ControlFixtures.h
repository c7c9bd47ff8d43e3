// What the control tests share: registering the control and the fake
// service objects in the test's own registry, device entries, and a control
// driven through its dispatch ids (those a container compiles in).
#pragma once

#include "FakeServiceObject.h"
#include "OposScanner.h"
#include "TestSupport.h"

#include "platform/com.h"
#include "platform/dispatch.h"
#include "platform/module.h"
#include "platform/registry.h"
#include "platform/thread.h"

#include <gtest/gtest.h>

#include <string>

namespace controltest {

// Dispatch ids of the control.
enum Id : DISPID {
    AutoDisable = 10, BinaryConversion = 11, CapPowerReporting = 12, CheckHealthText = 13, Claimed = 14,
    DataCount = 15, DataEventEnabled = 16, DeviceEnabled = 17, FreezeEvents = 18, PowerNotify = 20,
    PowerState = 21, ResultCode = 22, ResultCodeExtended = 23, State = 24, ControlObjectDescription = 25,
    ControlObjectVersion = 26, ServiceObjectDescription = 27, ServiceObjectVersion = 28, DeviceDescription = 29,
    DeviceName = 30, CheckHealth = 31, ClaimDevice = 32, ClearInput = 33, Close = 35, DirectIO = 36, Open = 37,
    ReleaseDevice = 38, CapStatisticsReporting = 39, CapUpdateStatistics = 40, ResetStatistics = 41,
    RetrieveStatistics = 42, UpdateStatistics = 43, CapCompareFirmwareVersion = 44, CapUpdateFirmware = 45,
    CompareFirmwareVersion = 46, UpdateFirmware = 47, ClearInputProperties = 48, OpenResult = 49, DecodeData = 50,
    ScanData = 51, ScanDataLabel = 52, ScanDataType = 53,
};

inline std::string LibraryPath(const char* name)
{
    return vxtest::programDirectory() + "/" + name;
}

inline HRESULT RegisterLibrary(const char* name)
{
    HMODULE library = LoadLibraryA(LibraryPath(name).c_str());
    if (library == nullptr)
        return E_FAIL;
    const auto registerServer = reinterpret_cast<DllRegisterServerFunction>(GetProcAddress(library, "DllRegisterServer"));
    const HRESULT result = registerServer != nullptr ? registerServer() : E_FAIL;
    FreeLibrary(library);
    return result;
}

// The fake service objects' slots (the library stays loaded: the control's
// creation keeps it).
inline fakeso::Slots& FakeSlots()
{
    static fakeso::Slots* slots = [] {
        HMODULE library = LoadLibraryA(LibraryPath("libvx_fake_so.so").c_str());
        auto get = reinterpret_cast<fakeso::SlotsFunction>(GetProcAddress(library, "vxFakeServiceObjects"));
        return get != nullptr ? get() : nullptr;
    }();
    return *slots;
}

constexpr char kScannerKey[] = "SOFTWARE\\OLEforRetail\\ServiceOPOS\\Scanner";

inline void SetText(const std::string& key, const char* name, const std::string& text)
{
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>(text.size() + 1)),
              ERROR_SUCCESS);
    RegCloseKey(handle);
}

// A device entry whose service object is the fake of `slot`.
inline void WriteDevice(const std::string& device, int slot)
{
    SetText(std::string(kScannerKey) + "\\" + device, nullptr, fakeso::ProgId(slot));
}

// A control created through its ProgID, driven by dispatch id.
class Control {
public:
    Control()
    {
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(u"VXOPOS.Scanner", &clsid), S_OK);
        IDispatch* created = nullptr;
        EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IDispatch, reinterpret_cast<void**>(&created)),
                  S_OK);
        m_driver.attach(created);
    }
    IDispatch* dispatch() const { return m_driver.get(); }
    const platform::DispatchDriver& driver() const { return m_driver; }
    // Lets go of the control (its final release when nobody else holds it).
    void reset() { m_driver.release(); }

    LONG call(DISPID id, const std::vector<platform::DispatchArg>& args = {}) const
    {
        LONG result = -12345;
        EXPECT_EQ(m_driver.callI4(id, args, &result), S_OK) << id;
        return result;
    }
    LONG open(const std::string& device) const
    {
        LONG result = -12345;
        EXPECT_EQ(m_driver.callI4(Open, {platform::DispatchArg::latin1(device)}, &result), S_OK);
        return result;
    }
    LONG get(DISPID id) const
    {
        VARIANT value;
        EXPECT_EQ(m_driver.invoke(id, DISPATCH_PROPERTYGET, {}, &value), S_OK) << id;
        LONG number = -12345;
        EXPECT_EQ(platform::variantToI4(value, &number), S_OK) << id;
        VariantClear(&value);
        return number;
    }
    std::string text(DISPID id) const
    {
        VARIANT value;
        EXPECT_EQ(m_driver.invoke(id, DISPATCH_PROPERTYGET, {}, &value), S_OK) << id;
        EXPECT_EQ(value.vt, VT_BSTR) << id;
        std::string result = value.vt == VT_BSTR ? platform::ansiFromBstr(value.bstrVal) : "";
        VariantClear(&value);
        return result;
    }
    void put(DISPID id, const platform::DispatchArg& value) const
    {
        EXPECT_EQ(m_driver.invoke(id, DISPATCH_PROPERTYPUT, {value}, nullptr), S_OK) << id;
    }

private:
    platform::DispatchDriver m_driver;
};

// Registers the control and the fakes in the test's registry. Each test
// starts with the fakes at their defaults and no device entries of an
// earlier test, and removes its own.
class ControlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(RegisterLibrary("libVXOPOSScanner.so"), S_OK);
        ASSERT_EQ(RegisterLibrary("libvx_fake_so.so"), S_OK);
        // The slots live as long as the process: an earlier test's steering
        // and calls are forgotten.
        for (fakeso::Slot& each : FakeSlots().slot)
            each.Reset();
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\OLEforRetail");
    }
    void TearDown() override { RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\OLEforRetail"); }
    fakeso::Slot& slot(int index) { return FakeSlots().slot[index]; }
};

}  // namespace controltest
