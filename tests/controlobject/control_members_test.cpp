// The control's dispatch ids, what a closed control answers, what a service
// object of an older version may not be asked, the forwarding of properties
// and methods, registration and the unload answer.

#include "ControlFixtures.h"

#include <algorithm>
#include <fstream>

namespace {

using controltest::Control;
using controltest::ControlTest;
using controltest::WriteDevice;
using platform::DispatchArg;
namespace id = controltest;

bool Asked(fakeso::Slot& slot, const std::string& call)
{
    const auto calls = slot.Calls();
    return std::find(calls.begin(), calls.end(), call) != calls.end();
}

class MembersTest : public ControlTest {
protected:
    // An open control on the fake of slot 1 at `version`, all 18 names bound.
    void OpenAt(Control& control, LONG version)
    {
        WriteDevice("dev", 1);
        slot(1).version = version;
        ASSERT_EQ(control.open("dev"), 0);
        std::lock_guard lock(slot(1).mutex);
        slot(1).calls.clear();
    }
};

TEST_F(MembersTest, NamesAnswerTheirDispatchIds)
{
    Control control;
    const std::pair<const char16_t*, DISPID> names[] = {
        {u"SOData", 1}, {u"SODirectIO", 2}, {u"SOError", 3}, {u"SOOutputCompleteDummy", 4},
        {u"SOStatusUpdate", 5}, {u"SOProcessID", 9}, {u"AutoDisable", 10}, {u"CheckHealthText", 13},
        {u"FreezeEvents", 18}, {u"ResultCode", 22}, {u"State", 24}, {u"CheckHealth", 31}, {u"ClaimDevice", 32},
        {u"claimdevice", 32}, {u"Claim", 32}, {u"ClearInput", 33}, {u"Close", 35}, {u"DirectIO", 36},
        {u"Open", 37}, {u"ReleaseDevice", 38}, {u"Release", 38}, {u"ResetStatistics", 41},
        {u"CompareFirmwareVersion", 46}, {u"ClearInputProperties", 48}, {u"OpenResult", 49}, {u"DecodeData", 50},
        {u"ScanData", 51}, {u"ScanDataLabel", 52}, {u"ScanDataType", 53},
        // The 1.x names are known exactly as written.
        {u"claim", DISPID_UNKNOWN}, {u"RELEASE", DISPID_UNKNOWN}, {u"Claims", DISPID_UNKNOWN},
    };
    for (const auto& [name, expected] : names) {
        DISPID found = 0;
        const HRESULT status = control.driver().idOf(std::u16string_view(name), &found);
        EXPECT_EQ(found, expected) << platform::latin1FromOle(name);
        EXPECT_EQ(status, expected == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK) << platform::latin1FromOle(name);
    }
    EXPECT_EQ(control.driver().invoke(4, DISPATCH_METHOD, {DispatchArg::i4(1)}, nullptr), E_NOTIMPL);
    LONG process = 0;
    EXPECT_EQ(control.driver().callI4(9, {}, &process), S_OK);
    EXPECT_EQ(static_cast<DWORD>(process), GetCurrentProcessId());
    // Read-only properties take no value.
    EXPECT_EQ(control.driver().invoke(id::State, DISPATCH_PROPERTYPUT, {DispatchArg::i4(2)}, nullptr),
              DISP_E_MEMBERNOTFOUND);
}

TEST_F(MembersTest, AClosedControlAnswersOnItsOwn)
{
    Control control;
    struct Number {
        DISPID id;
        LONG value;
    };
    const Number numbers[] = {
        {id::ResultCode, 101},     {id::State, 1},          {id::ResultCodeExtended, 0}, {id::Claimed, 0},
        {id::DataEventEnabled, 0}, {id::DeviceEnabled, 0},  {id::FreezeEvents, 0},       {id::AutoDisable, 0},
        {id::BinaryConversion, 0}, {id::DataCount, 0},      {id::DecodeData, 0},         {id::ScanDataType, 0},
        {id::CapPowerReporting, 0}, {id::PowerNotify, 0},   {id::PowerState, 0},         {id::ServiceObjectVersion, 0},
        {id::CapStatisticsReporting, 0}, {id::CapUpdateStatistics, 0}, {id::CapCompareFirmwareVersion, 0},
        {id::CapUpdateFirmware, 0}, {id::OpenResult, 0},    {id::ControlObjectVersion, 1013002},
    };
    for (const Number& n : numbers)
        EXPECT_EQ(control.get(n.id), n.value) << n.id;
    for (DISPID text : {id::CheckHealthText, id::ServiceObjectDescription, id::DeviceDescription, id::DeviceName,
                        id::ScanData, id::ScanDataLabel})
        EXPECT_EQ(control.text(text), "[Error]") << text;
    EXPECT_EQ(control.text(id::ControlObjectDescription), "VXOPOS Scanner Control 1.13.0.2");

    LONG data = 3;
    BSTR text = nullptr;
    LONG compared = 0;
    struct Method {
        DISPID id;
        std::vector<DispatchArg> args;
    };
    const Method methods[] = {
        {id::CheckHealth, {DispatchArg::i4(1)}},
        {id::ClaimDevice, {DispatchArg::i4(1000)}},
        {id::ClearInput, {}},
        {id::Close, {}},
        {id::DirectIO, {DispatchArg::i4(18), DispatchArg::i4Ref(&data), DispatchArg::bstrRef(&text)}},
        {id::ReleaseDevice, {}},
        {id::ResetStatistics, {DispatchArg::latin1("")}},
        {id::RetrieveStatistics, {DispatchArg::bstrRef(&text)}},
        {id::UpdateStatistics, {DispatchArg::latin1("")}},
        {id::CompareFirmwareVersion, {DispatchArg::latin1("f"), DispatchArg::i4Ref(&compared)}},
        {id::UpdateFirmware, {DispatchArg::latin1("f")}},
        {id::ClearInputProperties, {}},
    };
    for (const Method& m : methods)
        EXPECT_EQ(control.call(m.id, m.args), 101) << m.id;
    control.put(id::DeviceEnabled, DispatchArg::boolean(true));
    EXPECT_EQ(control.get(id::ResultCode), 101);
    EXPECT_EQ(data, 3);
}

TEST_F(MembersTest, AnOlderServiceObjectIsNotAskedForWhatItsVersionLacks)
{
    struct Gate {
        DISPID id;
        LONG index;
        LONG minor;  // the first minor version that has it
        bool text;
    };
    const Gate gates[] = {
        {id::AutoDisable, 10, 2, false},          {id::BinaryConversion, 11, 2, false},
        {id::DataCount, 12, 2, false},            {id::DecodeData, 10001, 2, false},
        {id::ScanDataType, 10002, 2, false},      {id::ScanDataLabel, 1010002, 2, true},
        {id::CapPowerReporting, 501, 3, false},   {id::PowerNotify, 13, 3, false},
        {id::PowerState, 14, 3, false},           {id::CapStatisticsReporting, 502, 8, false},
        {id::CapUpdateStatistics, 503, 8, false}, {id::CapCompareFirmwareVersion, 504, 9, false},
        {id::CapUpdateFirmware, 505, 9, false},   {id::Claimed, 1, 0, false},
        {id::ScanData, 1010001, 0, true},
    };
    for (const Gate& g : gates) {
        SCOPED_TRACE(g.id);
        slot(1).numbers[g.index] = 5;
        slot(1).strings[g.index] = "five";
        for (const LONG minor : {g.minor - 1, g.minor}) {
            if (minor < 0)
                continue;
            Control control;
            OpenAt(control, 1000000 + minor * 1000);
            const bool covered = minor >= g.minor;
            const std::string asked =
                std::string(g.text ? "GetPropertyString(" : "GetPropertyNumber(") + std::to_string(g.index) + ")";
            if (g.text)
                EXPECT_EQ(control.text(g.id), covered ? "five" : "[Error]");
            else
                EXPECT_EQ(control.get(g.id) != 0, covered);
            EXPECT_EQ(Asked(slot(1), asked), covered);
            EXPECT_EQ(control.call(id::Close), 0);
        }
    }

    // Methods and writes: 104 without a call.
    struct MethodGate {
        DISPID id;
        LONG minor;
        std::vector<DispatchArg> args;
        const char* call;
    };
    BSTR statistics = nullptr;
    LONG compared = 0;
    const MethodGate methods[] = {
        {id::ResetStatistics, 8, {DispatchArg::latin1("a")}, "ResetStatistics(a)"},
        {id::RetrieveStatistics, 8, {DispatchArg::bstrRef(&statistics)}, "RetrieveStatistics(&)"},
        {id::UpdateStatistics, 8, {DispatchArg::latin1("b")}, "UpdateStatistics(b)"},
        {id::CompareFirmwareVersion, 9, {DispatchArg::latin1("c"), DispatchArg::i4Ref(&compared)},
         "CompareFirmwareVersion(c,&0)"},
        {id::UpdateFirmware, 9, {DispatchArg::latin1("d")}, "UpdateFirmware(d)"},
        {id::ClearInputProperties, 10, {}, "ClearInputProperties()"},
    };
    for (const MethodGate& m : methods) {
        SCOPED_TRACE(m.call);
        for (const LONG minor : {m.minor - 1, m.minor}) {
            Control control;
            OpenAt(control, 1000000 + minor * 1000);
            const bool covered = minor >= m.minor;
            EXPECT_EQ(control.call(m.id, m.args), covered ? 0 : 104);
            EXPECT_EQ(control.get(id::ResultCode), covered ? 0 : 104);
            EXPECT_EQ(Asked(slot(1), m.call), covered);
            SysFreeString(statistics);
            statistics = nullptr;
            compared = 0;
            control.call(id::Close);
        }
    }

    Control control;
    OpenAt(control, 1002000);
    control.put(id::AutoDisable, DispatchArg::boolean(true));
    EXPECT_EQ(slot(1).Calls().back(), "SetPropertyNumber(10,1)");
    EXPECT_EQ(control.get(id::AutoDisable), VARIANT_TRUE);
    control.put(id::PowerNotify, DispatchArg::i4(1));
    EXPECT_EQ(control.get(id::ResultCode), 104);
    EXPECT_FALSE(Asked(slot(1), "SetPropertyNumber(13,1)"));
}

TEST_F(MembersTest, PropertiesAndMethodsGoToTheServiceObject)
{
    Control control;
    OpenAt(control, 1013000);
    fakeso::Slot& so = slot(1);

    control.put(id::DeviceEnabled, DispatchArg::boolean(true));
    control.put(id::DataEventEnabled, DispatchArg::i4(7));  // any nonzero is true
    control.put(id::BinaryConversion, DispatchArg::i4(2));
    EXPECT_EQ(so.Calls(), (std::vector<std::string>{"SetPropertyNumber(3,1)", "SetPropertyNumber(2,1)",
                                                     "SetPropertyNumber(11,2)"}));
    EXPECT_EQ(control.get(id::DeviceEnabled), VARIANT_TRUE);
    EXPECT_EQ(control.get(id::BinaryConversion), 2);
    {
        std::lock_guard lock(so.mutex);
        so.numbers[6] = 114;
        so.numbers[7] = 281;
        so.strings[1010001] = std::string("12\0" "34\xE9", 6);
    }
    EXPECT_EQ(control.get(id::ResultCode), 114);  // asked: no failure of its own
    EXPECT_EQ(control.get(id::ResultCodeExtended), 281);
    EXPECT_EQ(control.text(id::ScanData), std::string("12\0" "34\xE9", 6));

    // By-reference arguments reach the caller's variables.
    LONG data = 41;
    BSTR text = platform::bstrFromAnsi("in");
    EXPECT_EQ(control.call(id::DirectIO, {DispatchArg::i4(18), DispatchArg::i4Ref(&data), DispatchArg::bstrRef(&text)}),
              0);
    EXPECT_EQ(data, 42);
    EXPECT_EQ(platform::ansiFromBstr(text), "dio:in");
    EXPECT_EQ(control.call(id::RetrieveStatistics, {DispatchArg::bstrRef(&text)}), 0);
    EXPECT_EQ(platform::ansiFromBstr(text), "<stats/>");
    SysFreeString(text);
    LONG compared = 0;
    EXPECT_EQ(control.call(id::CompareFirmwareVersion, {DispatchArg::latin1("fw.mocf"), DispatchArg::i4Ref(&compared)}),
              0);
    EXPECT_EQ(compared, 7);

    {
        std::lock_guard lock(so.mutex);
        so.methodResult = 106;
    }
    EXPECT_EQ(control.call(id::CheckHealth, {DispatchArg::i4(2)}), 106);
    EXPECT_EQ(so.Calls().back(), "CheckHealth(2)");

    // FreezeEvents: frozen in the service object first, thawed in it last.
    control.put(id::FreezeEvents, DispatchArg::boolean(true));
    EXPECT_EQ(so.Calls().back(), "SetPropertyNumber(4,1)");
    EXPECT_EQ(control.get(id::FreezeEvents), VARIANT_TRUE);
    control.put(id::FreezeEvents, DispatchArg::boolean(false));
    EXPECT_EQ(so.Calls().back(), "SetPropertyNumber(4,0)");
}

TEST_F(MembersTest, AFailingServiceObjectCallGives104)
{
    Control control;
    OpenAt(control, 1013000);
    {
        std::lock_guard lock(slot(1).mutex);
        slot(1).failCalls = true;
        slot(1).numbers[3] = 1;
        slot(1).strings[1010001] = "label";
    }
    EXPECT_EQ(control.call(id::ClaimDevice, {DispatchArg::i4(0)}), 104);
    EXPECT_EQ(control.get(id::ResultCode), 104);
    EXPECT_EQ(control.call(id::CheckHealth, {DispatchArg::i4(1)}), 104);
    EXPECT_EQ(control.get(id::ResultCode), 104);
    control.put(id::DeviceEnabled, DispatchArg::boolean(true));
    EXPECT_EQ(control.get(id::ResultCode), 104);
    EXPECT_EQ(control.get(id::DeviceEnabled), 0);
    EXPECT_EQ(control.text(id::ScanData), "[Error]");
    EXPECT_EQ(control.call(id::Close), 0);
}

TEST_F(MembersTest, RegistrationWritesTheControlsIdentityAndRemovesIt)
{
    const std::string clsid = "{60AE66F2-D32B-4751-8BF9-A4889F1205F1}";
    const std::string classKey = "CLSID\\" + clsid;
    auto text = [](const std::string& key, const char* name = nullptr) {
        HKEY handle = nullptr;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
            return std::string("<no key>");
        char buffer[600] = {};
        DWORD size = sizeof buffer - 1;
        const LONG status = RegQueryValueExA(handle, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
        RegCloseKey(handle);
        return status == ERROR_SUCCESS ? std::string(buffer) : std::string("<no value>");
    };
    const std::string library = controltest::LibraryPath("libVXOPOSScanner.so");
    const std::pair<std::string, std::pair<const char*, std::string>> expected[] = {
        {"VXOPOS.Scanner.1.13", {nullptr, "VXOPOS Scanner Control 1.13.0.2"}},
        {"VXOPOS.Scanner.1.13\\CLSID", {nullptr, clsid}},
        {"VXOPOS.Scanner", {nullptr, "VXOPOS Scanner Control 1.13.0.2"}},
        {"VXOPOS.Scanner\\CLSID", {nullptr, clsid}},
        {"VXOPOS.Scanner\\CurVer", {nullptr, "VXOPOS.Scanner.1.13.0.2"}},
        {classKey, {nullptr, "VXOPOS Scanner Control 1.13.0.2"}},
        {classKey, {"BuildInformation", "OPOS 1.13.0.2"}},
        {classKey + "\\ProgID", {nullptr, "VXOPOS.Scanner.1.13"}},
        {classKey + "\\VersionIndependentProgID", {nullptr, "VXOPOS.Scanner"}},
        {classKey + "\\InprocServer32", {nullptr, std::filesystem::canonical(library).string()}},
        {classKey + "\\InprocServer32", {"ThreadingModel", "Apartment"}},
        {classKey + "\\MiscStatus", {nullptr, "0"}},
        {classKey + "\\MiscStatus\\1", {nullptr, "132497"}},
        {classKey + "\\ToolboxBitmap32", {nullptr, std::filesystem::canonical(library).string() + ", 101"}},
        {classKey + "\\TypeLib", {nullptr, "{0CB2453F-D506-43E6-8926-4BC940E99967}"}},
        {classKey + "\\Version", {nullptr, "1.0"}},
        {classKey + "\\Programmable", {nullptr, "<no value>"}},
        {classKey + "\\Control", {nullptr, "<no value>"}},
        {classKey + "\\Insertable", {nullptr, "<no value>"}},
    };
    for (const auto& [key, value] : expected)
        EXPECT_EQ(text(key, value.first), value.second) << key << " " << (value.first ? value.first : "");

    // The stale interface key goes at registration; everything at
    // unregistration.
    const std::string stale = "SOFTWARE\\Classes\\Interface\\{CCB90181-B81E-11D2-AB74-0040054C3719}";
    controltest::SetText(stale + "\\ProxyStubClsid32", nullptr, "x");
    ASSERT_EQ(controltest::RegisterLibrary("libVXOPOSScanner.so"), S_OK);
    EXPECT_EQ(text("Interface\\{CCB90181-B81E-11D2-AB74-0040054C3719}"), "<no key>");

    // A write that fails makes registration fail.
    {
        vxtest::TempDir dir;
        std::ofstream(dir.file("plain-file")) << "not a folder";
        platform::setRegistryPath(dir.file("plain-file") + "/registry.db");
        EXPECT_EQ(controltest::RegisterLibrary("libVXOPOSScanner.so"), SELFREG_E_CLASS);
        platform::setRegistryPath("");
    }

    HMODULE module = LoadLibraryA(library.c_str());
    const auto unregister = reinterpret_cast<DllRegisterServerFunction>(GetProcAddress(module, "DllUnregisterServer"));
    ASSERT_NE(unregister, nullptr);
    EXPECT_EQ(unregister(), S_OK);
    for (const std::string key : {"VXOPOS.Scanner.1.13", "VXOPOS.Scanner", classKey.c_str()})
        EXPECT_EQ(text(key), "<no key>") << key;
    FreeLibrary(module);
}

TEST_F(MembersTest, OneDualInterfaceAnswersEveryVersionsIdentity)
{
    WriteDevice("dev", 1);
    Control control;
    IOPOSScanner* scanner = nullptr;
    ASSERT_EQ(control.dispatch()->QueryInterface(IID_IOPOSScanner, reinterpret_cast<void**>(&scanner)), S_OK);
    for (const IID& iid : {IID_IOPOSScanner_1_5, IID_IOPOSScanner_1_8, IID_IOPOSScanner_1_9, IID_IOPOSScanner_1_10}) {
        IUnknown* other = nullptr;
        ASSERT_EQ(control.dispatch()->QueryInterface(iid, reinterpret_cast<void**>(&other)), S_OK);
        EXPECT_EQ(static_cast<void*>(other), static_cast<void*>(scanner));
        other->Release();
    }
    IUnknown* none = nullptr;
    EXPECT_EQ(control.dispatch()->QueryInterface(DIID__IOPOSScannerEvents, reinterpret_cast<void**>(&none)),
              E_NOINTERFACE);

    BSTR device = platform::bstrFromAnsi("dev");
    LONG result = -1;
    EXPECT_EQ(scanner->Open(device, &result), S_OK);
    EXPECT_EQ(result, 0);
    SysFreeString(device);
    LONG version = 0;
    EXPECT_EQ(scanner->get_ControlObjectVersion(&version), S_OK);
    EXPECT_EQ(version, 1013002);
    EXPECT_EQ(scanner->ClearInputProperties(&result), S_OK);
    EXPECT_EQ(slot(1).Calls().back(), "ClearInputProperties()");
    EXPECT_EQ(scanner->Close(&result), S_OK);
    EXPECT_EQ(result, 0);
    scanner->Release();
}

TEST_F(MembersTest, TheLibraryCanUnloadOnlyWithoutControlsAndLocks)
{
    HMODULE module = LoadLibraryA(controltest::LibraryPath("libVXOPOSScanner.so").c_str());
    const auto canUnload = reinterpret_cast<DllCanUnloadNowFunction>(GetProcAddress(module, "DllCanUnloadNow"));
    const auto getClass = reinterpret_cast<DllGetClassObjectFunction>(GetProcAddress(module, "DllGetClassObject"));
    ASSERT_NE(canUnload, nullptr);
    EXPECT_EQ(canUnload(), S_OK);
    {
        Control control;
        EXPECT_EQ(canUnload(), S_FALSE);
    }
    EXPECT_EQ(canUnload(), S_OK);
    IClassFactory* factory = nullptr;
    ASSERT_EQ(getClass(CLSID_OPOSScanner, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    factory->LockServer(TRUE);
    EXPECT_EQ(canUnload(), S_FALSE);
    factory->LockServer(FALSE);
    EXPECT_EQ(canUnload(), S_OK);
    factory->Release();
    FreeLibrary(module);
}

}  // namespace
