// From reply texts to the product record: the information filler and the
// product factory against a scripted scanner, for stand-alone products of
// every architecture, hubs of the three listing kinds, and malformed or
// truncated replies.
#include "ScriptedDevice.h"

#include "base/CancelFlag.h"
#include "discovery/CUsbHidDevice.h"
#include "products/CHubProduct.h"
#include "products/CProductFactory.h"
#include "protocol/CDeviceInfoFiller.h"
#include "protocol/CMenuMemory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using namespace scripted;
using Replies = std::map<std::string, std::string>;

struct Expected {
    int mode;
    int architecture;
    int productType;
    std::vector<std::string> strings;  // the 13 identity strings but the P_INFO text
    std::vector<int> features;
    int flashType;
    int terminalId;
};

std::vector<std::string> identity(const CProduct& p)
{
    return {p.name,    p.description, p.deviceAddress, p.serialNumber, p.appSoftwarePartNumber, p.appVersion,
            p.appDate, p.appTime,     p.bootSoftwarePartNumber, p.bootVersion, p.bootDate, p.bootTime};
}

struct Identification {
    ScriptedDevice device;
    PORTINFO info;
    CMenuMemory cache;
    CUsbHidDevice record;
    bool filled = false;

    Identification(const Replies& replies, const std::set<std::string>& features, const std::string& deviceType = "APP")
    {
        device.replies = replies;
        device.features = features;
        device.deviceType = deviceType;
        std::memset(&info, 0, sizeof info);
        info.port = &device;
        info.readCount = 2;
        record.interfaceType = EIT_USB_HID_BARCODE_SCANNER;
    }
    CProduct* fill(int level = 1)
    {
        CDeviceInfoFiller filler(&record, &info, &cache, level);
        filled = filler.fillDeviceInfo();
        return record.CDevice::product;
    }
};

const std::vector<std::string> kFullPinfo = {
    "mode: app",          "hw-sn:   SN123",      "flash: 2",         "app-p_name: VX-1200", "boot-p_name: VX-BOOT",
    "app-m_name: Imager", "app-sw-rev: AP-001",  "app-svn-tag: 1.2", "app-date: Mar 1 2020", "app-time: 10:00:00",
    "boot-sw-rev: BT-01", "boot-svn-tag: 0.9",   "boot-date: Jan 2 2019", "boot-time: 09:00:00",
};

// A scanner without P_INFO that answers the single queries.
Replies singleQueries(Replies extra)
{
    Replies replies = {
        {"Y:P_NAME?", ack("P_NAME", "QZ-100")}, {"M:P_NAME?", ack("P_NAME", "Quartz scanner")},
        {"SERNUM?", ack("SERNUM", "Q0001")},    {"TERMID?", ack("TERMID", "131")},
        {"REV_WA?", ack("REV_WA", "WA-7")},     {"REV_SW?", ack("REV_SW", "SW-8")},
        {"REV_TD?", ack("REV_TD", "12:30:00 Feb 3 2001")},
    };
    for (const auto& [menu, reply] : extra) {
        replies[menu] = reply;
    }
    return replies;
}

const std::vector<std::string> kSingleStrings = {"QZ-100", "Quartz scanner", "", "Q0001", "WA-7", "SW-8",
                                                 "Feb 3 2001", "12:30:00", "", "", "", ""};

TEST(ProductFromReplies, StandAloneProductsOfEveryArchitecture)
{
    const std::vector<std::string> fullStrings = {"VX-1200", "Imager", "", "SN123", "AP-001", "1.2", "Mar 1 2020",
                                                  "10:00:00", "BT-01", "0.9", "Jan 2 2019", "09:00:00"};
    struct Case {
        const char* what;
        Replies replies;
        std::set<std::string> features;
        Expected expected;
    } cases[] = {
        {"talon 2: P_INFO and COMPID?",
         {{"P_INFO", pinfo(kFullPinfo)}, {"COMPID?", ack("COMPID", "1")}, {"TERMID?", ack("TERMID", "0124")}},
         {"TRM?", "IMGSNP?", "CURTBL?", "NETCKX?"},
         {1, 2, 1, fullStrings, {15, 14, 1, 5, 11}, 2, 124}},
        {"quartz: none of the probes",
         singleQueries({}),
         {"C39ENA?"},
         {1, 0, 1, kSingleStrings, {6}, 0, 131}},
        {"talon 1: COMPID? alone",
         singleQueries({{"COMPID?", ack("COMPID", "1")}}),
         {},
         {1, 1, 1, kSingleStrings, {15}, 0, 131}},
        {"kelp: P_INFO alone",
         {{"P_INFO", pinfo(kFullPinfo)}},
         {"P_INFO?"},
         {1, 3, 1, fullStrings, {14}, 2, -1}},
        {"tzw: LSRDF2? wins",
         {{"P_INFO", pinfo(kFullPinfo)}, {"COMPID?", ack("COMPID", "1")}, {"LSRDF2?", ack("LSRDF2", "1")}},
         {"COMPID?"},
         {1, 4, 1, fullStrings, {14, 15}, 2, -1}},  // 14: the cached P_INFO answer
        {"P_INFO answered NAK: supported, not parsed",
         singleQueries({{"P_INFO", nak("P_INFO")}, {"COMPID?", ack("COMPID", "1")}}),
         {},
         {-1, 2, 1, kSingleStrings, {15, 14}, -1, 131}},
        {"boot loader: no hub test, no features",
         {{"P_INFO", pinfo({"mode: boot", "boot-p_name: VX-BOOT", "hw-sn: B1"})}, {"RPTSCN", ack("RPTSCN", "\r\n")}},
         {"TRM?"},
         {0, 3, 1, {"VX-BOOT", "", "", "B1", "", "", "", "", "", "", "", ""}, {}, -1, -1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Identification run(c.replies, c.features);
        CProduct* product = run.fill();
        ASSERT_TRUE(run.filled);
        ASSERT_NE(product, nullptr);
        EXPECT_EQ(dynamic_cast<CHubProduct*>(product), nullptr);
        EXPECT_EQ(run.record.mode, c.expected.mode);
        EXPECT_EQ(product->architecture, c.expected.architecture);
        EXPECT_EQ(product->productType, c.expected.productType);
        EXPECT_EQ(identity(*product), c.expected.strings);
        EXPECT_EQ(product->features, c.expected.features);
        EXPECT_EQ(product->flashType, c.expected.flashType);
        EXPECT_EQ(product->terminalId, c.expected.terminalId);
        EXPECT_EQ(run.record.interfaceUsage, -1);
    }
}

TEST(ProductFromReplies, QueriesSentFollowWhatIsAlreadyKnown)
{
    // Everything from P_INFO: no single identity query but TERMID?; the
    // P_INFO reply itself is asked once and then served from the cache.
    Identification full({{"P_INFO", pinfo(kFullPinfo)}, {"COMPID?", ack("COMPID", "1")}}, {});
    ASSERT_NE(full.fill(), nullptr);
    EXPECT_EQ(full.device.count("P_INFO"), 1u);
    EXPECT_EQ(full.device.count("TERMID?"), 1u);
    for (const char* menu : {"P_NAME?", "P_NAME", "SERNUM?", "REV_WA?", "REV_SW?", "REV_TD?", "RPTSCN", "BASLDA"}) {
        EXPECT_EQ(full.device.count(menu), 0u) << menu;
    }
    EXPECT_NE(full.record.CDevice::product->productInfo.find("hw-sn:   SN123"), std::string::npos);
    // Two batches; the features the architecture gave are not asked again,
    // nor CURTBL? of a device that is no hub.
    const std::vector<Frame> frames = full.device.frames();
    std::vector<std::string> batches;
    for (const Frame& f : frames) {
        if (f.menu.find(';') != std::string::npos) {
            batches.push_back(f.menu);
        }
    }
    EXPECT_EQ(batches, (std::vector<std::string>{"TRM?;CBLTBL?;ACTSTA?;PLGENA?;IMGSNP?;C39ENA?;IDMENA?;PDFENA?",
                                                 "OCRENA?;CPCENA?;NETCKX?;BASLDA;RPTSCN?"}));

    // The boot loader gets no batch at all and no hub test.
    Identification boot({{"P_INFO", pinfo({"mode: boot"})}}, {});
    ASSERT_NE(boot.fill(), nullptr);
    for (const Frame& f : boot.device.frames()) {
        EXPECT_EQ(f.menu.find(';'), std::string::npos) << f.menu;
    }
    EXPECT_EQ(boot.device.count("RPTSCN"), 0u);
}

TEST(ProductFromReplies, MalformedAndTruncatedRepliesFallBackWithoutHarm)
{
    struct Case {
        const char* what;
        Replies replies;
        std::string name;
        std::string serial;
        int flashType;
        int terminalId;
        int architecture;
    } cases[] = {
        {"P_INFO cut off before its status",
         singleQueries({{"P_INFO", "P_INFO\r\nhw-sn: X1\r\napp-p_name: CUT"}}), "QZ-100", "Q0001", 0, 131, 0},
        {"P_INFO without any line end", singleQueries({{"P_INFO", ack("P_INFO", "hw-sn:X1")}}), "QZ-100", "Q0001",
         -1, 131, 3},
        {"P_INFO of lines without colons", singleQueries({{"P_INFO", pinfo({"garbage", "", "::"})}}), "QZ-100",
         "Q0001", -1, 131, 3},
        {"flash without digits, huge terminal id",
         singleQueries({{"P_INFO", pinfo({"flash: x"})}, {"TERMID?", ack("TERMID", "99999999999")}}), "QZ-100",
         "Q0001", 0, 2147483647, 3},
        {"status bytes only", singleQueries({{"Y:P_NAME?", std::string(1, ACK) + "!"}, {"M:P_NAME", "\x06"}}), "",
         "Q0001", 0, 131, 0},
        {"echo only, no value", singleQueries({{"SERNUM?", std::string("SERNUM") + ACK + "!"}}), "QZ-100", "", 0, 131,
         0},
        {"a foreign reply", singleQueries({{"TERMID?", ack("XXXXXX", "5")}}), "QZ-100", "Q0001", 0, -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Identification run(c.replies, {});
        CProduct* product = run.fill();
        ASSERT_TRUE(run.filled);
        ASSERT_NE(product, nullptr);
        EXPECT_EQ(product->name, c.name);
        EXPECT_EQ(product->serialNumber, c.serial);
        EXPECT_EQ(product->flashType, c.flashType);
        EXPECT_EQ(product->terminalId, c.terminalId);
        EXPECT_EQ(product->architecture, c.architecture);
    }
}

// ---- hubs as discovery sees them ------------------------------------------

struct Sub {
    std::string address;
    std::string name;
    int kind;
    bool operator==(const Sub& o) const { return address == o.address && name == o.name && kind == o.kind; }
};

std::vector<Sub> subsOf(const CProduct* product)
{
    std::vector<Sub> subs;
    const auto* hub = dynamic_cast<const CHubProduct*>(product);
    if (hub != nullptr) {
        for (const CProduct& p : hub->subProducts) {
            subs.push_back({p.deviceAddress, p.name, p.productType});
        }
    }
    return subs;
}

void PrintTo(const Sub& s, std::ostream* os)
{
    *os << "{" << s.address << "," << s.name << "," << s.kind << "}";
}

TEST(ProductFromReplies, HubListingsGiveAHubWithItsSubProductsInListedOrder)
{
    struct Case {
        const char* what;
        Replies replies;
        std::vector<Sub> subs;
        std::vector<int> features;
    } cases[] = {
        {"one hub in P_INFO",
         {{"P_INFO", pinfo({"app-p_name: BASE-1", "hub-connections: 3", "dev-1-addr: #1", "dev-1-name: Cordless A",
                            "dev-1-type: external", "dev-2-addr:2", "dev-2-name:B", "dev-2-type: Internal-Virtual",
                            "dev-3-addr: 3", "dev-3-name: C", "dev-3-type: dock"})}},
         {{"#1", "Cordless A", 4}, {"2", "B", 6}, {"3", "C", 3}},
         {14, 17}},
        {"several hubs in P_INFO",
         {{"P_INFO", pinfo({"hubs: 2", "hub-1-connections: 1", "hub-1-dev-1-addr: #11", "hub-1-dev-1-name: H1D1",
                            "hub-1-dev-1-type: internal", "hub-2-connections: 2", "hub-2-dev-1-addr: #21",
                            "hub-2-dev-1-name: H2D1", "hub-2-dev-1-type: external", "hub-2-dev-2-addr: #22",
                            "hub-2-dev-2-name: H2D2", "hub-2-dev-2-type: EXTERNAL"})}},
         {{"#11", "H1D1", 5}, {"#21", "H2D1", 4}, {"#22", "H2D2", 4}},
         {14, 17}},
        {"RPTSCN report with BASLDA",
         {{"RPTSCN", "RPTSCN\r\nPort Type Name Address\r\n1 ext ScanA #3\r\n2 ext ScanB 4\r\nshort line x\r\n"
                     "PORT a b c\r\n\x06!"},
          {"BASLDA", ack("BASLDA")}},
         {{"#3", "ScanA", 4}, {"#4", "ScanB", 4}},
         {13, 12, 17}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Identification run(c.replies, {"CURTBL?"});
        CProduct* product = run.fill();
        ASSERT_TRUE(run.filled);
        ASSERT_NE(dynamic_cast<CHubProduct*>(product), nullptr);
        EXPECT_EQ(product->productType, 2);
        EXPECT_EQ(subsOf(product), c.subs);
        EXPECT_EQ(product->features, c.features);
        EXPECT_EQ(run.record.interfaceUsage, 0);  // a hub is a line-of-business interface
        EXPECT_EQ(run.device.count("CURTBL?"), 0u);  // it goes out inside the batch
    }
}

TEST(ProductFromReplies, HubCountsBeyondTheListingAreHeldToIt)
{
    // Counts of 2^31-1 with two listed devices: the listing is read as it
    // stands instead of looping over every number up to the count.
    Identification single({{"P_INFO", pinfo({"hub-connections: 2147483647", "dev-1-addr: #1", "dev-1-name: A",
                                  "dev-1-type: external", "dev-2-addr: #2", "dev-2-name: B", "dev-2-type: internal"})}},
               {});
    ASSERT_NE(single.fill(), nullptr);
    EXPECT_EQ(subsOf(single.record.CDevice::product), (std::vector<Sub>{{"#1", "A", 4}, {"#2", "B", 5}}));

    Identification multiple({{"P_INFO", pinfo({"hubs: 2147483647", "hub-1-connections: 2147483647", "hub-1-dev-1-addr: #1",
                                    "hub-1-dev-1-name: A", "hub-1-dev-1-type: external", "hub-3-connections: 99999",
                                    "hub-3-dev-1-addr: #3", "hub-3-dev-1-name: C", "hub-3-dev-1-type: internal"})}},
                 {});
    ASSERT_NE(multiple.fill(), nullptr);
    EXPECT_EQ(subsOf(multiple.record.CDevice::product), (std::vector<Sub>{{"#1", "A", 4}, {"#3", "C", 5}}));
}

TEST(ProductFromReplies, RptscnWithoutBasldaIsAStandAloneProductThatMayAskCurtbl)
{
    Identification run(singleQueries({{"RPTSCN", ack("RPTSCN", "\r\nPort x y z\r\n1 a b #2\r\n")}}), {"CURTBL?"});
    CProduct* product = run.fill();
    ASSERT_NE(product, nullptr);
    EXPECT_EQ(dynamic_cast<CHubProduct*>(product), nullptr);
    EXPECT_EQ(product->productType, 1);
    EXPECT_EQ(run.device.count("BASLDA"), 1u);
    EXPECT_EQ(product->features, (std::vector<int>{13, 17}));  // 13: the cached RPTSCN answer
}

TEST(ProductFromReplies, SingleQueryBatchIsSentOnlyFromSixCharacters)
{
    // Every feature but one already known: the batch holds one query.
    for (const auto& [lacking, sent] : {std::pair<int, bool>{1, false}, {12, true}}) {
        ScriptedDevice device;
        device.features = {"TRM?", "BASLDA"};
        PORTINFO info;
        std::memset(&info, 0, sizeof info);
        info.port = &device;
        info.readCount = 2;
        CUsbHidDevice record;
        record.mode = 1;
        CProductFactory factory(&record, &info, nullptr, 1);
        CProduct product;
        for (int id : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 17}) {
            if (id != lacking) {
                product.features.push_back(id);
            }
        }
        factory.fillProductFeatureSet(&product);
        EXPECT_EQ(device.frames().size(), sent ? 1u : 0u) << lacking;
        EXPECT_EQ(product.hasFeature(lacking), sent) << lacking;
    }
}

TEST(ProductFromReplies, StopDuringTheSingleQueriesEndsBeforeTheFeatures)
{
    for (const bool hub : {false, true}) {
        SCOPED_TRACE(hub ? "hub" : "stand-alone");
        Replies replies = singleQueries({});
        if (hub) {
            replies["P_INFO"] = pinfo({"hub-connections: 1", "dev-1-addr: #1", "dev-1-name: A", "dev-1-type: external"});
        }
        ScriptedDevice device;
        device.replies = replies;
        unsigned char cancel = 0;
        device.onFrame = [&](const Frame& frame) {
            if (frame.menu == "TERMID?") {
                requestCancel(&cancel);
            }
        };
        PORTINFO info;
        std::memset(&info, 0, sizeof info);
        info.port = &device;
        info.readCount = 2;
        CUsbHidDevice record;
        record.mode = 1;
        record.interfaceType = EIT_USB_HID_BARCODE_SCANNER;
        CProductFactory factory(&record, &info, nullptr, 1);
        factory.setCancelFlag(&cancel);
        EXPECT_FALSE(factory.generateProduct());
        for (const Frame& f : device.frames()) {
            EXPECT_EQ(f.menu.find(';'), std::string::npos) << f.menu;
        }
        // An unfinished hub is discarded; a stand-alone product stays with
        // what it had, for the caller that drops the record anyway.
        if (hub) {
            EXPECT_EQ(record.CDevice::product, nullptr);
        } else {
            ASSERT_NE(record.CDevice::product, nullptr);
            EXPECT_EQ(record.CDevice::product->name, "QZ-100");
            EXPECT_TRUE(record.CDevice::product->features.empty());
        }
    }
}

}  // namespace
