// The simulated scanner's menu engine: frames in, replies out; the data
// packets it builds and the faults it puts into them.
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

}  // namespace
