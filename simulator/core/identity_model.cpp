// The catalogue of scanner identities and their menu replies (see
// identity_model.h).
#include "simulator/identity_model.h"

#include <algorithm>

namespace vxsim {

namespace {

constexpr std::size_t kTagLength = 6;
const std::string kCrLf = "\r\n";

// The key a device answers a feature query with: the tag of a long query,
// the query less its '?' otherwise.
std::string featureKey(const std::string& query)
{
    if (query.size() > kTagLength)
        return query.substr(0, kTagLength);
    if (!query.empty() && (query.back() == '?' || query.back() == '*'))
        return query.substr(0, query.size() - 1);
    return query;
}

MenuRule reply(const std::string& command, const std::string& address, const std::string& value,
               unsigned char status = kMenuAck, char header = 0)
{
    MenuRule rule;
    rule.command = command;
    rule.address = address;
    rule.value = value;
    rule.status = status;
    rule.echo = false;  // the value carries the echo the device gives
    rule.header = header;
    return rule;
}

std::string listing(const std::string& echo, const std::vector<std::string>& lines)
{
    std::string text = echo + kCrLf;
    for (const std::string& line : lines)
        text += line + kCrLf;
    return text;
}

std::vector<std::string> keyValueLines(const std::vector<std::pair<std::string, std::string>>& pairs)
{
    std::vector<std::string> lines;
    for (const auto& [key, value] : pairs)
        lines.push_back(key + ": " + value);
    return lines;
}

// Replaces a rule for the same command, address and header, or adds it.
void put(std::vector<MenuRule>& rules, MenuRule rule)
{
    for (MenuRule& r : rules) {
        if (r.command == rule.command && r.address == rule.address && r.header == rule.header) {
            r = std::move(rule);
            return;
        }
    }
    rules.push_back(std::move(rule));
}

void addIdentityRules(const Identity& id, const std::string& address,
                      const std::vector<std::pair<std::string, std::string>>& pinfoLines, std::vector<MenuRule>& rules)
{
    const struct {
        const std::string& text;
        char header;
    } names[] = {{id.name, 'Y'}, {id.description, 'M'}};
    for (const auto& n : names) {
        if (n.text.empty())
            continue;
        if (!id.nameOnlyWithoutMark)
            put(rules, reply("P_NAME?", address, "P_NAME" + n.text, kMenuAck, n.header));
        put(rules, reply("P_NAME", address, "P_NAME" + n.text, kMenuAck, n.header));
    }
    const struct {
        const char* query;
        const std::string& value;
    } singles[] = {
        {"SERNUM?", id.serialNumber}, {"TERMID?", id.terminalId}, {"REV_WA?", id.partNumber},
        {"REV_SW?", id.version},      {"REV_TD?", id.buildStamp},
    };
    for (const auto& s : singles)
        if (!s.value.empty())
            put(rules, reply(s.query, address, std::string(s.query).substr(0, kTagLength) + s.value));
    if (id.compid)
        put(rules, reply("COMPID?", address, "COMPID1"));
    if (id.lsrdf2)
        put(rules, reply("LSRDF2?", address, "LSRDF21"));
    if (id.pinfo)
        put(rules, reply("P_INFO", address, listing("P_INFO", keyValueLines(pinfoLines)), id.pinfoStatus));
    for (const std::string& query : id.features) {
        const bool question = query.find('?') != std::string::npos;
        put(rules, reply(query, address, featureKey(query) + (question ? "1" : "")));
    }
}

// The address the host sends for a listed device: a reported port address
// always starts with '#'.
std::string hostAddress(const IdentityModel& model, const SubProduct& sub)
{
    if (model.listing == HubListing::rptscn && (sub.address.empty() || sub.address[0] != '#'))
        return "#" + sub.address;
    return sub.address;
}

Identity pinfoIdentity(const std::string& name, const std::string& description, const std::string& serial,
                       const std::string& flash, const std::string& rev)
{
    Identity id;
    id.name = name;
    id.description = description;
    id.serialNumber = serial;
    id.terminalId = "0124";
    id.partNumber = "WA-" + rev;
    id.version = "SW-" + rev;
    id.buildStamp = "10:31:02 Mar 4 2021";
    id.pinfo = true;
    id.pinfoLines = {
        {"mode", "app"},
        {"hw-sn", serial},
        {"flash", flash},
        {"app-p_name", name},
        {"app-m_name", description},
        {"app-sw-rev", "AP-" + rev},
        {"app-svn-tag", "v" + rev},
        {"app-date", "2021/03/04"},
        {"app-time", "10:31:02"},
        {"boot-p_name", name + "-BL"},
        {"boot-m_name", "Boot loader"},
        {"boot-sw-rev", "BT-" + rev},
        {"boot-svn-tag", "b" + rev},
        {"boot-date", "2020/01/02"},
        {"boot-time", "08:00:00"},
    };
    return id;
}

Identity queryIdentity(const std::string& name, const std::string& description, const std::string& serial,
                       const std::string& rev)
{
    Identity id;
    id.name = name;
    id.description = description;
    id.serialNumber = serial;
    id.terminalId = "7";
    id.partNumber = "WA-" + rev;
    id.version = "SW-" + rev;
    id.buildStamp = "09:15:00 Jan 12 2009";
    return id;
}

const std::vector<std::string> kBasicFeatures = {"TRM?", "ACTSTA?", "C39ENA?", "PDFENA?", "OCRENA?"};
// Every feature query an identity here can list.
const std::vector<std::string> kAllFeatureQueries = {"TRM?",    "ACTSTA?", "C39ENA?", "PDFENA?", "OCRENA?",
                                                     "CBLTBL?", "IMGSNP?", "IDMENA?", "NETCKX?", "PLGENA?",
                                                     "CPCENA?", "CURTBL?", "RPTSCN?"};

std::vector<IdentityModel> makeCatalogue()
{
    std::vector<IdentityModel> models;

    IdentityModel arch0;
    arch0.name = "arch0";
    arch0.device = queryIdentity("VX-1000", "Linear imager", "Q0000001", "100");
    arch0.device.features = kBasicFeatures;
    models.push_back(arch0);

    IdentityModel arch1;
    arch1.name = "arch1";
    arch1.device = queryIdentity("VX-1100", "Area imager", "T1000002", "110");
    arch1.device.compid = true;
    arch1.device.features = {"TRM?", "CBLTBL?", "IMGSNP?", "IDMENA?", "NETCKX?"};
    models.push_back(arch1);

    IdentityModel arch2;
    arch2.name = "arch2";
    arch2.device = pinfoIdentity("VX-1200", "Area imager", "T2000003", "2", "120");
    arch2.device.compid = true;
    arch2.device.features = {"TRM?", "CBLTBL?", "PLGENA?", "CPCENA?", "IMGSNP?", "C39ENA?"};
    models.push_back(arch2);

    IdentityModel arch3;
    arch3.name = "arch3";
    arch3.device = pinfoIdentity("VX-1300", "Presentation imager", "K3000004", "3", "130");
    arch3.device.features = {"ACTSTA?", "IDMENA?"};
    models.push_back(arch3);

    IdentityModel arch4;
    arch4.name = "arch4";
    arch4.device = pinfoIdentity("VX-1400", "Mobile computer", "Z4000005", "4", "140");
    arch4.device.compid = true;
    arch4.device.lsrdf2 = true;
    arch4.device.features = {"TRM?", "P_INFO?", "NETCKX?"};
    models.push_back(arch4);

    IdentityModel bootPinfo;
    bootPinfo.name = "boot-pinfo";
    bootPinfo.device = pinfoIdentity("VX-1200", "Area imager", "B2000006", "2", "120");
    bootPinfo.device.compid = true;
    bootPinfo.device.pinfoLines = {
        {"mode", "boot"},         {"hw-sn", "B2000006"},   {"flash", "2"},
        {"boot-p_name", "VX-1200-BL"}, {"boot-m_name", "Boot loader"}, {"boot-sw-rev", "BT-120"},
        {"boot-svn-tag", "b120"}, {"boot-date", "2020/01/02"}, {"boot-time", "08:00:00"},
    };
    bootPinfo.device.name = "VX-1200-BL";
    bootPinfo.device.description = "Boot loader";
    bootPinfo.device.features = {"TRM?", "CBLTBL?"};
    bootPinfo.deviceType = "BOOT";
    models.push_back(bootPinfo);

    IdentityModel bootDevtype;
    bootDevtype.name = "boot-devtype";
    bootDevtype.device = queryIdentity("VX-1000-BL", "Boot loader", "B0000007", "100");
    bootDevtype.device.nameOnlyWithoutMark = true;
    bootDevtype.deviceType = "BOOT";
    models.push_back(bootDevtype);

    IdentityModel hub;
    hub.name = "hub-single";
    hub.device = pinfoIdentity("VX-BASE", "Charging base", "H0000010", "2", "200");
    hub.device.compid = true;
    hub.device.features = {"TRM?", "CBLTBL?", "CURTBL?"};
    hub.listing = HubListing::pinfoSingle;
    {
        SubProduct external{"#1", "VX-1300", "external", 1, pinfoIdentity("VX-1300", "Cordless imager", "S0000011", "3", "131")};
        external.identity.features = {"TRM?", "IMGSNP?"};
        SubProduct internal{"#2", "VX-1000", "Internal", 1, queryIdentity("VX-1000", "Linear imager", "S0000012", "101")};
        internal.identity.features = {"C39ENA?"};
        SubProduct virtualDevice{"#3", "VX-V", "internal-virtual", 1, queryIdentity("VX-V", "Virtual port", "S0000013", "102")};
        virtualDevice.identity.compid = true;
        SubProduct other{"#4", "VX-DOCK", "dock", 1, pinfoIdentity("VX-DOCK", "Dock", "S0000014", "0", "103")};
        other.identity.lsrdf2 = true;
        hub.subProducts = {external, internal, virtualDevice, other};
    }
    models.push_back(hub);

    IdentityModel multi;
    multi.name = "hub-multi";
    multi.device = pinfoIdentity("VX-MULTI", "Multi-port base", "H0000020", "2", "210");
    multi.device.compid = true;
    multi.listing = HubListing::pinfoMulti;
    multi.subProducts = {
        {"#1", "VX-1300", "external", 1, pinfoIdentity("VX-1300", "Cordless imager", "S0000021", "3", "131")},
        {"#2", "VX-1000", "internal", 1, queryIdentity("VX-1000", "Linear imager", "S0000022", "101")},
        {"#5", "VX-1400", "external", 2, pinfoIdentity("VX-1400", "Mobile computer", "S0000023", "4", "141")},
    };
    models.push_back(multi);

    IdentityModel rptscn;
    rptscn.name = "hub-rptscn";
    rptscn.device = queryIdentity("VX-RBASE", "Radio base", "H0000030", "300");
    rptscn.device.compid = true;
    rptscn.device.features = {"TRM?", "BASLDA", "RPTSCN?", "CURTBL?"};
    rptscn.listing = HubListing::rptscn;
    rptscn.subProducts = {
        {"#3", "VX-1100", "external", 1, queryIdentity("VX-1100", "Cordless imager", "S0000031", "111")},
        {"4", "VX-1300", "external", 1, pinfoIdentity("VX-1300", "Cordless imager", "S0000032", "3", "132")},
    };
    rptscn.subProducts[0].identity.compid = true;
    models.push_back(rptscn);

    return models;
}

const std::vector<IdentityModel>& catalogue()
{
    static const std::vector<IdentityModel> models = makeCatalogue();
    return models;
}

}  // namespace

const IdentityModel* findIdentityModel(const std::string& name)
{
    for (const IdentityModel& m : catalogue())
        if (m.name == name)
            return &m;
    return nullptr;
}

std::vector<std::string> identityModelNames()
{
    std::vector<std::string> names;
    for (const IdentityModel& m : catalogue())
        names.push_back(m.name);
    return names;
}

std::vector<std::pair<std::string, std::string>> pinfoLinesOf(const IdentityModel& identity)
{
    std::vector<std::pair<std::string, std::string>> lines = identity.device.pinfoLines;
    if (identity.listing == HubListing::pinfoSingle) {
        lines.emplace_back("hub-connections", std::to_string(identity.subProducts.size()));
        int n = 0;
        for (const SubProduct& sub : identity.subProducts) {
            const std::string dev = "dev-" + std::to_string(++n);
            lines.emplace_back(dev + "-addr", sub.address);
            lines.emplace_back(dev + "-name", sub.listedName);
            lines.emplace_back(dev + "-type", sub.type);
        }
    } else if (identity.listing == HubListing::pinfoMulti) {
        int hubs = 0;
        for (const SubProduct& sub : identity.subProducts)
            hubs = std::max(hubs, sub.hub);
        lines.emplace_back("hubs", std::to_string(hubs));
        for (int h = 1; h <= hubs; ++h) {
            const std::string hub = "hub-" + std::to_string(h);
            int n = 0;
            std::vector<std::pair<std::string, std::string>> devices;
            for (const SubProduct& sub : identity.subProducts) {
                if (sub.hub != h)
                    continue;
                const std::string dev = hub + "-dev-" + std::to_string(++n);
                devices.emplace_back(dev + "-addr", sub.address);
                devices.emplace_back(dev + "-name", sub.listedName);
                devices.emplace_back(dev + "-type", sub.type);
            }
            lines.emplace_back(hub + "-connections", std::to_string(n));
            lines.insert(lines.end(), devices.begin(), devices.end());
        }
    }
    return lines;
}

MenuModel identityMenu(const IdentityModel& identity, MenuModel base)
{
    // A host reads a feature from whether its query is answered, so a
    // default setting that is also a feature stays only where the identity
    // lists that feature.
    for (auto it = base.settings.begin(); it != base.settings.end();) {
        const bool feature = std::any_of(kAllFeatureQueries.begin(), kAllFeatureQueries.end(),
                                         [&](const std::string& q) { return featureKey(q) == it->first; });
        const bool listed = std::any_of(identity.device.features.begin(), identity.device.features.end(),
                                        [&](const std::string& q) { return featureKey(q) == it->first; });
        it = feature && !listed ? base.settings.erase(it) : std::next(it);
    }
    for (const auto& [tag, value] : identity.lineSettings)
        base.settings[tag] = value;
    base.deviceType = identity.deviceType;
    addIdentityRules(identity.device, "", pinfoLinesOf(identity), base.rules);
    if (identity.listing == HubListing::rptscn) {
        std::vector<std::string> report = {"Port Type Name Address"};
        int port = 0;
        for (const SubProduct& sub : identity.subProducts)
            report.push_back(std::to_string(++port) + " " + sub.type + " " + sub.listedName + " " + sub.address);
        put(base.rules, reply("RPTSCN", "", listing("RPTSCN", report)));
        put(base.rules, reply("BASLDA", "", "BASLDA"));
    }
    for (const SubProduct& sub : identity.subProducts)
        addIdentityRules(sub.identity, hostAddress(identity, sub), sub.identity.pinfoLines, base.rules);
    return base;
}

}  // namespace vxsim
