// Open: finding the device entry, creating and binding its service object,
// checking its version; and Close.

#include "ControlFixtures.h"

#include <algorithm>
#include <functional>

namespace {

using controltest::Control;
using controltest::ControlTest;
using controltest::WriteDevice;
namespace id = controltest;

struct OpenCase {
    const char* what;
    std::function<void(fakeso::Slot&)> prepare;  // registry and the fake of slot 1
    const char* device;
    LONG result;
    LONG openResult;
};

class OpenTest : public ControlTest {};

TEST_F(OpenTest, EachFailingStepGivesItsResultAndOpenResult)
{
    using Names = std::vector<std::string>;
    auto without = [](Names names, const char* name) {
        names.erase(std::remove(names.begin(), names.end(), name), names.end());
        return names;
    };
    const OpenCase cases[] = {
        {"empty name", [](fakeso::Slot&) { WriteDevice("dev", 1); }, "", 109, 302},
        {"no category key", [](fakeso::Slot&) {}, "dev", 109, 302},
        {"no device key", [](fakeso::Slot&) { WriteDevice("other", 1); }, "dev", 109, 302},
        {"no ProgID",
         [](fakeso::Slot&) { controltest::SetText(std::string(controltest::kScannerKey) + "\\dev", "PORT", "COM1"); },
         "dev", 104, 303},
        {"ProgID not a string",
         [](fakeso::Slot&) {
             HKEY key = nullptr;
             RegCreateKeyExA(HKEY_LOCAL_MACHINE, (std::string(controltest::kScannerKey) + "\\dev").c_str(), 0,
                             nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
             const DWORD value = 1;
             RegSetValueExA(key, nullptr, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
             RegCloseKey(key);
         },
         "dev", 104, 303},
        {"unknown ProgID",
         [](fakeso::Slot&) { controltest::SetText(std::string(controltest::kScannerKey) + "\\dev", nullptr, "VX.Nobody"); },
         "dev", 104, 303},
        {"no library",
         [](fakeso::Slot&) {
             controltest::SetText(std::string(controltest::kScannerKey) + "\\dev", nullptr, "VX.Gone");
             controltest::SetText("SOFTWARE\\Classes\\VX.Gone\\CLSID", nullptr, "{0BADC0DE-0000-0000-0000-000000000001}");
             controltest::SetText("SOFTWARE\\Classes\\CLSID\\{0BADC0DE-0000-0000-0000-000000000001}\\InprocServer32",
                                  nullptr, controltest::LibraryPath("libvx_not_there.so"));
         },
         "dev", 104, 304},
        {"no class factory", [](fakeso::Slot& s) { WriteDevice("dev", 1); s.noFactory = true; }, "dev", 104, 304},
        {"no IDispatch", [](fakeso::Slot& s) { WriteDevice("dev", 1); s.noDispatch = true; }, "dev", 104, 304},
        {"11 names",
         [&](fakeso::Slot& s) {
             WriteDevice("dev", 1);
             s.names = without(fakeso::StandardNames(), "ReleaseDevice");
         },
         "dev", 104, 305},
        {"OpenService fails", [](fakeso::Slot& s) { WriteDevice("dev", 1); s.openServiceFails = true; }, "dev", 104,
         306},
        {"OpenService refuses, GetOpenResult tells why",
         [](fakeso::Slot& s) {
             WriteDevice("dev", 1);
             s.openServiceResult = 111;
             s.openResult = 403;
         },
         "dev", 111, 403},
        {"OpenService refuses, GetOpenResult says 0",
         [](fakeso::Slot& s) {
             WriteDevice("dev", 1);
             s.openServiceResult = 111;
         },
         "dev", 111, 306},
        {"OpenService refuses, GetOpenResult fails",
         [](fakeso::Slot& s) {
             WriteDevice("dev", 1);
             s.openServiceResult = 109;
             s.openResult = 403;
             s.getOpenResultFails = true;
         },
         "dev", 109, 306},
        {"OpenService refuses, no GetOpenResult",
         [&](fakeso::Slot& s) {
             WriteDevice("dev", 1);
             s.openServiceResult = 106;
             s.openResult = 403;
             s.names = without(fakeso::StandardNames(), "GetOpenResult");
         },
         "dev", 106, 306},
        {"major version 2", [](fakeso::Slot& s) { WriteDevice("dev", 1); s.version = 2013000; }, "dev", 104, 307},
        {"1.10 with 15 names",
         [&](fakeso::Slot& s) {
             WriteDevice("dev", 1);
             s.version = 1010000;
             s.names = {"COFreezeEvents", "GetPropertyNumber", "SetPropertyNumber", "GetPropertyString",
                        "SetPropertyString", "OpenService", "CheckHealth", "ClaimDevice", "ClearInput",
                        "CloseService", "DirectIO", "ReleaseDevice", "ResetStatistics", "RetrieveStatistics",
                        "UpdateStatistics"};
         },
         "dev", 104, 305},
    };
    for (const OpenCase& c : cases) {
        SCOPED_TRACE(c.what);
        // Each case in a fresh registry and fresh fakes.
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, controltest::kScannerKey);
        for (auto& s : controltest::FakeSlots().slot) {
            std::lock_guard lock(s.mutex);
            s.calls.clear();
        }
        fakeso::Slot& s = slot(1);
        s.names = fakeso::StandardNames();
        s.version = 1013000;
        s.noFactory = s.noDispatch = s.openServiceFails = s.getOpenResultFails = false;
        s.openServiceResult = s.openResult = 0;
        c.prepare(s);

        Control control;
        EXPECT_EQ(control.open(c.device), c.result);
        EXPECT_EQ(control.get(id::OpenResult), c.openResult);
        // A failed Open leaves a closed control and no service object alive.
        EXPECT_EQ(control.get(id::ResultCode), 101);
        EXPECT_EQ(control.get(id::State), 1);
        EXPECT_EQ(control.call(id::ClaimDevice, {platform::DispatchArg::i4(0)}), 101);
        std::lock_guard lock(s.mutex);
        EXPECT_EQ(s.liveObjects, 0);
    }
}

TEST_F(OpenTest, ServiceObjectsVersionCheckClosesItAgain)
{
    WriteDevice("dev", 1);
    slot(1).version = 2013000;
    Control control;
    EXPECT_EQ(control.open("dev"), 104);
    EXPECT_EQ(control.get(id::OpenResult), 307);
    const auto calls = slot(1).Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls.back(), "CloseService()");
    std::lock_guard lock(slot(1).mutex);
    EXPECT_EQ(slot(1).liveObjects, 0);
}

TEST_F(OpenTest, OpensAndPassesTheDeviceClassItsKeyNameAndItself)
{
    WriteDevice("dev", 1);
    slot(1).version = 1008000;
    slot(1).names = {"COFreezeEvents", "GetPropertyNumber", "SetPropertyNumber", "GetPropertyString",
                     "SetPropertyString", "OpenService", "CheckHealth", "ClaimDevice", "ClearInput", "CloseService",
                     "DirectIO", "ReleaseDevice", "ResetStatistics", "RetrieveStatistics", "UpdateStatistics"};
    Control control;
    ASSERT_EQ(control.open("dev"), 0);  // 1.8 with its 15 names
    EXPECT_EQ(control.get(id::OpenResult), 0);
    const auto calls = slot(1).Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls[0], "OpenService(Scanner,dev,dispatch)");
    {
        std::lock_guard lock(slot(1).mutex);
        EXPECT_EQ(slot(1).control, control.dispatch());
    }

    // A second Open leaves the first binding alone.
    EXPECT_EQ(control.open("dev"), 106);
    EXPECT_EQ(control.get(id::OpenResult), 301);
    EXPECT_EQ(control.get(id::ResultCode), 106);
    EXPECT_EQ(slot(1).Calls().size(), calls.size());

    EXPECT_EQ(control.call(id::Close), 0);
    EXPECT_EQ(slot(1).Calls().back(), "CloseService()");
    EXPECT_EQ(control.call(id::Close), 101);
    std::lock_guard lock(slot(1).mutex);
    EXPECT_EQ(slot(1).liveObjects, 0);
    EXPECT_EQ(slot(1).control, nullptr);
}

TEST_F(OpenTest, AnAliasNamesTheDeviceKeyThatIsOpened)
{
    WriteDevice("real", 2);
    controltest::SetText(controltest::kScannerKey, "alias", "real");
    Control control;
    ASSERT_EQ(control.open("alias"), 0);
    EXPECT_EQ(slot(2).Calls().at(0), "OpenService(Scanner,real,dispatch)");
}

TEST_F(OpenTest, OposOneNamesStandInForClaimCloseAndRelease)
{
    WriteDevice("dev", 3);
    slot(3).names = {"COFreezeEvents", "GetPropertyNumber", "SetPropertyNumber", "GetPropertyString",
                     "SetPropertyString", "OpenService", "CheckHealth", "Claim", "ClearInput", "Close", "DirectIO",
                     "Release"};
    slot(3).version = 1005000;
    Control control;
    ASSERT_EQ(control.open("dev"), 0);
    EXPECT_EQ(control.call(id::ClaimDevice, {platform::DispatchArg::i4(1000)}), 0);
    EXPECT_EQ(control.call(id::ReleaseDevice), 0);
    EXPECT_EQ(control.call(id::Close), 0);
    const auto calls = slot(3).Calls();
    EXPECT_EQ(std::vector<std::string>(calls.end() - 3, calls.end()),
              (std::vector<std::string>{"Claim(1000)", "Release()", "Close()"}));
}

TEST_F(OpenTest, AFrozenContainerFreezesTheServiceObjectAtOpen)
{
    WriteDevice("dev", 1);
    Control control;
    IOleControl* ole = nullptr;
    ASSERT_EQ(control.dispatch()->QueryInterface(IID_IOleControl, reinterpret_cast<void**>(&ole)), S_OK);
    EXPECT_EQ(ole->FreezeEvents(TRUE), S_OK);  // before Open: nothing to tell yet
    EXPECT_TRUE(slot(1).Calls().empty());
    ASSERT_EQ(control.open("dev"), 0);
    EXPECT_EQ(slot(1).Calls().back(), "COFreezeEvents(true)");
    EXPECT_EQ(ole->FreezeEvents(FALSE), S_OK);
    EXPECT_EQ(slot(1).Calls().back(), "COFreezeEvents(false)");
    ole->Release();
}

}  // namespace
