// The stream parser against byte streams cut into chunks in every way.
#include "../SdkLogCapture.h"
#include "FakePort.h"
#include "QueueReceiver.h"

#include "base/CBarcodeData.h"
#include "protocol/CDataParser.h"
#include "protocol/CImageData.h"
#include "protocol/CMenuData.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Got {
    int kind;
    std::string bytes;
    std::string label;  // barcodes
    int format = -99;  // images
    int response = -99;  // menu replies
    int terminator = -99;
    bool operator==(const Got& o) const
    {
        return kind == o.kind && bytes == o.bytes && label == o.label && format == o.format
            && response == o.response && terminator == o.terminator;
    }
};

std::ostream& operator<<(std::ostream& out, const Got& g)
{
    out << "{kind " << g.kind << ", " << g.bytes.size() << " bytes, label '" << g.label << "', format " << g.format
        << ", response " << g.response << ", terminator " << g.terminator << "}";
    return out;
}

class ParserHarness {
public:
    ParserHarness()
        : parser(&receiver)
    {
        parser.setCallback(this, &ParserHarness::collect);
    }
    // Queues one chunk and runs one identify pass over it.
    void feed(const std::string& chunk)
    {
        auto* record = new CData(static_cast<DWORD>(chunk.size()));
        record->fillData(reinterpret_cast<const unsigned char*>(chunk.data()), static_cast<DWORD>(chunk.size()), 0);
        receiver.pushQTail(record);
        parser.parseData(nullptr);
    }
    static void collect(void* user, CData* record)
    {
        std::unique_ptr<CData> owned(record);
        Got g{record->getType(), std::string(reinterpret_cast<const char*>(record->getData()), record->getLength()),
              ""};
        if (auto* barcode = dynamic_cast<CBarcodeData*>(record)) {
            g.label = barcode->getLabel();
        }
        if (auto* image = dynamic_cast<CImageData*>(record)) {
            g.format = image->getFormat();
        }
        if (auto* menu = dynamic_cast<CMenuData*>(record)) {
            g.response = menu->response;
            g.terminator = menu->terminator;
        }
        static_cast<ParserHarness*>(user)->got.push_back(g);
    }

    QueueReceiver receiver;
    CDataParser parser;
    std::vector<Got> got;
};

Got barcode(const std::string& label)
{
    return {CData::kBarcode, std::string("e") + "E0" + '\x00' + label, label};
}
Got menu(const std::string& bytes, int response, int terminator)
{
    return {CData::kMenuResponse, bytes, "", -99, response, terminator};
}
Got raw(const std::string& bytes)
{
    return {CData::kRaw, bytes, ""};
}

const std::string kAck = "\x06";
const std::string kNak = "\x15";
const std::string kEnq = "\x05";

struct StreamCase {
    const char* name;
    std::string stream;
    std::vector<Got> expected;
};

std::vector<StreamCase> streamCases()
{
    const std::string image = std::string("IMGSHP") + "xx3y\x1d" + std::string(1000, '\xAB');
    std::vector<StreamCase> cases = {
        {"barcode", synPacket(barcodePayload("012345678905")), {barcode("012345678905")}},
        {"barcode 7E header", synPacket(barcodePayload("A1"), 0x7E), {barcode("A1")}},
        {"barcode prefix in lower case", synPacket("msgget" + barcodePayload("X").substr(6)), {barcode("X")}},
        {"prefixes in mixed case", synPacket("mSgGeT" + barcodePayload("M").substr(6)) + synPacket("iMgShP" + image.substr(6)),
         {barcode("M"), {CData::kImage, std::string(1000, '\xAB'), "", 3}}},
        // Only ASCII letters fold: a byte that differs from a prefix letter
        // in another bit (high bit, or '@' against '`') is no prefix.
        {"prefix with a byte off by another bit is raw",
         synPacket("MSGGE\xD4" + barcodePayload("Y").substr(6)) + synPacket("@SGGET" + barcodePayload("Z").substr(6)),
         {raw("MSGGE\xD4" + barcodePayload("Y").substr(6)), raw("@SGGET" + barcodePayload("Z").substr(6))}},
        {"image", synPacket(image),
         {{CData::kImage, std::string(1000, '\xAB'), "", 3}}},
        {"image without separator is kind 3", synPacket("IMGSHPabc"), {{CData::kMenuResponse, "IMGSHPabc", ""}}},
        {"other payload is raw", synPacket("HELLO"), {raw("HELLO")}},
        {"menu reply", "DECHDR1" + kAck + "!", {menu("DECHDR1" + kAck + "!", 0, 2)}},
        {"packets and replies joined",
         synPacket(barcodePayload("ONE")) + "REVINF" + kAck + "." + synPacket(barcodePayload("TWO")) + "XY" + kNak
             + "@",
         {barcode("ONE"), menu("REVINF" + kAck + ".", 0, 0), barcode("TWO"), menu("XY" + kNak + "@", 1, 1)}},
        {"reply starts after the previous packet", synPacket("P") + "XYZ" + kAck + ".",
         {raw("P"), menu("XYZ" + kAck + ".", 0, 0)}},
        {"garbage between packets",
         synPacket(barcodePayload("ONE")) + std::string("\x01\x02zz\x16\x41garbage", 12) + synPacket(barcodePayload("TWO")),
         {barcode("ONE"), barcode("TWO")}},
        {"zero-length packet yields nothing", synPacket("") + synPacket(barcodePayload("N")), {barcode("N")}},
        {"short barcode payload yields nothing", synPacket("MSGGET123") + synPacket("R"), {raw("R")}},
        {"barcode payload of 10 bytes is an empty barcode", synPacket(std::string("MSGGET\0\0\0\0", 10)),
         {{CData::kBarcode, "", ""}}},
        {"short payloads stay raw", synPacket("MSG") + synPacket("IMGSH"), {raw("MSG"), raw("IMGSH")}},
        // A length above the size guard is no header: its bytes start the
        // next menu reply.
        {"corrupt length", std::string("\x16\xFE\xFF\xFF\xFF\xFF\r", 7) + "OK" + kAck + ".",
         {menu(std::string("\x16\xFE\xFF\xFF\xFF\xFF\rOK", 9) + kAck + ".", 0, 0)}},
    };
    // A barcode packet's length must be its record's length (the 4 bytes
    // after the prefix) plus 10. One that is not is dropped, and the scan
    // picks up again at the next packet header.
    const std::string record20 = barcodePayload(std::string(16, 'A'));  // a 20-byte record
    std::string labels;
    std::vector<Got> labelsGot;
    for (int i = 0; i < 74; ++i) {
        labels += synPacket(barcodePayload("L" + std::to_string(i)));
        labelsGot.push_back(barcode("L" + std::to_string(i)));
    }
    std::vector<StreamCase> lengthCases = {
        {"outer length 2000 for a 20-byte record: the labels after it arrive", packetClaiming(2000, record20) + labels,
         labelsGot},
        {"outer length 100,000: the labels and the reply after them arrive",
         packetClaiming(100000, record20) + synPacket(barcodePayload("ONE")) + "DECHDR1" + kAck + "!",
         {barcode("ONE"), menu("DECHDR1" + kAck + "!", 0, 2)}},
        {"outer length short of the record", packetClaiming(12, record20) + synPacket(barcodePayload("NEXT")),
         {barcode("NEXT")}},
        {"record length wrong under a lower-case prefix and a 7E header",
         synPacket("msgget" + std::string("\x63\0\0\0", 4) + "eE0" + '\0' + "X", 0x7E) + synPacket(barcodePayload("Y")),
         {barcode("Y")}},
        {"a SYN inside the dropped record is no header",
         packetClaiming(500, "MSGGET" + std::string("\x16\0\0\0", 4) + "eE0" + '\0' + std::string(18, 'Q'))
             + synPacket(barcodePayload("Z")),
         {barcode("Z")}},
        // Bytes between the dropped packet and the next header go with it:
        // they cannot be told from the rest of the broken record.
        {"bytes up to the next header go with the dropped packet",
         packetClaiming(2000, record20) + "junk" + kAck + "." + synPacket(barcodePayload("GOOD")) + "OK" + kAck + ".",
         {barcode("GOOD"), menu("OK" + kAck + ".", 0, 0)}},
        {"a packet whose lengths agree after a dropped one", packetClaiming(31, record20) + synPacket(record20),
         {barcode(std::string(16, 'A'))}},
    };
    cases.insert(cases.end(), lengthCases.begin(), lengthCases.end());

    const std::string statuses[3] = {kAck, kNak, kEnq};
    const std::string marks = ".@!";
    for (int s = 0; s < 3; ++s) {
        for (int m = 0; m < 3; ++m) {
            StreamCase c{"each ending", "SERNUM?123" + statuses[s] + marks[m], {}};
            c.expected.push_back(menu(c.stream, s, m));
            cases.push_back(c);
        }
    }
    return cases;
}

TEST(CDataParserStream, WholeStreamGivesTheRecordsInOrder)
{
    for (const StreamCase& c : streamCases()) {
        ParserHarness h;
        h.feed(c.stream);
        EXPECT_EQ(h.got, c.expected) << c.name;
        EXPECT_FALSE(h.parser.isIdentifying()) << c.name;
    }
}

TEST(CDataParserStream, SplitAtEveryByteGivesTheSameRecords)
{
    for (const StreamCase& c : streamCases()) {
        for (std::size_t cut = 1; cut < c.stream.size(); ++cut) {
            ParserHarness h;
            h.feed(c.stream.substr(0, cut));
            h.feed(c.stream.substr(cut));
            EXPECT_EQ(h.got, c.expected) << c.name << " cut at " << cut;
        }
    }
}

TEST(CDataParserStream, OneByteChunksAndJoinedCopiesGiveTheSameRecords)
{
    for (const StreamCase& c : streamCases()) {
        ParserHarness bytes;
        for (char b : c.stream) {
            bytes.feed(std::string(1, b));
        }
        EXPECT_EQ(bytes.got, c.expected) << c.name;

        ParserHarness joined;
        joined.feed(c.stream + c.stream);
        std::vector<Got> twice = c.expected;
        twice.insert(twice.end(), c.expected.begin(), c.expected.end());
        EXPECT_EQ(joined.got, twice) << c.name;
    }
}

TEST(CDataParserStream, HalfReceivedPacketKeepsTheIdentifyingFlag)
{
    ParserHarness h;
    const std::string packet = synPacket("ABC");
    h.feed(packet.substr(0, 8));
    EXPECT_TRUE(h.parser.isIdentifying());
    EXPECT_EQ(h.parser.getMarkLocation(), 0);
    h.feed(packet.substr(8));
    EXPECT_FALSE(h.parser.isIdentifying());
    EXPECT_EQ(h.parser.getFinishLocation(), 10);
    EXPECT_EQ(h.parser.getMarkLocation(), 10);
    EXPECT_EQ(h.got, std::vector<Got>{raw("ABC")});

    // By the time the record is delivered the packet is no longer half
    // received: a caller woken by the callback may switch state at once.
    struct Probe {
        CDataParser* parser;
        std::vector<bool> identifying;
        static void callback(void* user, CData* record)
        {
            delete record;
            auto* probe = static_cast<Probe*>(user);
            probe->identifying.push_back(probe->parser->isIdentifying());
        }
    } probe{&h.parser, {}};
    h.parser.setCallback(&probe, &Probe::callback);
    h.feed(packet.substr(0, 8));
    h.feed(packet.substr(8));
    EXPECT_EQ(probe.identifying, std::vector<bool>{false});

    h.feed(packet.substr(0, 8));
    ASSERT_TRUE(h.parser.isIdentifying());
    h.parser.clearLocalBuf();
    EXPECT_FALSE(h.parser.isIdentifying());
    EXPECT_EQ(h.parser.getBufferLength(), 0u);
}

// A broken barcode packet is reported in one line however it arrives, and
// the labels after it are delivered; a byte at a time it must wait for the
// record's length before it can tell.
TEST(CDataParserStream, PacketWithLengthsAtOddsIsLoggedOnceAndTheNextOneArrives)
{
    vxtest::SdkLogCapture log;
    const std::string stream = packetClaiming(2000, barcodePayload("BAD")) + synPacket(barcodePayload("GOOD"))
        + packetClaiming(100000, barcodePayload("WORSE")) + synPacket(barcodePayload("BETTER"));
    ParserHarness h;
    for (char b : stream) {
        h.feed(std::string(1, b));
    }
    EXPECT_EQ(h.got, (std::vector<Got>{barcode("GOOD"), barcode("BETTER")}));
    EXPECT_FALSE(h.parser.isIdentifying());
    const auto lines = vxtest::SdkLogCapture::linesWith("barcode packet dropped");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("2000"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("100000"), std::string::npos) << lines[1];

    // Header and prefix in, the record's length not yet: the packet is half
    // received, not dropped.
    ParserHarness half;
    const std::string good = synPacket(barcodePayload("HALF"));
    half.feed(good.substr(0, 15));
    EXPECT_TRUE(half.parser.isIdentifying());
    half.feed(good.substr(15));
    EXPECT_EQ(half.got, std::vector<Got>{barcode("HALF")});
}

TEST(CDataParserStream, UnparsedBytesAreThoseAfterTheLastRecognisedItem)
{
    ParserHarness h;
    h.feed(synPacket("P") + "half reply");
    std::string out = "tail";
    h.parser.copyUnparsed(out);
    EXPECT_EQ(out, "tailhalf reply");
}

TEST(CDataParserBuffer, CompactsAfterAFullPassOverHalfTheReserve)
{
    ParserHarness h;
    const std::string packet = synPacket(std::string(59983, 'x'));  // ends at 59,990
    h.feed(packet + "0123456789");
    ASSERT_EQ(h.got.size(), 1u);
    EXPECT_EQ(h.parser.getBufferLength(), 10u);
    EXPECT_EQ(h.parser.getMarkLocation(), -1);
    EXPECT_EQ(h.parser.getFinishLocation(), -1);
    // The kept tail still joins the next reply.
    h.feed(kAck + ".");
    ASSERT_EQ(h.got.size(), 2u);
    EXPECT_EQ(h.got[1], menu("0123456789" + kAck + ".", 0, 0));
}

TEST(CDataParserBuffer, UnrecognisedBytesOverTheSizeGuardGoOutAsOneRecord)
{
    ParserHarness h;
    const std::size_t guard = CDataParser::kSizeGuard;
    h.feed(std::string(guard, 'z'));
    EXPECT_TRUE(h.got.empty());
    EXPECT_EQ(h.parser.getBufferLength(), guard);
    h.feed("z");
    ASSERT_EQ(h.got.size(), 1u);
    EXPECT_EQ(h.got[0].kind, CData::kMenuResponse);
    EXPECT_EQ(h.got[0].bytes.size(), guard + 1);
    EXPECT_EQ(h.parser.getBufferLength(), 0u);
    h.feed("AB" + kAck + "!");
    ASSERT_EQ(h.got.size(), 2u);
    EXPECT_EQ(h.got[1], menu("AB" + kAck + "!", 0, 2));
}

TEST(CDataParserPatterns, ReplacedListIsUsedAndWithoutCallbackRecordsAreDropped)
{
    ParserHarness h;
    ASSERT_TRUE(h.parser.setPattern({"1\x06\x31\x06", "\x06."}));
    h.feed("AB1\x06\x31\x06" "C\x06!" "D\x06.");
    ASSERT_EQ(h.got.size(), 2u);
    EXPECT_EQ(h.got[0].bytes, "AB1\x06\x31\x06");
    EXPECT_EQ(h.got[1].bytes, "C\x06!D\x06.");  // '!' no longer ends a reply

    h.parser.setCallback(nullptr, nullptr);
    h.feed(synPacket(barcodePayload("LOST")) + "E\x06.");  // freed, not leaked (checked under ASan)
    EXPECT_EQ(h.got.size(), 2u);
}

// The parser keeps a summary of the list (which bytes start an ending) to
// skip most positions without comparing: a list replaced between two passes
// must be in force for the next pass, here at positions far from the chunk's
// end where only the summary decides whether a comparison is made.
TEST(CDataParserPatterns, ListReplacedBetweenPassesRulesTheNextPass)
{
    ParserHarness h;
    h.feed("AB\x06!tail");  // the default list: ACK '!' ends a reply
    ASSERT_EQ(h.got.size(), 1u);
    EXPECT_EQ(h.got[0].bytes, "AB\x06!");

    ASSERT_TRUE(h.parser.setPattern({"XY"}));
    h.feed("-cXY-\x06!-XY-more-bytes");
    ASSERT_EQ(h.got.size(), 3u);
    EXPECT_EQ(h.got[1].bytes, "tail-cXY");
    EXPECT_EQ(h.got[2].bytes, "-\x06!-XY");  // ACK '!' no longer ends one

    ASSERT_TRUE(h.parser.setPattern({"\x06."}));
    h.feed("XY\x06!XY\x06.XYXYXY");
    ASSERT_EQ(h.got.size(), 4u);
    EXPECT_EQ(h.got[3].bytes, "-more-bytesXY\x06!XY\x06.");
}

// An empty ending would match everywhere and make one pass deliver
// zero-length replies for ever: a list holding one is refused whole.
TEST(CDataParserPatterns, ListWithAnEmptyEntryIsRefusedAndTheOldOneStays)
{
    ParserHarness h;
    ASSERT_TRUE(h.parser.setPattern({"\x06."}));
    ASSERT_FALSE(h.parser.setPattern({"\x06@", ""}));
    ASSERT_FALSE(h.parser.setPattern({""}));
    h.feed("A\x06@" "B\x06.");
    ASSERT_EQ(h.got.size(), 1u);
    EXPECT_EQ(h.got[0].bytes, "A\x06@B\x06.");
}

// A callback pair swapped while records are being delivered: every
// delivery gets a callback together with its own user pointer, never the
// callback of one pair and the user of the other.
TEST(CDataParserCallback, SwapsDuringDeliveryNeverMixTwoPairs)
{
    struct Side {
        std::atomic<int> calls{0};
        std::atomic<int> mixed{0};
    };
    static Side sides[2];
    struct Callbacks {
        static void first(void* user, CData* record)
        {
            delete record;
            sides[0].calls.fetch_add(1);
            if (user != &sides[0])
                sides[0].mixed.fetch_add(1);
        }
        static void second(void* user, CData* record)
        {
            delete record;
            sides[1].calls.fetch_add(1);
            if (user != &sides[1])
                sides[1].mixed.fetch_add(1);
        }
    };
    QueueReceiver receiver;
    CDataParser parser(&receiver);
    parser.setCallback(&sides[0], &Callbacks::first);
    std::string stream;
    for (int i = 0; i < 64; ++i)
        stream += synPacket(barcodePayload("L"));

    std::atomic<bool> swapping{false};
    std::atomic<bool> stop{false};
    std::thread swapper([&] {
        for (int n = 0; !stop.load(); ++n) {
            if (n % 2 == 0)
                parser.setCallback(&sides[1], &Callbacks::second);
            else
                parser.setCallback(&sides[0], &Callbacks::first);
            swapping.store(true);
        }
    });
    // Deliveries start only once swaps are running, and go on until both
    // callbacks have been called many times over.
    while (!swapping.load())
        std::this_thread::yield();
    for (int pass = 0; pass < 100000 && (sides[0].calls.load() < 50000 || sides[1].calls.load() < 50000); ++pass) {
        receiver.pushQTail(new CData(reinterpret_cast<const unsigned char*>(stream.data()),
                                     static_cast<DWORD>(stream.size())));
        parser.parseData(nullptr);
    }
    stop.store(true);
    swapper.join();
    EXPECT_GE(sides[0].calls.load(), 50000);
    EXPECT_GE(sides[1].calls.load(), 50000);
    EXPECT_EQ(sides[0].mixed.load(), 0);
    EXPECT_EQ(sides[1].mixed.load(), 0);
}

TEST(CDataParserRaw, EachChunkReachesTheCallbackUnchanged)
{
    ParserHarness h;
    for (const std::string& chunk : {std::string("\x16\xFE", 2), std::string("abc\x06.")}) {
        auto* record = new CData(static_cast<DWORD>(chunk.size()));
        record->fillData(reinterpret_cast<const unsigned char*>(chunk.data()), static_cast<DWORD>(chunk.size()), 0);
        h.receiver.pushQTail(record);
        h.parser.parseRaw();
    }
    h.parser.parseRaw();  // empty queue: nothing
    ASSERT_EQ(h.got.size(), 2u);
    EXPECT_EQ(h.got[0], raw(std::string("\x16\xFE", 2)));
    EXPECT_EQ(h.got[1], raw("abc\x06."));
}

}  // namespace
