// The control wrappers: each member reaches its control member (by dispatch
// id and invoke kind, with its argument types), against the real scanner
// control while it is closed, the scripted control and a recording
// IDispatch; values and by-reference arguments cross intact; a failed call
// throws ControlCallError with the HRESULT and the control's text.

#include "ControlFixtures.h"
#include "ControlSite.h"
#include "FakeScannerControl.h"
#include "OposControls.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using controltest::Control;
using controltest::RegisterLibrary;

std::string N(LONG value)
{
    return std::to_string(value);
}

// A scanner wrapper member, what the scripted control records for it, and
// what the closed real control answers.
struct ScannerRow {
    std::string record;
    std::function<std::string(COPOSScanner&)> call;
    std::string closed;
};

std::string DirectIOCall(COPOSScanner& s)
{
    LONG data = 3;
    BSTR text = platform::bstrFromAnsi("in");
    const LONG result = s.DirectIO(7, &data, &text);
    const std::string answer = N(result) + " " + N(data) + " " + platform::ansiFromBstr(text);
    SysFreeString(text);
    return answer;
}

std::string RetrieveStatisticsCall(COPOSScanner& s)
{
    BSTR buffer = platform::bstrFromAnsi("wanted");
    const LONG result = s.RetrieveStatistics(&buffer);
    const std::string answer = N(result) + " " + platform::ansiFromBstr(buffer);
    SysFreeString(buffer);
    return answer;
}

std::string CompareCall(COPOSScanner& s)
{
    LONG compared = -7;
    const LONG result = s.CompareFirmwareVersion("fw.bin", &compared);
    return N(result) + " " + N(compared);
}

const std::vector<ScannerRow>& ScannerRows()
{
    static const std::vector<ScannerRow> rows = {
        {"get AutoDisable", [](COPOSScanner& s) { return N(s.GetAutoDisable()); }, "0"},
        {"put AutoDisable=1", [](COPOSScanner& s) { s.SetAutoDisable(TRUE); return std::string(); }, ""},
        {"get BinaryConversion", [](COPOSScanner& s) { return N(s.GetBinaryConversion()); }, "0"},
        {"put BinaryConversion=2", [](COPOSScanner& s) { s.SetBinaryConversion(2); return std::string(); }, ""},
        {"get CapPowerReporting", [](COPOSScanner& s) { return N(s.GetCapPowerReporting()); }, "0"},
        {"get CheckHealthText", [](COPOSScanner& s) { return s.GetCheckHealthText(); }, "[Error]"},
        {"get Claimed", [](COPOSScanner& s) { return N(s.GetClaimed()); }, "0"},
        {"get DataCount", [](COPOSScanner& s) { return N(s.GetDataCount()); }, "0"},
        {"get DataEventEnabled", [](COPOSScanner& s) { return N(s.GetDataEventEnabled()); }, "0"},
        {"put DataEventEnabled=1", [](COPOSScanner& s) { s.SetDataEventEnabled(TRUE); return std::string(); }, ""},
        {"get DeviceEnabled", [](COPOSScanner& s) { return N(s.GetDeviceEnabled()); }, "0"},
        {"put DeviceEnabled=1", [](COPOSScanner& s) { s.SetDeviceEnabled(TRUE); return std::string(); }, ""},
        {"get FreezeEvents", [](COPOSScanner& s) { return N(s.GetFreezeEvents()); }, "0"},
        {"put FreezeEvents=0", [](COPOSScanner& s) { s.SetFreezeEvents(FALSE); return std::string(); }, ""},
        {"get PowerNotify", [](COPOSScanner& s) { return N(s.GetPowerNotify()); }, "0"},
        {"put PowerNotify=1", [](COPOSScanner& s) { s.SetPowerNotify(1); return std::string(); }, ""},
        {"get PowerState", [](COPOSScanner& s) { return N(s.GetPowerState()); }, "0"},
        {"get ResultCode", [](COPOSScanner& s) { return N(s.GetResultCode()); }, "101"},
        {"get ResultCodeExtended", [](COPOSScanner& s) { return N(s.GetResultCodeExtended()); }, "0"},
        {"get State", [](COPOSScanner& s) { return N(s.GetState()); }, "1"},
        {"get ControlObjectDescription", [](COPOSScanner& s) { return s.GetControlObjectDescription(); },
         "VXOPOS Scanner Control 1.13.0.2"},
        {"get ControlObjectVersion", [](COPOSScanner& s) { return N(s.GetControlObjectVersion()); }, "1013002"},
        {"get ServiceObjectDescription", [](COPOSScanner& s) { return s.GetServiceObjectDescription(); }, "[Error]"},
        {"get ServiceObjectVersion", [](COPOSScanner& s) { return N(s.GetServiceObjectVersion()); }, "0"},
        {"get DeviceDescription", [](COPOSScanner& s) { return s.GetDeviceDescription(); }, "[Error]"},
        {"get DeviceName", [](COPOSScanner& s) { return s.GetDeviceName(); }, "[Error]"},
        {"CheckHealth(1)", [](COPOSScanner& s) { return N(s.CheckHealth(1)); }, "101"},
        {"ClaimDevice(20000)", [](COPOSScanner& s) { return N(s.ClaimDevice(20000)); }, "101"},
        {"ClearInput()", [](COPOSScanner& s) { return N(s.ClearInput()); }, "101"},
        {"Close()", [](COPOSScanner& s) { return N(s.Close()); }, "101"},
        // Closed, the by-reference arguments stay as the caller gave them.
        {"DirectIO(7, 3, in)", DirectIOCall, "101 3 in"},
        // No such device entry: the registry step fails (109).
        {"Open(Lane 1)", [](COPOSScanner& s) { return N(s.Open("Lane 1")); }, "109"},
        {"ReleaseDevice()", [](COPOSScanner& s) { return N(s.ReleaseDevice()); }, "101"},
        {"get CapStatisticsReporting", [](COPOSScanner& s) { return N(s.GetCapStatisticsReporting()); }, "0"},
        {"get CapUpdateStatistics", [](COPOSScanner& s) { return N(s.GetCapUpdateStatistics()); }, "0"},
        {"ResetStatistics(All)", [](COPOSScanner& s) { return N(s.ResetStatistics("All")); }, "101"},
        {"RetrieveStatistics(wanted)", RetrieveStatisticsCall, "101 wanted"},
        {"UpdateStatistics(x=1)", [](COPOSScanner& s) { return N(s.UpdateStatistics("x=1")); }, "101"},
        {"get CapCompareFirmwareVersion", [](COPOSScanner& s) { return N(s.GetCapCompareFirmwareVersion()); }, "0"},
        {"get CapUpdateFirmware", [](COPOSScanner& s) { return N(s.GetCapUpdateFirmware()); }, "0"},
        {"CompareFirmwareVersion(fw.bin, -7)", CompareCall, "101 -7"},
        {"UpdateFirmware(fw.bin)", [](COPOSScanner& s) { return N(s.UpdateFirmware("fw.bin")); }, "101"},
        {"ClearInputProperties()", [](COPOSScanner& s) { return N(s.ClearInputProperties()); }, "101"},
        // The failed Open above left the step it failed at.
        {"get OpenResult", [](COPOSScanner& s) { return N(s.GetOpenResult()); }, "302"},
        {"get DecodeData", [](COPOSScanner& s) { return N(s.GetDecodeData()); }, "0"},
        {"put DecodeData=1", [](COPOSScanner& s) { s.SetDecodeData(TRUE); return std::string(); }, ""},
        {"get ScanData", [](COPOSScanner& s) { return s.GetScanData(); }, "[Error]"},
        {"get ScanDataLabel", [](COPOSScanner& s) { return s.GetScanDataLabel(); }, "[Error]"},
        {"get ScanDataType", [](COPOSScanner& s) { return N(s.GetScanDataType()); }, "0"},
    };
    return rows;
}

class WrappersTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(RegisterLibrary("libVXOPOSScanner.so"), S_OK); }
};

TEST_F(WrappersTest, EachScannerMemberReachesItsControlMemberAndGetsTheClosedControlsAnswer)
{
    Control control;
    COPOSScanner real(control.dispatch());
    FakeScannerControl fake;
    COPOSScanner scripted(&fake);
    for (const ScannerRow& row : ScannerRows()) {
        SCOPED_TRACE(row.record);
        EXPECT_EQ(row.call(real), row.closed);
        // The scripted control names the member it was reached at (by id
        // and kind) and the arguments it got.
        fake.ClearCalls();
        row.call(scripted);
        EXPECT_EQ(fake.Calls(), std::vector<std::string>{row.record});
    }
    // Every write was dropped while closed: the control still answers 101.
    EXPECT_EQ(real.GetResultCode(), 101);
}

TEST_F(WrappersTest, ValuesCrossAsTheControlGivesThem)
{
    FakeScannerControl fake;
    COPOSScanner scanner(&fake);
    const std::string label("A\r\n\x80\xE9\xFF", 6);
    fake.SetText("ScanDataLabel", label);
    fake.SetText("ScanData", std::string("]E0\0x", 5));
    fake.SetNumber("Claimed", 1);
    fake.SetNumber("DataCount", -5);
    fake.SetNumber("ClaimDevice", 106);
    EXPECT_EQ(scanner.GetScanDataLabel(), label);
    EXPECT_EQ(scanner.GetScanData(), std::string("]E0\0x", 5));
    EXPECT_NE(scanner.GetClaimed(), 0);
    EXPECT_EQ(scanner.GetDataCount(), -5);
    EXPECT_EQ(scanner.ClaimDevice(1000), 106);
    // A write is a boolean on the wire: any nonzero BOOL is true.
    scanner.SetDeviceEnabled(5);
    EXPECT_EQ(fake.Calls().back(), "put DeviceEnabled=1");
    EXPECT_NE(scanner.GetDeviceEnabled(), 0);
    scanner.Open(std::string("Lane \xE9", 6));
    EXPECT_EQ(fake.Calls().back(), "Open(Lane \xE9)");
}

TEST_F(WrappersTest, ByReferenceArgumentsComeBackChanged)
{
    FakeScannerControl fake;
    COPOSScanner scanner(&fake);
    fake.SetDirectIOOutput(42, std::string("out\xFF", 4));
    fake.SetStatisticsOutput("<UPOSStat/>");
    fake.SetCompareResult(2);

    LONG data = 1;
    BSTR text = platform::bstrFromAnsi("in");
    EXPECT_EQ(scanner.DirectIO(7, &data, &text), 0);
    EXPECT_EQ(data, 42);
    EXPECT_EQ(platform::ansiFromBstr(text), std::string("out\xFF", 4));
    SysFreeString(text);

    BSTR buffer = platform::bstrFromAnsi("names");
    EXPECT_EQ(scanner.RetrieveStatistics(&buffer), 0);
    EXPECT_EQ(platform::ansiFromBstr(buffer), "<UPOSStat/>");
    SysFreeString(buffer);

    LONG compared = -1;
    EXPECT_EQ(scanner.CompareFirmwareVersion("fw.bin", &compared), 0);
    EXPECT_EQ(compared, 2);
    EXPECT_EQ(fake.Calls(), (std::vector<std::string>{"DirectIO(7, 1, in)", "RetrieveStatistics(names)",
                                                      "CompareFirmwareVersion(fw.bin, -1)"}));
}

TEST_F(WrappersTest, AFailedCallThrowsItsHresultAndText)
{
    FakeScannerControl fake;
    COPOSScanner scanner(&fake);
    fake.Fail("ClaimDevice", "claim broke");
    fake.Fail("put DeviceEnabled", "write broke");
    fake.Fail("get ScanDataLabel", "read broke");
    const std::vector<std::pair<std::function<void()>, std::string>> cases = {
        {[&] { scanner.ClaimDevice(1000); }, "claim broke"},
        {[&] { scanner.SetDeviceEnabled(TRUE); }, "write broke"},
        {[&] { scanner.GetScanDataLabel(); }, "read broke"},
    };
    for (const auto& [call, text] : cases) {
        SCOPED_TRACE(text);
        try {
            call();
            ADD_FAILURE() << "no exception";
        } catch (const ControlCallError& error) {
            EXPECT_EQ(error.code(), DISP_E_EXCEPTION);
            EXPECT_EQ(std::string(error.what()), text);
        }
    }
    // Members that did not fail still answer.
    EXPECT_EQ(scanner.GetDeviceEnabled(), 0);

    // Without a control: the driver's own failure, with a text of its own.
    COPOSScanner empty;
    try {
        empty.GetResultCode();
        ADD_FAILURE() << "no exception";
    } catch (const ControlCallError& error) {
        EXPECT_EQ(error.code(), E_POINTER);
        EXPECT_NE(std::string(error.what()), "");
    }
}

// --- The image-scanner wrapper ---------------------------------------------

// Records each call's id, kind and argument types; answers a number.
class RecordingDispatch final : public IDispatch {
public:
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
    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* ids) override
    {
        // Only the one member the wrapper binds by name; its id is this
        // control's own.
        if (std::u16string_view(names[0]) != u"CompareFirmwareVersion")
            return DISP_E_UNKNOWNNAME;
        ids[0] = 146;
        return S_OK;
    }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                   UINT*) override
    {
        std::string call = std::to_string(id) + (flags == DISPATCH_METHOD         ? " method"
                                                 : flags == DISPATCH_PROPERTYGET ? " get"
                                                 : flags == DISPATCH_PROPERTYPUT ? " put"
                                                                                 : " other");
        for (UINT i = params->cArgs; i-- > 0;)  // first argument first
            call += " " + std::to_string(params->rgvarg[i].vt);
        calls.push_back(call);
        if (result != nullptr) {
            result->vt = VT_I4;
            result->lVal = 0;
        }
        return S_OK;
    }
    std::vector<std::string> calls;
};

struct ImageRow {
    std::string dispatch;  // "id kind argument-types"
    std::function<std::string(COPOSImageScanner&)> call;
    std::string closed;  // the stand-in's answer
};

const std::vector<ImageRow>& ImageRows()
{
    const std::string i4 = std::to_string(VT_I4);
    const std::string boolean = std::to_string(VT_BOOL);
    const std::string text = std::to_string(VT_BSTR);
    const std::string i4Ref = std::to_string(VT_I4 | VT_BYREF);
    static const std::vector<ImageRow> rows = {
        // The members shared with the scanner control.
        {"10 get", [](COPOSImageScanner& s) { return N(s.GetAutoDisable()); }, "0"},
        {"10 put " + boolean, [](COPOSImageScanner& s) { s.SetAutoDisable(TRUE); return std::string(); }, ""},
        {"11 get", [](COPOSImageScanner& s) { return N(s.GetBinaryConversion()); }, "0"},
        {"11 put " + i4, [](COPOSImageScanner& s) { s.SetBinaryConversion(1); return std::string(); }, ""},
        {"12 get", [](COPOSImageScanner& s) { return N(s.GetCapPowerReporting()); }, "0"},
        {"13 get", [](COPOSImageScanner& s) { return s.GetCheckHealthText(); }, "[Error]"},
        {"14 get", [](COPOSImageScanner& s) { return N(s.GetClaimed()); }, "0"},
        {"15 get", [](COPOSImageScanner& s) { return N(s.GetDataCount()); }, "0"},
        {"16 get", [](COPOSImageScanner& s) { return N(s.GetDataEventEnabled()); }, "0"},
        {"16 put " + boolean, [](COPOSImageScanner& s) { s.SetDataEventEnabled(TRUE); return std::string(); }, ""},
        {"17 get", [](COPOSImageScanner& s) { return N(s.GetDeviceEnabled()); }, "0"},
        {"17 put " + boolean, [](COPOSImageScanner& s) { s.SetDeviceEnabled(TRUE); return std::string(); }, ""},
        {"18 get", [](COPOSImageScanner& s) { return N(s.GetFreezeEvents()); }, "0"},
        {"18 put " + boolean, [](COPOSImageScanner& s) { s.SetFreezeEvents(TRUE); return std::string(); }, ""},
        {"20 get", [](COPOSImageScanner& s) { return N(s.GetPowerNotify()); }, "0"},
        {"20 put " + i4, [](COPOSImageScanner& s) { s.SetPowerNotify(1); return std::string(); }, ""},
        {"21 get", [](COPOSImageScanner& s) { return N(s.GetPowerState()); }, "0"},
        {"22 get", [](COPOSImageScanner& s) { return N(s.GetResultCode()); }, "101"},
        {"23 get", [](COPOSImageScanner& s) { return N(s.GetResultCodeExtended()); }, "0"},
        {"24 get", [](COPOSImageScanner& s) { return N(s.GetState()); }, "1"},
        {"25 get", [](COPOSImageScanner& s) { return s.GetControlObjectDescription(); },
         "VXOPOS Image Scanner Control stand-in 1.13.0.2"},
        {"26 get", [](COPOSImageScanner& s) { return N(s.GetControlObjectVersion()); }, "1013002"},
        {"27 get", [](COPOSImageScanner& s) { return s.GetServiceObjectDescription(); }, "[Error]"},
        {"28 get", [](COPOSImageScanner& s) { return N(s.GetServiceObjectVersion()); }, "0"},
        {"29 get", [](COPOSImageScanner& s) { return s.GetDeviceDescription(); }, "[Error]"},
        {"30 get", [](COPOSImageScanner& s) { return s.GetDeviceName(); }, "[Error]"},
        {"31 method " + i4, [](COPOSImageScanner& s) { return N(s.CheckHealth(2)); }, "101"},
        {"32 method " + i4, [](COPOSImageScanner& s) { return N(s.ClaimDevice(1000)); }, "101"},
        {"33 method", [](COPOSImageScanner& s) { return N(s.ClearInput()); }, "101"},
        {"35 method", [](COPOSImageScanner& s) { return N(s.Close()); }, "101"},
        {"38 method", [](COPOSImageScanner& s) { return N(s.ReleaseDevice()); }, "101"},
        {"39 get", [](COPOSImageScanner& s) { return N(s.GetCapStatisticsReporting()); }, "0"},
        {"40 get", [](COPOSImageScanner& s) { return N(s.GetCapUpdateStatistics()); }, "0"},
        {"44 get", [](COPOSImageScanner& s) { return N(s.GetCapCompareFirmwareVersion()); }, "0"},
        {"45 get", [](COPOSImageScanner& s) { return N(s.GetCapUpdateFirmware()); }, "0"},
        {"47 method " + text, [](COPOSImageScanner& s) { return N(s.UpdateFirmware("fw.bin")); }, "101"},
        {"48 method", [](COPOSImageScanner& s) { return N(s.ClearInputProperties()); }, "101"},
        {"49 get", [](COPOSImageScanner& s) { return N(s.GetOpenResult()); }, "0"},
        // Bound by name.
        {"146 method " + text + " " + i4Ref,
         [](COPOSImageScanner& s) {
             LONG compared = -3;
             const LONG result = s.CompareFirmwareVersion("fw.bin", &compared);
             return N(result) + " " + N(compared);
         },
         "101 -3"},
        // The image scanner's own.
        {"60 get", [](COPOSImageScanner& s) { return N(s.GetCapAim()); }, "0"},
        {"61 get", [](COPOSImageScanner& s) { return N(s.GetCapDecodeData()); }, "0"},
        {"62 get", [](COPOSImageScanner& s) { return N(s.GetCapHostTriggered()); }, "0"},
        {"63 get", [](COPOSImageScanner& s) { return N(s.GetCapIlluminate()); }, "0"},
        {"64 get", [](COPOSImageScanner& s) { return N(s.GetCapImageData()); }, "0"},
        {"65 get", [](COPOSImageScanner& s) { return N(s.GetCapImageQuality()); }, "0"},
        {"66 get", [](COPOSImageScanner& s) { return N(s.GetCapVideoData()); }, "0"},
        {"67 get", [](COPOSImageScanner& s) { return N(s.GetAimMode()); }, "0"},
        {"67 put " + boolean, [](COPOSImageScanner& s) { s.SetAimMode(TRUE); return std::string(); }, ""},
        {"68 get", [](COPOSImageScanner& s) { return N(s.GetBitsPerPixel()); }, "0"},
        {"69 get", [](COPOSImageScanner& s) { return s.GetFrameData(); }, "[Error]"},
        {"70 get", [](COPOSImageScanner& s) { return N(s.GetFrameType()); }, "0"},
        {"71 get", [](COPOSImageScanner& s) { return N(s.GetIlluminateMode()); }, "0"},
        {"71 put " + boolean, [](COPOSImageScanner& s) { s.SetIlluminateMode(TRUE); return std::string(); }, ""},
        {"72 get", [](COPOSImageScanner& s) { return N(s.GetImageHeight()); }, "0"},
        {"73 get", [](COPOSImageScanner& s) { return N(s.GetImageLength()); }, "0"},
        {"74 get", [](COPOSImageScanner& s) { return N(s.GetImageMode()); }, "0"},
        {"74 put " + i4, [](COPOSImageScanner& s) { s.SetImageMode(2); return std::string(); }, ""},
        {"75 get", [](COPOSImageScanner& s) { return N(s.GetImageQuality()); }, "0"},
        {"75 put " + i4, [](COPOSImageScanner& s) { s.SetImageQuality(50); return std::string(); }, ""},
        {"76 get", [](COPOSImageScanner& s) { return N(s.GetImageType()); }, "0"},
        {"77 get", [](COPOSImageScanner& s) { return N(s.GetImageWidth()); }, "0"},
        {"78 get", [](COPOSImageScanner& s) { return N(s.GetVideoCount()); }, "0"},
        {"78 put " + i4, [](COPOSImageScanner& s) { s.SetVideoCount(4); return std::string(); }, ""},
        {"79 get", [](COPOSImageScanner& s) { return N(s.GetVideoRate()); }, "0"},
        {"79 put " + i4, [](COPOSImageScanner& s) { s.SetVideoRate(30); return std::string(); }, ""},
        {"90 method", [](COPOSImageScanner& s) { return N(s.StartSession()); }, "101"},
        {"91 method", [](COPOSImageScanner& s) { return N(s.StopSession()); }, "101"},
    };
    return rows;
}

class StandInTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(RegisterLibrary("libVXOPOSImageScanner.so"), S_OK); }
};

TEST_F(StandInTest, EachImageMemberReachesItsIdAndTheStandInAnswersAsAClosedControl)
{
    ControlSite site;
    ASSERT_EQ(site.Create(kImageScannerControlClsid), S_OK);
    COPOSImageScanner standIn(site.Dispatch());
    RecordingDispatch recorder;
    COPOSImageScanner recorded(&recorder);
    for (const ImageRow& row : ImageRows()) {
        SCOPED_TRACE(row.dispatch);
        EXPECT_EQ(row.call(standIn), row.closed);
        recorder.calls.clear();
        row.call(recorded);
        EXPECT_EQ(recorder.calls, std::vector<std::string>{row.dispatch});
    }
}

TEST_F(StandInTest, OpenIsRefusedWithNoServiceAndTheControlStaysClosed)
{
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(u"VXOPOS.ImageScanner", &clsid), S_OK);
    EXPECT_EQ(clsid, kImageScannerControlClsid);

    ControlSite site;
    ASSERT_EQ(site.Create(kImageScannerControlClsid), S_OK);
    COPOSImageScanner standIn(site.Dispatch());
    EXPECT_EQ(standIn.Open("Imager 1"), 104);
    EXPECT_EQ(standIn.GetOpenResult(), 303);
    EXPECT_EQ(standIn.GetResultCode(), 101);
    EXPECT_EQ(standIn.GetState(), 1);
    EXPECT_EQ(standIn.ClaimDevice(1000), 101);
    standIn.SetDeviceEnabled(TRUE);
    EXPECT_EQ(standIn.GetDeviceEnabled(), 0);
    // Members of the scanner control alone are not there.
    try {
        COPOSScanner asScanner(site.Dispatch());
        asScanner.GetScanDataLabel();
        ADD_FAILURE() << "no exception";
    } catch (const ControlCallError& error) {
        EXPECT_EQ(error.code(), DISP_E_MEMBERNOTFOUND);
    }
}

}  // namespace
