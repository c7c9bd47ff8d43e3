// The sub-product walk over a hub, through the synchronous menu channel it
// is given, on a tick count that the test drives.
#include "ScriptedDevice.h"

#include "discovery/CDevice.h"
#include "base/StringUtils.h"
#include "products/CHubProduct.h"
#include "products/FeatureQuery.h"
#include "products/CSubProductHandler.h"
#include "protocol/CMenuData.h"

#include "platform/time.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace scripted;

DWORD g_now = 0;
DWORD fakeTick() { return g_now; }

struct Sent {
    std::string frame;
    DWORD timeout;
};

// Answers frames from a table; every exchange costs `cost` ms of the fake
// clock; an unanswered frame waits out its time-out and reports 2.
class TableChannel : public SyncMenuChannel {
public:
    std::map<std::string, std::string> replies;
    DWORD cost = 10;
    std::vector<Sent> sent;

    CMenuData* sendMenuCmdSync(int* result, std::string frame, DWORD timeoutMs) override
    {
        sent.push_back({frame, timeoutMs});
        const auto it = replies.find(frame);
        if (it == replies.end()) {
            g_now += timeoutMs;
            *result = 2;
            return nullptr;
        }
        g_now += cost;
        *result = 0;
        auto* record = new CMenuData(static_cast<DWORD>(it->second.size()));
        record->fillData(reinterpret_cast<const unsigned char*>(it->second.data()),
                         static_cast<DWORD>(it->second.size()), 0);
        record->parse();
        return record;
    }
    std::vector<std::string> frames() const
    {
        std::vector<std::string> out;
        for (const Sent& s : sent) {
            out.push_back(s.frame);
        }
        return out;
    }
};

std::string M(const std::string& menu, const std::string& address = "")
{
    return CSubProductHandler::buildFrame(0, address, menu);
}
std::string Y(const std::string& menu, const std::string& address = "")
{
    return CSubProductHandler::buildFrame(1, address, menu);
}

class SubProductWalk : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_now = 1000;
        platform::setTickSourceForTesting(&fakeTick);
    }
    void TearDown() override { platform::setTickSourceForTesting(nullptr); }

    TableChannel channel;
};

TEST_F(SubProductWalk, FramesCarryHeaderAddressAndMark)
{
    EXPECT_EQ(CSubProductHandler::buildFrame(0, "#2", "P_INFO"), "\x16M\r:#2:P_INFO!");
    EXPECT_EQ(CSubProductHandler::buildFrame(0, "", "P_INFO"), "\x16M\rP_INFO!");
    EXPECT_EQ(CSubProductHandler::buildFrame(1, "#2", "P_NAME?"), "\x16Y\r:#2:P_NAME?!");
    EXPECT_EQ(CSubProductHandler::buildFrame(7, "", "BASLDA"), "BASLDA!");
}

TEST_F(SubProductWalk, BudgetAndTheTimedOutFlag)
{
    channel.replies = {{M("NAKED?"), nak("NAKED?")}, {M("ACKED?"), ack("ACKED?", "1")}};
    {
        CSubProductHandler none(&channel, 0);
        EXPECT_EQ(none.getMenuResponse("", "ACKED?", 0, 0), "");
        EXPECT_TRUE(none.isTimedOut());
        CSubProductHandler zero(&channel, 0);
        std::string report = "kept";
        CSubProductHandler::KeyValues info;
        EXPECT_FALSE(zero.isHubProductViaBASLDA());
        EXPECT_FALSE(zero.isHubProductViaRPTSCN(report));
        EXPECT_FALSE(zero.isHubProductViaPINFO(info));
        EXPECT_FALSE(zero.isTimedOut());
        EXPECT_EQ(report, "kept");
        EXPECT_TRUE(channel.sent.empty());
    }
    {
        CSubProductHandler handler(&channel, 1000);
        EXPECT_EQ(handler.getMenuResponse("", "ACKED?", 0, 0), ack("ACKED?", "1"));
        EXPECT_EQ(channel.sent.back().timeout, 1000u);
        EXPECT_EQ(handler.getMenuResponse("", "NAKED?", 0, 0), "");
        EXPECT_FALSE(handler.isTimedOut());
        // Explicit time-outs are used as given, and their expiry is no
        // budget time-out.
        EXPECT_EQ(handler.getMenuResponse("", "SILENT?", 0, 500), "");
        EXPECT_EQ(channel.sent.back().timeout, 500u);
        EXPECT_FALSE(handler.isTimedOut());
        // 520 ms spent: the budget-timed query gets the rest and expires.
        EXPECT_EQ(handler.getMenuResponse("", "SILENT?", 0, 0), "");
        EXPECT_EQ(channel.sent.back().timeout, 480u);
        EXPECT_TRUE(handler.isTimedOut());
        const std::size_t count = channel.sent.size();
        EXPECT_EQ(handler.getMenuResponse("", "ACKED?", 0, 500), "");  // elapsed == budget: no time left
        EXPECT_EQ(channel.sent.size(), count);
    }
}

TEST_F(SubProductWalk, OneTickReadingDecidesAndTheRemainderNeverWraps)
{
    // The clock moves on at every reading: a second reading for the
    // remainder would pass the end of the budget and wrap to ~49 days.
    static DWORD ticks[] = {0, 99, 200, 300};
    static int reading = 0;
    reading = 0;
    platform::setTickSourceForTesting([]() { return ticks[std::min(reading++, 3)]; });
    CSubProductHandler handler(&channel, 100);
    channel.replies = {{M("ACKED?"), ack("ACKED?")}};
    EXPECT_NE(handler.getMenuResponse("", "ACKED?", 0, 0), "");
    ASSERT_EQ(channel.sent.size(), 1u);
    EXPECT_EQ(channel.sent[0].timeout, 1u);

    // A tick count that wraps between construction and the query.
    static DWORD wrapped[] = {0xFFFFFF00u, 0x00000010u};
    reading = 0;
    platform::setTickSourceForTesting([]() { return wrapped[std::min(reading++, 1)]; });
    CSubProductHandler across(&channel, 1000);
    EXPECT_NE(across.getMenuResponse("", "ACKED?", 0, 0), "");
    EXPECT_EQ(channel.sent.back().timeout, 1000u - 0x110u);
}

TEST_F(SubProductWalk, HubTests)
{
    CSubProductHandler handler(&channel, 10000);
    CSubProductHandler::KeyValues info{{"old", "x"}};
    channel.replies = {{M("P_INFO"), pinfo({"hub-connections: 0", "hw-sn: 1"}, NAK)}};
    EXPECT_TRUE(handler.isHubProductViaPINFO(info));  // NAK with the key still names a hub
    EXPECT_EQ(info.count("old"), 0u);
    channel.replies = {{M("P_INFO"), pinfo({"hw-sn: 1"})}};
    EXPECT_FALSE(handler.isHubProductViaPINFO(info));
    EXPECT_EQ(info.at("hw-sn"), "1");
    channel.replies = {{M("P_INFO"), pinfo({"hubs: 1"})}};
    EXPECT_TRUE(handler.isHubProductViaPINFO(info));

    std::string report;
    channel.replies = {{M("RPTSCN"), nak("RPTSCN")}, {M("BASLDA"), ack("BASLDA")}};
    EXPECT_FALSE(handler.isHubProductViaRPTSCN(report));
    EXPECT_EQ(report, nak("RPTSCN"));
    EXPECT_TRUE(handler.isHubProductViaBASLDA());
    EXPECT_FALSE(handler.isTimedOut());

    CSubProductHandler detached;
    EXPECT_FALSE(detached.isHubProductViaBASLDA());
    EXPECT_EQ(detached.getMenuResponse("", "P_INFO", 0, 0), "");
}

TEST_F(SubProductWalk, ArchitectureAndItsFeatures)
{
    struct Case {
        bool pinfo, compid, lsrdf2;
        int architecture;
        std::vector<int> features;
    } cases[] = {
        {true, true, true, 4, {}},    {false, false, true, 4, {}}, {true, true, false, 2, {15, 14}},
        {false, true, false, 1, {15}}, {true, false, false, 3, {14}}, {false, false, false, 0, {}},
    };
    for (const Case& c : cases) {
        CProduct product;
        EXPECT_TRUE(CSubProductHandler::fillArchitecture(&product, c.pinfo, c.compid, c.lsrdf2));
        EXPECT_EQ(product.architecture, c.architecture);
        CSubProductHandler::putFeatureViaStrucure(&product);
        EXPECT_EQ(product.features, c.features) << c.architecture;
    }
    CProduct twice;
    twice.architecture = 2;
    CSubProductHandler::putFeatureViaStrucure(&twice);
    CSubProductHandler::putFeatureViaStrucure(&twice);
    EXPECT_EQ(twice.features, (std::vector<int>{15, 14, 15, 14}));
    EXPECT_FALSE(CSubProductHandler::fillArchitecture(nullptr, true, true, true));
    CSubProductHandler::putFeatureViaStrucure(nullptr);
}

TEST_F(SubProductWalk, FeatureSetOneQueryAtATime)
{
    // Only ACK counts; CURTBL? goes out without any hub flag.
    channel.replies = {{M("TRM?", "#2"), ack("TRM?")}, {M("ACTSTA?", "#2"), nak("ACTSTA?")},
                       {M("CURTBL?", "#2"), ack("CURTBL?")}};
    for (const FeatureQuery& entry : kFeatureQueries) {
        const std::string frame = M(featureQueryText(entry), "#2");
        channel.replies.emplace(frame, enq(featureQueryText(entry)));
    }
    CSubProductHandler handler(&channel, 100000);
    CProduct product;
    product.deviceAddress = "#2";
    product.features = {15};
    EXPECT_TRUE(handler.fillProductFeatureSet(&product));
    EXPECT_EQ(product.features, (std::vector<int>{15, 1, 17}));
    EXPECT_EQ(channel.sent.size(), 15u);
    EXPECT_EQ(channel.sent[11].frame, "\x16M\r:#2:BASLDA!");
    channel.sent.clear();
    product.features = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 17};
    EXPECT_TRUE(handler.fillProductFeatureSet(&product));
    EXPECT_TRUE(channel.sent.empty());

    // A device that answers nothing: the first query spends the budget.
    TableChannel silent;
    CSubProductHandler starved(&silent, 300);
    CProduct keeps;
    keeps.features = {1};
    EXPECT_FALSE(starved.fillProductFeatureSet(&keeps));
    EXPECT_TRUE(starved.isTimedOut());
    EXPECT_EQ(silent.sent.size(), 1u);
    EXPECT_EQ(keeps.features, (std::vector<int>{1}));
}

// ---- listings ----------------------------------------------------------------

std::vector<std::string> subs(const CHubProduct& hub)
{
    std::vector<std::string> out;
    for (const CProduct& p : hub.subProducts) {
        out.push_back(p.deviceAddress + "|" + p.name + "|" + std::to_string(p.productType));
    }
    return out;
}

using Lines = std::vector<std::string>;

TEST_F(SubProductWalk, ListingsFromPinfoAndFromTheReport)
{
    struct Case {
        const char* what;
        Lines pinfoLines;  // empty: the report below
        std::string report;
        Lines expected;
    } cases[] = {
        {"two devices", {"hub-connections: 2", "dev-1-addr: #1", "dev-1-name: A", "dev-1-type: External",
                         "dev-2-addr: #2", "dev-2-name: B", "dev-2-type: internal"},
         "", {"#1|A|4", "#2|B|5"}},
        {"a device without its type", {"hub-connections: 2", "dev-1-addr: #1", "dev-1-name: A", "dev-1-type: external",
                                       "dev-2-addr: #2", "dev-2-name: B"},
         "", {"#1|A|4"}},
        {"an unknown type", {"hub-connections: 1", "dev-1-addr: 7", "dev-1-name: Z", "dev-1-type: internal "},
         "", {"7|Z|3"}},
        {"no devices", {"hub-connections: 0"}, "", {}},
        {"a count beyond the listing", {"hub-connections: 2147483647", "dev-1-addr: #1", "dev-1-name: A",
                                        "dev-1-type: internal-virtual"},
         "", {"#1|A|6"}},
        {"several hubs, one without count", {"hubs: 2", "hub-1-connections: 1", "hub-1-dev-1-addr: #1",
                                             "hub-1-dev-1-name: A", "hub-1-dev-1-type: external",
                                             "hub-2-dev-1-addr: #2", "hub-2-dev-1-name: B", "hub-2-dev-1-type: external"},
         "", {"#1|A|4"}},
        {"hub counts beyond the listing", {"hubs: 4294967296", "hub-1-connections: 99999999999", "hub-1-dev-1-addr: #1",
                                           "hub-1-dev-1-name: A", "hub-1-dev-1-type: external"},
         "", {"#1|A|4"}},
        {"the report", {},
         "1 a First #9\r\nPort Type Name Address\r\nport x y z\r\n1 ext ScanA #3\r\n2 ext ScanB 4 extra\r\n"
         "three words only\r\n\x06!",
         {"#3|ScanA|4", "#4|ScanB|4"}},
        {"a report of one line", {}, "RPTSCN 1 a First #9", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CHubProduct hub;
        if (c.pinfoLines.empty()) {
            EXPECT_TRUE(CSubProductHandler::fillAttrViaRptscn(&hub, c.report));
            EXPECT_EQ(hub.features, (std::vector<int>{13}));
        } else {
            const auto info = parseKeyValueText(pinfo(c.pinfoLines));
            EXPECT_TRUE(info.count("hubs") == 0 ? CSubProductHandler::fillAttrViaPinfoSingleHub(&hub, info)
                                                : CSubProductHandler::fillAttrViaPinfoMultipleHubs(&hub, info));
        }
        EXPECT_EQ(subs(hub), c.expected);
    }
    EXPECT_FALSE(CSubProductHandler::fillAttrViaRptscn(nullptr, ""));
    EXPECT_FALSE(CSubProductHandler::fillAttrViaPinfoSingleHub(nullptr, {}));
    EXPECT_FALSE(CSubProductHandler::fillAttrViaPinfoMultipleHubs(nullptr, {}));
}

TEST_F(SubProductWalk, AttributesFromAPinfoMap)
{
    CProduct product;
    CSubProductHandler::fillAttrViaPinfo(&product, {{"hw-sn", "  S1"}, {"flash", " 7"}, {"boot-p_name", "BOOTY"}});
    EXPECT_EQ(product.serialNumber, "S1");
    EXPECT_EQ(product.flashType, 7);
    EXPECT_EQ(product.name, "BOOTY");
    CSubProductHandler::fillAttrViaPinfo(&product, {{"app-p_name", "APPY"}, {"boot-p_name", "BOOTY"}});
    EXPECT_EQ(product.name, "APPY");
    EXPECT_EQ(product.serialNumber, "S1");
}

// ---- the walk ----------------------------------------------------------------

// Replies of a hub whose three devices answer P_INFO in full, or (the third)
// only single queries.
void scriptHub(TableChannel& channel)
{
    channel.replies[M("P_INFO")] = pinfo({"hub-connections: 3", "dev-1-addr: #1", "dev-1-name: A", "dev-1-type: external",
                                          "dev-2-addr: #2", "dev-2-name: B", "dev-2-type: internal", "dev-3-addr: #3",
                                          "dev-3-name: C", "dev-3-type: external"});
    for (const std::string address : {"#1", "#2"}) {
        channel.replies[M("P_INFO", address)]
            = pinfo({"hw-sn: SN" + address, "flash: 3", "app-p_name: NAME" + address, "app-m_name: DESC",
                     "app-sw-rev: WA", "app-svn-tag: SW", "app-date: D", "app-time: T", "boot-sw-rev: BW"});
        channel.replies[M("TERMID?", address)] = ack("TERMID", "0124");
        channel.replies[M("COMPID?", address)] = ack("COMPID", "1");
        channel.replies[M("TRM?", address)] = ack("TRM");
    }
    channel.replies[M("P_INFO", "#3")] = enq("P_INFO");
    channel.replies[M("P_NAME?", "#3")] = nak("P_NAME");
    channel.replies[M("P_NAME", "#3")] = ack("P_NAME", "Desc C");
    channel.replies[Y("SERNUM?", "#3")] = std::string("SERNUM") + ACK + "!";  // eight characters: no value
    channel.replies[M("TERMID?", "#3")] = ack("TERMID", "");
    channel.replies[M("REV_WA?", "#3")] = ack("REV_WA", "WA3");
    channel.replies[M("REV_SW?", "#3")] = nak("REV_SW");
    channel.replies[M("REV_TD?", "#3")] = ack("REV_TD", "08:00:00 Jul 4 1999");
    channel.replies[M("LSRDF2?", "#3")] = ack("LSRDF2", "1");
    // Everything else is refused at once.
    for (const std::string address : {"#1", "#2", "#3"}) {
        for (const FeatureQuery& entry : kFeatureQueries) {
            channel.replies.emplace(M(featureQueryText(entry), address), nak(featureQueryText(entry)));
        }
        for (const char* menu : {"LSRDF2?", "COMPID?"}) {
            channel.replies.emplace(M(menu, address), enq(menu));
        }
    }
}

TEST_F(SubProductWalk, ThreeSubProductsIdentifiedWithinOneBudget)
{
    scriptHub(channel);
    CDevice device;
    auto* hub = new CHubProduct();
    hub->productType = PT_HUB;
    hub->subProducts.push_back(CProduct());  // stale: the walk starts afresh
    device.product = hub;
    CSubProductHandler handler(&channel, 60000);
    ASSERT_TRUE(handler.fillSubProductDetails(&device));
    EXPECT_FALSE(handler.isTimedOut());
    ASSERT_EQ(hub->subProducts.size(), 3u);

    const CProduct& first = hub->subProducts[0];
    EXPECT_EQ(first.deviceAddress, "#1");
    EXPECT_EQ(first.name, "NAME#1");
    EXPECT_EQ(first.description, "DESC");
    EXPECT_EQ(first.serialNumber, "SN#1");
    EXPECT_EQ(first.flashType, 3);
    EXPECT_EQ(first.terminalId, 124);
    EXPECT_EQ(first.bootSoftwarePartNumber, "BW");
    EXPECT_EQ(first.architecture, 2);
    EXPECT_EQ(first.features, (std::vector<int>{1, 15}));
    EXPECT_EQ(first.productType, 4);
    EXPECT_EQ(hub->subProducts[1].productType, 5);

    const CProduct& third = hub->subProducts[2];
    EXPECT_EQ(third.name, "C");  // from the listing, not asked
    EXPECT_EQ(third.description, "Desc C");
    EXPECT_EQ(third.serialNumber, "");
    EXPECT_EQ(third.terminalId, -1);
    EXPECT_EQ(third.appSoftwarePartNumber, "WA3");
    EXPECT_EQ(third.appVersion, "");
    EXPECT_EQ(third.appDate, "Jul 4 1999");
    EXPECT_EQ(third.appTime, "08:00:00");
    EXPECT_EQ(third.productInfo, "");
    EXPECT_EQ(third.flashType, 0);  // an addressed device without P_INFO
    EXPECT_EQ(third.architecture, 4);
    EXPECT_TRUE(third.features.empty());

    // Known members are not asked again; every query is addressed.
    for (const Sent& s : channel.sent) {
        EXPECT_TRUE(s.frame == M("P_INFO") || s.frame.find(":#") != std::string::npos) << s.frame;
    }
    const std::vector<std::string> frames = channel.frames();
    for (const std::string& frame : {Y("P_NAME?", "#1"), Y("P_NAME?", "#3"), Y("SERNUM?", "#2"), M("REV_TD?", "#1")}) {
        EXPECT_EQ(std::count(frames.begin(), frames.end(), frame), 0) << frame;
    }
}

TEST_F(SubProductWalk, ABudgetThatRunsOutEndsTheWalkTimedOut)
{
    scriptHub(channel);
    // The third device keeps silent on its budget-timed P_INFO.
    channel.replies.erase(M("P_INFO", "#3"));
    channel.replies.erase(M("TERMID?", "#3"));
    CDevice device;
    auto* hub = new CHubProduct();
    device.product = hub;
    CSubProductHandler handler(&channel, 20000);
    EXPECT_FALSE(handler.fillSubProductDetails(&device));
    EXPECT_TRUE(handler.isTimedOut());
    ASSERT_EQ(hub->subProducts.size(), 3u);
    EXPECT_EQ(hub->subProducts[0].name, "NAME#1");
    EXPECT_EQ(hub->subProducts[1].name, "NAME#2");
    EXPECT_EQ(hub->subProducts[2].name, "C");  // from the listing only
    EXPECT_EQ(hub->subProducts[2].terminalId, -1);
}

TEST_F(SubProductWalk, WalkRefusesWhatIsNoHub)
{
    CDevice plain;
    plain.product = new CProduct();
    CSubProductHandler handler(&channel, 10000);
    EXPECT_FALSE(handler.fillSubProductDetails(&plain));
    EXPECT_FALSE(handler.fillSubProductDetails(nullptr));
    EXPECT_TRUE(channel.sent.empty());

    // A hub product on a device that is neither a P_INFO hub nor answers
    // RPTSCN and BASLDA.
    CDevice device;
    device.product = new CHubProduct();
    channel.replies = {{M("P_INFO"), pinfo({"hw-sn: 1"})}, {M("RPTSCN"), ack("RPTSCN", "\r\n")}, {M("BASLDA"), nak("BASLDA")}};
    LogCapture log;
    EXPECT_FALSE(handler.fillSubProductDetails(&device));
    EXPECT_FALSE(handler.isTimedOut());
    EXPECT_TRUE(log.contains("CSubProductHandler::fillSubProductDetails, not one hub device!"));

    // A listing with no time left after it: false without the flag.
    channel.replies = {{M("P_INFO"), pinfo({"hub-connections: 0"})}};
    channel.cost = 1000;
    CSubProductHandler tight(&channel, 1000);
    EXPECT_FALSE(tight.fillSubProductDetails(&device));
    EXPECT_FALSE(tight.isTimedOut());
    channel.cost = 10;
    CSubProductHandler roomy(&channel, 1000);
    EXPECT_TRUE(roomy.fillSubProductDetails(&device));
}

}  // namespace
