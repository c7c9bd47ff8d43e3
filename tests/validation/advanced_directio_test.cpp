// The Advanced View's DirectIO menu on the scripted scanner control: image
// captures decoded by BinaryConversion, the serial command with its buffer
// sizes and response block, the command time-out, the data-queue limit of
// a device entry, and the scanner's ErrorEvent sink.
#include "AdvancedEndToEnd.h"
#include "AdvancedTestSupport.h"

#include "simulator/identity_model.h"
#include "simulator/imager_images.h"
#include "simulator/menu_engine.h"

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

using namespace vxtest;
using namespace adv;

namespace {

const std::string kDirectIOLine = "DirectIO    :   ";

class DirectIOTest : public AdvancedTest {
protected:
    void SetUp() override
    {
        AdvancedTest::SetUp();
        start();
        control.ClearCalls();
    }
    std::string image() const { return std::string(m_dlg->m_lastImage.begin(), m_dlg->m_lastImage.end()); }
    std::string status() { return at(IDC_STATIC_STATUS).text; }
    // The DirectIO calls made: "DirectIO(command, pData, string)".
    std::vector<std::string> directIOCalls() const
    {
        std::vector<std::string> found;
        for (const std::string& call : control.Calls())
            if (call.rfind("DirectIO(", 0) == 0)
                found.push_back(call);
        return found;
    }
    // The call a string of `room` characters holding `text` makes.
    static std::string sent(LONG command, LONG pData, const std::string& text, std::size_t room)
    {
        return "DirectIO(" + std::to_string(command) + ", " + std::to_string(pData) + ", " + text +
               std::string(room - text.size(), '\0') + ")";
    }
    void serialCommand(const std::string& command)
    {
        host.AnswerDirectIO(command);
        dlg().OnDirectioSerialcmd();
    }
};

// The real control and service object with a simulated imager (that
// answers P_INFO and refuses one command), opened and claimed.
class DirectIOEndToEndTest : public AdvancedEndToEndTest {
protected:
    static constexpr const char* kRefused = "TRGMOD9";
    void SetUp() override
    {
        AdvancedEndToEndTest::SetUp();
        plug(ScannerWire::serial, [](vxsim::MenuModel& menu) {
            menu = vxsim::identityMenu(*vxsim::findIdentityModel("arch2"), menu);
            menu.image = std::string();
            vxsim::MenuRule refuse;
            refuse.command = kRefused;
            refuse.status = vxsim::kMenuNak;
            menu.rules.push_back(refuse);
        });
        start();
        openAndClaim();
        dlg().OnBtnClearlog();
    }
    std::string preview() const
    {
        return std::string(m_dlg->Model().preview.begin(), m_dlg->Model().preview.end());
    }
    std::string output() const { return m_dlg->Model().output; }
    void serialCommand(const std::string& command)
    {
        host.AnswerDirectIO(command);
        dlg().OnDirectioSerialcmd();
    }
};

}  // namespace

TEST_F(DirectIOTest, ImageEntriesSendTheirCommandWithRoomByBinaryConversionAndShowTheDecodedImage)
{
    struct Entry {
        void (CAdvancedValidation::*menu)();
        LONG command;
    };
    const Entry entries[] = {{&CAdvancedValidation::OnDioGetBmpImage, 10},
                             {&CAdvancedValidation::OnDioGetTiffbinImage, 11},
                             {&CAdvancedValidation::OnDioGetTiffgrayImage, 12},
                             {&CAdvancedValidation::OnDioGetJpegImage, 13}};
    struct Form {
        LONG binaryConversion;
        std::size_t room;
        std::string reply;
    };
    // The same two bytes as the service object encodes them in each form.
    const Form forms[] = {{0, 0x130000, "AB"}, {1, 0x260000, "4142"}, {2, 0x390000, "065066"}};
    for (const Entry& entry : entries) {
        for (const Form& form : forms) {
            SCOPED_TRACE(std::to_string(entry.command) + " in form " + std::to_string(form.binaryConversion));
            control.ClearCalls();
            m_dlg->m_lastImage.clear();
            dlg().OnBtnClearlog();
            control.SetNumber("BinaryConversion", form.binaryConversion);
            control.SetDirectIOOutput(static_cast<LONG>(form.reply.size()), form.reply);
            (dlg().*entry.menu)();
            EXPECT_EQ(directIOCalls(), std::vector<std::string>{sent(entry.command, static_cast<LONG>(form.room), "", form.room)});
            EXPECT_EQ(image(), "AB");
            EXPECT_EQ(model().output, kDirectIOLine + "OPOS_SUCCESS");
            EXPECT_EQ(status(), "");
        }
    }
}

TEST_F(DirectIOTest, RaiseErrorEventSendsCommandNineAndShowsTheRefusal)
{
    control.SetNumber("DirectIO", 106);
    dlg().OnRaiseErrorEvent();
    EXPECT_EQ(directIOCalls(), std::vector<std::string>{sent(9, 0x130000, "", 0x130000)});
    EXPECT_EQ(model().output, kDirectIOLine + "OPOS_E_ILLEGAL");
}

TEST_F(DirectIOTest, AFailedCaptureShowsItsResultAndKeepsThePreviousImage)
{
    control.SetDirectIOOutput(2, "AB");
    dlg().OnDioGetBmpImage();
    ASSERT_EQ(image(), "AB");

    struct Case {
        const char* what;
        LONG binaryConversion;
        LONG result;
        std::string expectedCall;
        std::string line;
    };
    const Case cases[] = {
        // No string at all for a form the view does not know.
        {"unknown form", 7, 106, "DirectIO(10, 0, )", "OPOS_E_ILLEGAL"},
        {"time-out", 0, 112, sent(10, 0x130000, "", 0x130000), "OPOS_E_TIMEOUT"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        control.ClearCalls();
        dlg().OnBtnClearlog();
        control.SetNumber("BinaryConversion", c.binaryConversion);
        control.SetNumber("DirectIO", c.result);
        control.SetDirectIOOutput(2, "CD");
        dlg().OnDioGetBmpImage();
        EXPECT_EQ(directIOCalls(), std::vector<std::string>{c.expectedCall});
        EXPECT_EQ(model().output, kDirectIOLine + c.line);
        EXPECT_EQ(image(), "AB");
    }
}

TEST_F(DirectIOTest, AReplyIsReadNoFurtherThanTheReturnedString)
{
    struct Case {
        LONG binaryConversion;
        LONG pData;
        std::string reply;
        std::string image;
    };
    const Case cases[] = {
        {0, 1000000, "AB", "AB"},      // a count beyond the string
        {1, 5, "41424", "AB"},         // an odd nibble left over
        {2, 8, "06506607", "AB"},      // an incomplete triple
        {0, 1, "AB", "A"},             // a count short of the string
        {0, -4, "AB", ""},             // a negative count
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply + " " + std::to_string(c.pData));
        control.SetNumber("BinaryConversion", c.binaryConversion);
        control.SetDirectIOOutput(c.pData, c.reply);
        dlg().OnDioGetJpegImage();
        EXPECT_EQ(image(), c.image);
    }
}

TEST_F(DirectIOTest, ACaptureThatThrowsShowsNothingAndClearsTheStatusLine)
{
    dlg().AppendOutput("before");
    control.Fail("DirectIO", "gone");
    dlg().OnDioGetTiffbinImage();
    EXPECT_EQ(model().output, "before");
    EXPECT_EQ(status(), "");
    EXPECT_TRUE(m_dlg->m_lastImage.empty());
}

TEST_F(DirectIOTest, SerialCommandRoomFollowsTheTagWhateverItsCase)
{
    struct Case {
        std::string command;
        std::size_t room;
    };
    const Case cases[] = {
        {":ab:REVINF", 1024}, {"revinf", 1024},  {"P_INFO", 1024},   {"IMGSNP1L", 1024}, {"IMGSHP", 0x180000},
        {"PREBK2", 2048},     {"SUFBK2", 2048},  {"TRGMOD0", 2048},  {":ab", 2048},      {"REV", 2048},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        control.ClearCalls();
        serialCommand(c.command);
        EXPECT_EQ(directIOCalls(), std::vector<std::string>{sent(18, static_cast<LONG>(c.room), c.command, c.room)});
    }
    ASSERT_FALSE(host.directIODialogs.empty());
    EXPECT_EQ(host.directIODialogs.back().buttonText, "Send");
    EXPECT_EQ(host.directIODialogs.back().label, "Serial Command");
    EXPECT_EQ(host.directIODialogs.back().helpText,
              "Type a valid command that the device supports, and click Send.\r\nThis dialog box closes after "
              "clicking Send button.\r\nThe result is displayed in Advanced View output box.");
}

TEST_F(DirectIOTest, SerialResponseStandsAboveTheResultLineWithItsControlCharactersNamed)
{
    dlg().AppendOutput("older");
    // Only the first pData characters are the reply.
    control.SetDirectIOOutput(4, "AB\x06\r-not-sent");
    serialCommand("P_INFO");
    EXPECT_EQ(model().output,
              "Serial Command Response : \r\nCommand   :  P_INFO\r\nResponse   :  AB[ACK][CR]\r\n\r\n" + kDirectIOLine +
                  "OPOS_SUCCESS\r\n\r\nolder");
    EXPECT_EQ(status(), "");
}

TEST_F(DirectIOTest, SerialCommandIsSentWholeWithItsBytesWidenedWithoutSign)
{
    // Longer than the tag's room, with a byte above 0x7F.
    const std::string command = "caf\xE9" + std::string(3000, 'x');
    serialCommand(command);
    EXPECT_EQ(directIOCalls(), std::vector<std::string>{sent(18, 2048, command, command.size() + 1)});
}

TEST_F(DirectIOTest, SerialImageReplyIsDecodedByBinaryConversion)
{
    const struct {
        LONG binaryConversion;
        std::string reply;
    } cases[] = {{0, "AB"}, {1, "4142"}, {2, "065066"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.binaryConversion);
        m_dlg->m_lastImage.clear();
        dlg().OnBtnClearlog();
        control.SetNumber("BinaryConversion", c.binaryConversion);
        control.SetDirectIOOutput(static_cast<LONG>(c.reply.size()), c.reply);
        serialCommand("imgshp");
        EXPECT_EQ(image(), "AB");
        EXPECT_EQ(model().output, kDirectIOLine + "OPOS_SUCCESS");
    }
}

TEST_F(DirectIOTest, SerialCommandOutcomes)
{
    struct Case {
        const char* what;
        std::function<void()> script;
        std::string output;
        bool called;
    };
    const Case cases[] = {
        {"cancelled", [&] { host.CancelDirectIO(); }, "", false},
        {"empty text confirmed", [&] { host.AnswerDirectIO(""); }, kDirectIOLine + "OPOS_E_ILLEGAL", false},
        {"refused", [&] {
             host.AnswerDirectIO("AB;CD");
             control.SetNumber("DirectIO", 106);
         },
         kDirectIOLine + "OPOS_E_ILLEGAL", true},
        {"call threw", [&] {
             host.AnswerDirectIO("P_INFO");
             control.Fail("DirectIO", "gone");
         },
         kDirectIOLine + "OPOS_E_FAILURE", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        control.ClearCalls();
        control.ClearFailure("DirectIO");
        control.SetNumber("DirectIO", 0);
        dlg().OnBtnClearlog();
        c.script();
        dlg().OnDirectioSerialcmd();
        EXPECT_EQ(model().output, c.output);
        EXPECT_EQ(directIOCalls().size(), c.called ? 1u : 0u);
        EXPECT_EQ(status(), "");
    }
}

TEST_F(DirectIOTest, CommandTimeoutSendsTheTypedTextInItsOwnBuffer)
{
    host.AnswerDirectIO("500");
    dlg().OnCommandTimeout();
    EXPECT_EQ(directIOCalls(), std::vector<std::string>{sent(19, 1024, "500", 1024)});
    EXPECT_EQ(model().output, kDirectIOLine + "OPOS_SUCCESS");
    EXPECT_EQ(status(), "");
    ASSERT_EQ(host.directIODialogs.size(), 1u);
    EXPECT_EQ(host.directIODialogs[0].buttonText, "Set");
    EXPECT_EQ(host.directIODialogs[0].label, "TimeOut (in msec)");
    EXPECT_EQ(host.directIODialogs[0].helpText,
              "Enter a valid numeric command timeout value and click Set.\r\nThis dialog box closes after clicking "
              "Set button\r\nThe result is displayed in Advanced View output box.");

    // A text longer than the buffer goes whole; pData stays 1024.
    control.ClearCalls();
    const std::string longText(1500, '7');
    host.AnswerDirectIO(longText);
    dlg().OnCommandTimeout();
    EXPECT_EQ(directIOCalls(), std::vector<std::string>{sent(19, 1024, longText, longText.size() + 1)});
}

TEST_F(DirectIOTest, CommandTimeoutEmptyOrCancelledSendsNothing)
{
    host.AnswerDirectIO("");
    dlg().OnCommandTimeout();
    EXPECT_EQ(model().output, kDirectIOLine + "OPOS_E_ILLEGAL");
    dlg().OnBtnClearlog();
    host.CancelDirectIO();
    dlg().OnCommandTimeout();
    EXPECT_EQ(model().output, "");
    EXPECT_TRUE(directIOCalls().empty());
    EXPECT_EQ(status(), "");
}

TEST_F(DirectIOTest, DataQueueLimitIsTheEntrysValueKeptWithinItsBounds)
{
    struct Case {
        const char* text;  // null: no DATAQMAX value
        int limit;
    };
    const Case cases[] = {
        {nullptr, 50},       {"500", 500},         {" +200x", 200},     {"10", 50},
        {"5000", 1000},      {"abc", 50},          {"-7", 50},          {"1000", 1000},
        {"2147483648", 1000}, {"99999999999999999999", 1000}, {"-99999999999999999999", 50},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text ? c.text : "(none)");
        const std::string name = "Lane " + std::to_string(++n);
        addEntry(name);
        if (c.text != nullptr)
            writeText(devicePath(name), "DATAQMAX", c.text);
        EXPECT_EQ(dlg().GetDataBufferValue("Scanner", name), c.limit);
    }
    EXPECT_EQ(dlg().GetDataBufferValue("Scanner", "No Such Lane"), 50);
}


TEST_F(DirectIOTest, ErrorEventSinkReturnsTheDialogsAnswerAndRefreshesDataEventEnabled)
{
    switchLogOn();
    host.onErrorEvent = [](LONG locus) { return locus == 3 ? 13 : 11; };
    control.SetNumber("DataEventEnabled", 1);
    const std::string before = model().output;
    EXPECT_EQ(control.FireErrorEvent(111, 0, 3, 12), 13);
    EXPECT_EQ(host.loci, std::vector<LONG>{3});
    const auto after = control.Calls();
    EXPECT_NE(std::find(after.begin(), after.end(), "get DataEventEnabled"), after.end());
    EXPECT_EQ(at(IDC_COMBO_DATAEVENTENABLE).selectedText(), "True");
    EXPECT_EQ(model().output, before);

    // The event is logged by name, nothing is shown.
    const std::string log = logText();
    const auto logged = [&](const std::string& label, const std::string& value) {
        std::size_t at = 0;
        while ((at = log.find("OnErrorEventscanner", at)) != std::string::npos) {
            const std::string line = log.substr(at, log.find("\r\n", at) - at);
            if (line.find(label) != std::string::npos && line.find(value) != std::string::npos)
                return true;
            ++at;
        }
        return false;
    };
    EXPECT_TRUE(logged("ResultCode", "OPOS_E_FAILURE")) << log;
    EXPECT_TRUE(logged("ResultCodeExtended", "OPOS_SUCCESS")) << log;
    EXPECT_TRUE(logged("ErrorLocus", "OPOS_EL_INPUT_DATA")) << log;
    EXPECT_TRUE(logged("ErrorResponse", "OPOS_ER_CONTINUEINPUT")) << log;
}

TEST_F(DirectIOEndToEndTest, ACapturePreviewsTheImagersPictureByteForByteInEveryBinaryConversion)
{
    const std::string bmp = vxsim::imagerImage(vxsim::ImageFormat::bmp);
    for (LONG conversion : {0, 1, 2}) {
        SCOPED_TRACE(conversion);
        dlg().OnBtnClearlog();
        m_dlg->Model().preview.clear();
        scanner.SetBinaryConversion(conversion);
        ASSERT_EQ(scanner.GetResultCode(), 0);
        dlg().OnDioGetBmpImage();
        EXPECT_EQ(output(), kDirectIOLine + "OPOS_SUCCESS");
        EXPECT_EQ(preview().size(), bmp.size());
        EXPECT_TRUE(preview() == bmp);
    }
    // A capture of another format shows that format's file.
    dlg().OnDioGetJpegImage();
    EXPECT_TRUE(preview() == vxsim::imagerImage(vxsim::ImageFormat::jpeg));
}

TEST_F(DirectIOEndToEndTest, SerialCommandsShowTheDevicesReplyOrItsRefusal)
{
    serialCommand("P_INFO");
    const std::string out = output();
    EXPECT_EQ(out.rfind("Serial Command Response : \r\nCommand   :  P_INFO\r\nResponse   :  P_INFO", 0), 0u) << out;
    EXPECT_NE(out.find("VX-1200"), std::string::npos) << out;
    EXPECT_NE(out.find("\r\n\r\n" + kDirectIOLine + "OPOS_SUCCESS"), std::string::npos) << out;

    dlg().OnBtnClearlog();
    serialCommand(kRefused);
    EXPECT_NE(output().find("[NAK]"), std::string::npos) << output();

    dlg().OnBtnClearlog();
    serialCommand("P_INFO;REVINF");
    EXPECT_EQ(output(), kDirectIOLine + "OPOS_E_ILLEGAL");

    // The image tag returns a capture, decoded as the BinaryConversion says.
    scanner.SetBinaryConversion(1);
    dlg().OnBtnClearlog();
    serialCommand("IMGSHP2P8F");
    EXPECT_EQ(output(), kDirectIOLine + "OPOS_SUCCESS");
    EXPECT_TRUE(preview() == vxsim::imagerImage(vxsim::ImageFormat::bmp));
}

TEST_F(DirectIOEndToEndTest, RaiseErrorEventAsksTheUserAndTheAnswerReachesTheServiceObject)
{
    // Clear puts the device back to idle; continue input leaves it in error.
    for (const auto& [answer, state] : {std::pair<int, LONG>{12, 2}, std::pair<int, LONG>{13, 4}}) {
        SCOPED_TRACE(answer);
        host.loci.clear();
        host.onErrorEvent = [answer](LONG) { return answer; };
        // Input errors come as data would: while data events are enabled.
        scanner.SetDataEventEnabled(TRUE);
        dlg().OnRaiseErrorEvent();
        EXPECT_EQ(output(), kDirectIOLine + "OPOS_E_ILLEGAL");
        EXPECT_TRUE(waitFor([&] { return !host.loci.empty(); }));
        EXPECT_EQ(host.loci, std::vector<LONG>{2});
        EXPECT_TRUE(waitFor([&] { return scanner.GetState() == state; })) << scanner.GetState();
        dlg().OnBtnClearlog();
    }
}

TEST_F(DirectIOEndToEndTest, CommandTimeoutIsTakenOrRefusedByTheServiceObject)
{
    const struct {
        std::string typed;
        std::string line;
    } cases[] = {{"500", "OPOS_SUCCESS"}, {"-1", "OPOS_SUCCESS"}, {"5s", "OPOS_E_ILLEGAL"}, {"2147483648", "OPOS_E_ILLEGAL"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        dlg().OnBtnClearlog();
        host.AnswerDirectIO(c.typed);
        dlg().OnCommandTimeout();
        EXPECT_EQ(output(), kDirectIOLine + c.line);
    }
    // The device still answers within the time-out set.
    dlg().OnBtnClearlog();
    serialCommand("P_INFO");
    EXPECT_NE(output().find(kDirectIOLine + "OPOS_SUCCESS"), std::string::npos) << output();
}
