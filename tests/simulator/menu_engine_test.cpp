// The simulated scanner's menu engine: frames in, replies out; the data
// packets it builds and the faults it puts into them.
#include "simulator/identity_model.h"
#include "simulator/menu_engine.h"
#include "simulator/serial_responder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using vxsim::MenuEngine;

std::string feed(MenuEngine& engine, const std::string& bytes)
{
    std::vector<std::vector<unsigned char>> replies;
    engine.take(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), replies);
    std::string all;
    for (const auto& reply : replies)
        all.append(reply.begin(), reply.end());
    return all;
}

TEST(MenuEngine, FramesAreAnsweredInTheReplyFormsTheHostRecognises)
{
    vxsim::MenuModel model;
    model.rules.push_back({"SERNUM?", "", "A123", vxsim::kMenuAck, true, true, true, false});
    model.rules.push_back({"SERNUM?", "2", "B456", vxsim::kMenuAck, true, true, true, false});
    model.rules.push_back({"LOCKED", "", "", vxsim::kMenuNak, true, true, true, false});
    model.rules.push_back({"PLAIN?", "", "v", vxsim::kMenuAck, false, true, true, false});
    model.rules.push_back({"MODE", "", "APP", vxsim::kMenuAck, false, false, false, true});
    struct Case {
        const char* name;
        std::string in;
        std::string out;
    } cases[] = {
        {"rule, M header, '.'", "\x16M\rSERNUM?.", "SERNUM?A123\x06."},
        {"rule, Y header, '@'", "\x16Y\rSERNUM?@", "SERNUM?A123\x06@"},
        {"rule without header", "SERNUM?!", "SERNUM?A123\x06!"},
        {"rule for an address", "\x16M\r:2:SERNUM?.", "SERNUM?B456\x06."},
        {"unknown address", "\x16M\r:7:SERNUM?.", "SERNUM?\x05."},
        {"NAK rule", "\x16M\rLOCKED!", "LOCKED\x15!"},
        {"value without echo", "\x16M\rPLAIN?!", "v\x06!"},
        {"setting query", "\x16M\rDECHDR?!", "DECHDR1\x06!"},
        {"setting change", "\x16M\rBEPLVL0.", "BEPLVL0\x06."},
        {"unknown command", "\x16M\rNOSUCH?!", "NOSUCH?\x05!"},
        {"unterminated bare command", "MODE", "APP"},
        {"header without mark", "\x16M\rSERNUM?", ""},
        {"drain bytes between frames", "\x11\x06\x16M\rDECHDR?!\x11\x06", "DECHDR1\x06!"},
        {"a new header drops a half frame", "\x16M\rSER\x16M\rDECHDR?!", "DECHDR1\x06!"},
        {"two frames joined", "\x16M\rDECHDR?!\x16M\rFOO.", "DECHDR1\x06!FOO\x05."},
    };
    for (const Case& c : cases) {
        MenuEngine engine(model);
        EXPECT_EQ(feed(engine, c.in), c.out) << c.name;
    }

    // Fed one byte at a time the replies are the same.
    MenuEngine engine(model);
    std::string out;
    for (char b : std::string("\x16M\r:2:SERNUM?.\x16M\rDECHDR?!"))
        out += feed(engine, std::string(1, b));
    EXPECT_EQ(out, std::string("SERNUM?B456\x06.DECHDR1\x06!"));
    EXPECT_EQ(engine.commands(), (std::vector<std::string>{":2:SERNUM?", "DECHDR?"}));
}

TEST(MenuEngine, DecodeHeaderSettingChangesWhatAScanSends)
{
    MenuEngine engine;
    EXPECT_TRUE(engine.decodeHeader());
    const std::vector<unsigned char> packet = engine.barcode("12345", 'e', "E0");
    const std::string payload = std::string("MSGGET") + std::string("\x09\x00\x00\x00", 4) + "eE0" + '\0' + "12345";
    EXPECT_EQ(packet, MenuEngine::synPacket(payload));
    ASSERT_EQ(packet.size(), 7 + payload.size());
    EXPECT_EQ(packet[2], payload.size());

    EXPECT_EQ(feed(engine, "\x16M\rDECHDR0!"), "DECHDR0\x06!");
    EXPECT_FALSE(engine.decodeHeader());
    EXPECT_EQ(feed(engine, "\x16M\rDECHDR?!"), "DECHDR0\x06!");
    EXPECT_EQ(engine.barcode("12345"), (std::vector<unsigned char>{'1', '2', '3', '4', '5'}));

    // A device that refuses unknown commands answers NAK.
    vxsim::MenuModel refusing;
    refusing.refuseUnknown = true;
    MenuEngine strict(refusing);
    EXPECT_EQ(feed(strict, "\x16M\rNOSUCH!"), "NOSUCH\x15!");
}

TEST(MenuEngine, FaultsGarbleSplitAndSilence)
{
    MenuEngine engine;
    const std::vector<unsigned char> image = engine.image("PIXELS", 4);
    EXPECT_EQ(image, MenuEngine::synPacket(std::string("IMGSHP4") + '\0' + '\x1D' + "PIXELS"));

    vxsim::DataFaults faults;
    faults.garbage = "zz";
    faults.splitEvery = 4;
    faults.announcedLength = 0x01020304;
    engine.setFaults(faults);
    const auto pieces = engine.withFaults(MenuEngine::synPacket("abc"), true);
    ASSERT_EQ(pieces.size(), 3u);  // 2 + 7 + 3 bytes in pieces of 4
    std::vector<unsigned char> joined;
    for (const auto& piece : pieces) {
        EXPECT_LE(piece.size(), 4u);
        joined.insert(joined.end(), piece.begin(), piece.end());
    }
    EXPECT_EQ(joined, (std::vector<unsigned char>{'z', 'z', 0x16, 0xFE, 4, 3, 2, 1, 0x0D, 'a', 'b', 'c'}));
    EXPECT_EQ(engine.replyPieces({'a', 'b', 'c', 'd', 'e'}).size(), 2u);

    faults = {};
    faults.silent = true;
    engine.setFaults(faults);
    EXPECT_EQ(feed(engine, "\x16M\rDECHDR0!"), "");
    EXPECT_TRUE(engine.decodeHeader()) << "a silent device changes nothing";
    EXPECT_TRUE(engine.replyPieces({'x'}).empty());
}

TEST(MenuEngine, SerialResponderKeepsTheSyncApartFromMenuFrames)
{
    vxsim::SerialModel model;
    model.usbSerial = true;
    vxsim::SerialResponder responder(model);
    const vxsim::HostLine line;
    const std::string in = std::string("\x16M\rDECHDR?!") + "\x16" + "C\r" + '\0' + "\x16M\rDECHDR0.";
    const auto out = responder.take(reinterpret_cast<const unsigned char*>(in.data()), in.size(), line);
    const std::string expected = std::string("DECHDR1\x06!") + "\x06\x15\x5E\x5F" + "DECHDR0\x06.";
    EXPECT_EQ(std::string(out.begin(), out.end()), expected);
    EXPECT_EQ(responder.pingsAnswered(), 1);
    EXPECT_FALSE(responder.engine().decodeHeader());
}

TEST(MenuEngine, HeaderRulesBatchesTheDeviceTypeQueryAndLateSilence)
{
    vxsim::MenuModel model;
    vxsim::MenuRule any{"P_NAME?", "", "P_NAMEany", vxsim::kMenuAck, false, true, true, false};
    vxsim::MenuRule byY = any;
    byY.value = "P_NAMEname";
    byY.header = 'Y';
    vxsim::MenuRule bare = any;
    bare.value = "P_NAMEbare";
    bare.header = vxsim::kNoHeader;
    model.rules = {any, byY, bare};
    model.rules.push_back({"BASLDA", "", "BASLDA", vxsim::kMenuAck, false, true, true, false});
    model.settings["TRM"] = "1";
    model.deviceType = "APP";
    struct Case {
        const char* name;
        std::string in;
        std::string out;
    } cases[] = {
        {"rule for SYN Y", "\x16Y\rP_NAME?!", "P_NAMEname\x06!"},
        {"rule for any header", "\x16M\rP_NAME?!", "P_NAMEany\x06!"},
        {"rule without header", "P_NAME?!", "P_NAMEbare\x06!"},
        {"short setting", "\x16M\rTRM?!", "TRM1\x06!"},
        {"batch", "\x16M\rTRM?;CBLTBL?;BASLDA;DECHDR?!", "TRM1\x06;CBLTBL?\x05;BASLDA\x06;DECHDR1\x06!"},
        {"batch of one", "\x16M\rBASLDA!", "BASLDA\x06!"},
        {"device type", "\x16n,DEVICETYPE\r", "APP"},
        {"device type then a frame", "\x16n,DEVICETYPE\r\x16M\rTRM?.", "APPTRM1\x06."},
    };
    for (const Case& c : cases) {
        MenuEngine engine(model);
        EXPECT_EQ(feed(engine, c.in), c.out) << c.name;
    }
    MenuEngine engine(model);
    feed(engine, "\x16n,DEVICETYPE\r");
    EXPECT_EQ(engine.commands(), (std::vector<std::string>{"n,DEVICETYPE"}));

    // A model without a device type does not answer its query.
    MenuEngine mute;
    EXPECT_EQ(feed(mute, "\x16n,DEVICETYPE\r\x16M\rDECHDR?!"), "DECHDR1\x06!");

    // Silent from one command on, until the faults change.
    vxsim::DataFaults late;
    late.silentFrom = ":2:TRM?";
    engine.setFaults(late);
    EXPECT_EQ(feed(engine, "\x16M\rTRM?!"), "TRM1\x06!");
    EXPECT_EQ(feed(engine, "\x16M\r:2:TRM?!\x16M\rTRM?!\x16n,DEVICETYPE\r"), "");
    engine.setFaults({});
    EXPECT_EQ(feed(engine, "\x16M\rTRM?!"), "TRM1\x06!");

    // The serial side hands the device-type query to the engine.
    vxsim::SerialModel serial;
    serial.usbSerial = true;
    serial.menu = model;
    vxsim::SerialResponder responder(serial);
    const std::string in = "\x16n,DEVICETYPE\r";
    const auto out = responder.take(reinterpret_cast<const unsigned char*>(in.data()), in.size(), vxsim::HostLine());
    EXPECT_EQ(std::string(out.begin(), out.end()), "APP");
}

TEST(MenuEngine, RawSwitchesAnswerAndHoldLabelsBackWhileDisabled)
{
    MenuEngine engine;
    EXPECT_TRUE(engine.enabled());
    EXPECT_EQ(feed(engine, "\x16" "0\r.;\x16" "0\r."), std::string("0\x06" "0\x06"));
    EXPECT_FALSE(engine.enabled());
    EXPECT_TRUE(engine.barcode("HELD").empty());
    EXPECT_TRUE(engine.withFaults(engine.barcode("HELD2"), true).empty());
    // Enabled again, the held labels follow the answer in their order.
    const std::string answer = feed(engine, "\x16" "1\r.");
    const std::vector<unsigned char> first = engine.barcode("HELD");
    const std::vector<unsigned char> second = engine.barcode("HELD2");
    EXPECT_EQ(answer, std::string("1\x06") + std::string(first.begin(), first.end()) +
                          std::string(second.begin(), second.end()));
    EXPECT_EQ(engine.commands(), (std::vector<std::string>{"0", "0", "1"}));
    // The default menu knows the settings the service object programs.
    for (const char* tag : {"UPACKX", "UPECKX", "E13CKX", "EA8CKX", "OPSADM"})
        EXPECT_EQ(feed(engine, std::string("\x16M\r") + tag + "1."), std::string(tag) + "1\x06.") << tag;
    EXPECT_EQ(feed(engine, "\x16M\rC39ENA?."), "C39ENA1\x06.");
}

TEST(MenuEngine, AnImagerSendsItsImageBeforeTheCapturesReply)
{
    vxsim::MenuModel model;
    model.image = std::string("\x00\xFF", 2);
    MenuEngine imager(model);
    const std::vector<unsigned char> packet = imager.image(*model.image, 8);
    EXPECT_EQ(feed(imager, "\x16M\rIMGSNP1L;IMGSHP2P8F."),
              std::string(packet.begin(), packet.end()) + "IMGSNP1L\x06;IMGSHP2P8F\x06.");
    MenuEngine plain;
    EXPECT_EQ(feed(plain, "\x16M\rIMGSNP1L;IMGSHP2P8F."), "IMGSNP1L\x05;IMGSHP2P8F\x05.");
}

TEST(IdentityModel, RepliesHaveTheShapesTheHostParses)
{
    const auto menuOf = [](const char* name) {
        const vxsim::IdentityModel* model = vxsim::findIdentityModel(name);
        EXPECT_NE(model, nullptr) << name;
        return vxsim::identityMenu(model != nullptr ? *model : vxsim::IdentityModel());
    };
    struct Case {
        const char* model;
        std::string in;
        std::string out;
    } cases[] = {
        {"arch0", "\x16Y\rP_NAME?!", "P_NAMEVX-1000\x06!"},
        {"arch0", "\x16M\rP_NAME?!", "P_NAMELinear imager\x06!"},
        {"arch0", "\x16M\rP_INFO!", "P_INFO\x05!"},
        {"arch0", "\x16M\rCOMPID?!", "COMPID?\x05!"},
        {"arch0", "\x16M\rREV_TD?!", "REV_TD09:15:00 Jan 12 2009\x06!"},
        {"arch0", "\x16M\r232WRD?!", "232WRD2\x06!"},
        {"arch0", "\x16n,DEVICETYPE\r", "APP"},
        {"arch1", "\x16M\rCOMPID?!", "COMPID1\x06!"},
        {"arch1", "\x16M\rTRM?;ACTSTA?;IMGSNP?!", "TRM1\x06;ACTSTA?\x05;IMGSNP1\x06!"},
        {"arch4", "\x16M\rLSRDF2?!", "LSRDF21\x06!"},
        {"boot-devtype", "\x16Y\rP_NAME?!", "P_NAME?\x05!"},
        {"boot-devtype", "\x16Y\rP_NAME!", "P_NAMEVX-1000-BL\x06!"},
        {"boot-devtype", "\x16n,DEVICETYPE\r", "BOOT"},
        {"hub-rptscn", "\x16M\rRPTSCN!",
         "RPTSCN\r\nPort Type Name Address\r\n1 external VX-1100 #3\r\n2 external VX-1300 4\r\n\x06!"},
        {"hub-rptscn", "\x16M\rBASLDA!", "BASLDA\x06!"},
        {"hub-rptscn", "\x16Y\r:#4:P_NAME?!", "P_NAMEVX-1300\x06!"},
        {"hub-rptscn", "\x16M\r:4:P_NAME?!", "P_NAME?\x05!"},
        {"hub-single", "\x16M\r:#2:SERNUM?!", "SERNUMS0000012\x06!"},
        {"hub-single", "\x16M\r:#9:SERNUM?!", "SERNUM?\x05!"},
        {"hub-single", "\x16M\rRPTSCN!", "RPTSCN\x05!"},
    };
    for (const Case& c : cases) {
        MenuEngine engine(menuOf(c.model));
        EXPECT_EQ(feed(engine, c.in), c.out) << c.model << " " << c.in.substr(3);
    }

    // A P_INFO listing: key/value lines after the echo, CR LF before the
    // status; a hub's listing follows its own keys.
    MenuEngine multi(menuOf("hub-multi"));
    const std::string pinfo = feed(multi, "\x16M\rP_INFO!");
    EXPECT_EQ(pinfo.rfind("P_INFO\r\nmode: app\r\n", 0), 0u) << pinfo;
    EXPECT_EQ(pinfo.substr(pinfo.size() - 4), "\r\n\x06!");
    EXPECT_NE(pinfo.find("\r\nhubs: 2\r\nhub-1-connections: 2\r\nhub-1-dev-1-addr: #1\r\n"), std::string::npos);
    EXPECT_NE(pinfo.find("\r\nhub-2-connections: 1\r\nhub-2-dev-1-addr: #5\r\nhub-2-dev-1-name: VX-1400\r\n"
                         "hub-2-dev-1-type: external\r\n"),
              std::string::npos);
    MenuEngine single(menuOf("hub-single"));
    const std::string listing = feed(single, "\x16M\rP_INFO!");
    EXPECT_NE(listing.find("\r\nhub-connections: 4\r\ndev-1-addr: #1\r\n"), std::string::npos);
    EXPECT_NE(listing.find("\r\ndev-4-type: dock\r\n"), std::string::npos);
    EXPECT_EQ(listing.find("hubs:"), std::string::npos);
    MenuEngine boot(menuOf("boot-pinfo"));
    const std::string bootInfo = feed(boot, "\x16M\rP_INFO!");
    EXPECT_NE(bootInfo.find("\r\nmode: boot\r\n"), std::string::npos);
    EXPECT_EQ(bootInfo.find("app-p_name"), std::string::npos);

    EXPECT_EQ(vxsim::findIdentityModel("no-such"), nullptr);
    EXPECT_EQ(vxsim::identityModelNames().size(), 10u);
}

}  // namespace
