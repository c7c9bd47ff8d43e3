// The scanner logic without a device: the calls of a closed service, how a
// barcode becomes ScanData, ScanDataLabel and ScanDataType, the text the
// check-health dialog shows, and the BSTR answers of the exported
// interface's byte-buffer DirectIO.
#include "SOFixtures.h"

#include "CScannerMgr.h"
#include "CScannerWrapper.h"

#include "COPOSKestrel.h"

#include "platform/bstr.h"

#include <functional>
#include <memory>

using namespace sotest;

namespace {

CDataEvent* barcode(char codeId, const std::string& aim, const std::string& label)
{
    SBarcodeRecord record;
    record.m_cCodeId = codeId;
    record.m_aim[0] = aim.size() > 0 ? aim[0] : '\0';
    record.m_aim[1] = aim.size() > 1 ? aim[1] : '\0';
    std::copy(label.begin(), label.end(), record.m_label);
    record.m_nLength = static_cast<std::int32_t>(label.size());
    return new CDataEvent(record);
}

TEST(ScannerLogic, ClosedServiceAnswers101AndReadsItsClosedValues)
{
    CScannerMgr mgr;
    EXPECT_EQ(mgr.GetDeviceOpenStatus(), 0);
    struct Call {
        const char* name;
        std::function<long()> call;
    };
    long count = 0;
    BSTR text = nullptr;
    const Call calls[] = {
        {"ClaimDevice", [&] { return mgr.ClaimDevice(1000); }},
        {"SetPropertyNumber 3", [&] { return mgr.SetPropertyNumber(3, 1); }},
        {"SetPropertyNumber 2", [&] { return mgr.SetPropertyNumber(2, 1); }},
        {"SetPropertyNumber 11", [&] { return mgr.SetPropertyNumber(11, 1); }},
        {"DirectIO", [&] { return mgr.DirectIO(18, &count, &text); }},
        {"CheckHealth", [&] { return mgr.CheckHealth(1); }},
        {"UpdateFirmware", [&] { return mgr.UpdateFirmware("x.bin"); }},
        {"CompareFirmwareVersion", [&] { return mgr.CompareFirmwareVersion("x.bin", &count); }},
        {"COFreezeEvents", [&] { return mgr.COFreezeEvents(1); }},
        {"ClearInput", [&] { return mgr.ClearInput(); }},
        {"ClearInputProps", [&] { return mgr.ClearInputProps(); }},
    };
    for (const auto& c : calls) {
        mgr.Common().m_nResultCode = 0;
        mgr.Common().m_nResultCodeExtended = 0;
        EXPECT_EQ(c.call(), 101) << c.name;
        EXPECT_EQ(mgr.GetPropertyNumber(6), 101) << c.name;
    }
    EXPECT_EQ(mgr.ReleaseDevice(), 106);
    EXPECT_EQ(mgr.CloseService(), 0);

    const struct {
        long index;
        long value;
    } reads[] = {{2, 0}, {4, 0}, {9, 1}, {12, 0}, {14, 2000}, {3, 0}, {10, 0}, {8, 1013210}, {10001, 0}, {77, 0}};
    for (const auto& r : reads)
        EXPECT_EQ(mgr.GetPropertyNumber(r.index), r.value) << r.index;
    const struct {
        long index;
        const char* text;
    } strings[] = {{1010001, "[Error]"},
                   {1010002, "[Error]"},
                   {1000004, "Varnex OPOS Scanner (Barcode) Service Object"},
                   {999, "[Error: Automation?]"}};
    for (const auto& s : strings) {
        BSTR value = mgr.GetPropertyString(s.index);
        EXPECT_EQ(platform::ansiFromBstr(value), s.text) << s.index;
        SysFreeString(value);
    }
    EXPECT_EQ(mgr.SetPropertyString(1010001, "x"), 106);
}

TEST(ScannerLogic, ScanDataTypeOfEveryCodeIdentifier)
{
    const struct {
        char codeId;
        const char* aim;
        long length;
        int gs1Ltd;
        long type;
    } cases[] = {
        {'a', "]F0", 5, 0, 107},  {'b', "]A0", 5, 0, 108},  {'c', "]E0", 12, 0, 101}, {'c', "]E3", 12, 0, 111},
        {'c', "", 14, 0, 111},    {'c', "", 13, 0, 101},    {'d', "]E0", 13, 0, 104}, {'d', "]E3", 5, 0, 119},
        {'d', "", 14, 0, 119},    {'D', "]E4", 8, 0, 103},  {'D', "", 9, 0, 118},     {'D', "]E3", 8, 0, 118},
        {'E', "]E0", 8, 0, 102},  {'E', "", 14, 0, 112},    {'e', "]I0", 6, 0, 106},  {'f', "]S0", 6, 0, 105},
        {'I', "]C1", 6, 0, 120},  {'i', "]G0", 6, 0, 109},  {'j', "]C0", 6, 0, 110},  {'O', "]o2", 6, 0, 122},
        {'O', "]o1", 6, 0, 121},  {'R', "]L0", 6, 0, 207},  {'r', "]L0", 6, 0, 201},  {'s', "]Q1", 6, 0, 205},
        {'s', "]Q3", 6, 0, 204},  {'w', "]d1", 6, 0, 203},  {'x', "]U0", 6, 0, 202},  {'y', "]e0", 6, 0, 131},
        {'z', "]z0", 6, 0, 206},  {'{', "]e0", 6, 1, 1000}, {'{', "]e0", 6, 0, 131},  {'}', "]e0", 6, 0, 132},
        {'Q', "]X0", 6, 0, 501},  {'\x9C', "", 0, 0, 501},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CScannerMgr::GetScanDataType(static_cast<signed char>(c.codeId), c.aim, c.length, c.gs1Ltd), c.type)
            << c.codeId << " " << c.aim << " " << c.length;
}

TEST(ScannerLogic, BarcodeToScanDataLabelAndType)
{
    const struct {
        const char* name;
        char codeId;
        const char* aim;
        std::string label;
        long decodeData;
        int scanDataOption;
        int binaryConversion;
        int gs1Ltd;
        std::string scanData;
        std::string scanDataLabel;
        long type;
    } cases[] = {
        {"raw with identifiers", 'c', "E0", "012345678905", 1, 0, 0, 0, "c]E0012345678905", "012345678905", 101},
        {"stripped", 'c', "E0", "012345678905", 1, 1, 0, 0, "012345678905", "012345678905", 101},
        {"not decoded", 'j', "C0", "AB", 0, 0, 0, 0, "j]C0AB", "", 0},
        {"nibbles", 'j', "C0", ":", 1, 0, 1, 0, "6:5=43303:", "3:", 110},
        {"nibbles stripped", 'j', "C0", std::string("\x3A\xFF", 2), 1, 1, 1, 0, "3:??", "3:??", 110},
        {"decimal", 'j', "C0", "A", 1, 0, 2, 0, "106093067048065", "065", 110},
        {"decimal stripped", 'j', "C0", std::string("\x00\xFF", 2), 1, 1, 2, 0, "000255", "000255", 110},
        {"limited as 1000", '{', "e0", "0100", 1, 1, 0, 1, "0100", "0100", 1000},
        {"binary bytes kept", 'r', "L0", std::string("\x00\x80\xFF", 3), 1, 1, 0, 0, std::string("\x00\x80\xFF", 3),
         std::string("\x00\x80\xFF", 3), 201},
    };
    for (const auto& c : cases) {
        CScannerMgr mgr;
        mgr.m_nDecodeData = c.decodeData;
        mgr.m_nDecodeGs1Ltd = c.gs1Ltd;
        mgr.Common().m_nScanDataOption = c.scanDataOption;
        mgr.Common().m_nBinaryConversion = c.binaryConversion;
        std::unique_ptr<CDataEvent> event(barcode(c.codeId, c.aim, c.label));
        mgr.ProcessBarcodeEventData(*event);
        BSTR data = mgr.GetPropertyString(1010001);
        BSTR label = mgr.GetPropertyString(1010002);
        EXPECT_EQ(platform::ansiFromBstr(data), c.scanData) << c.name;
        EXPECT_EQ(platform::ansiFromBstr(label), c.scanDataLabel) << c.name;
        EXPECT_EQ(mgr.GetPropertyNumber(10002), c.type) << c.name;
        SysFreeString(data);
        SysFreeString(label);
    }
}

TEST(CheckHealthDialog, ControlCharactersByNameAndALineBreakAfterCrLf)
{
    const struct {
        std::string text;
        std::string shown;
    } cases[] = {
        {"A\r\nB", "A[CR][LF]\nB"},
        {"A\tB", "A\tB"},
        {"A\nB", "A[LF]B"},
        {"\r\r\n", "[CR][CR][LF]\n"},
        {std::string("\x00\x10\x1F", 3), "[NUL][DLF][US]"},
        {"[Error]", "[Error]"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CInteractive::Format(c.text), c.shown);

    CScriptedCheckHealthView closed;
    CInteractive dialog(&closed);
    EXPECT_EQ(dialog.DoModal(), 111);
    CScriptedCheckHealthView pass(0);
    CInteractive passing(&pass);
    EXPECT_EQ(passing.DoModal(), 0);
    passing.SetText("x\ry");
    EXPECT_EQ(pass.Texts(), std::vector<std::string>{"x[CR]y"});
}

TEST(ScannerWrapper, ByteBufferDirectIOIsRefusedToTheComClassAndNegativeCounts)
{
    CScannerWrapper::ScannerInit(0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    unsigned char buffer[8] = {};
    long count = 8;
    EXPECT_EQ(CScannerWrapper::ScannerDirectIO2(10, &count, buffer), -1);
    CScannerWrapper::ScannerInit(1, "0", "", "1", "0", "", "", "2", "100");
    count = -1;
    EXPECT_EQ(CScannerWrapper::ScannerDirectIO2(10, &count, buffer), 106);
    count = 8;
    EXPECT_EQ(CScannerWrapper::ScannerDirectIO2(10, &count, buffer), 101);  // not open
    // A poll period below 250 is ignored.
    EXPECT_EQ(COPOSKestrel::GetInstance()->GetPollFrequency(), 2000u);
    CScannerWrapper::ScannerReleaseInstance();
    COPOSKestrel::ReleaseInstance();
}

}  // namespace
