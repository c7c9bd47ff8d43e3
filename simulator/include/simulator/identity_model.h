// Who a simulated scanner says it is, as data: its answers to the
// information queries (name, description, serial number, terminal id,
// revisions, the product-information listing, the capability probes, the
// feature queries, the device-type query) and, for a hub, the devices
// behind it, each reached by its address between colons and each with an
// identity of its own. `identityMenu` turns one into the menu engine's
// settings and rules; a serial or HID model takes that as its menu.
//
// Reply shapes (the host's parsers rely on them):
//   single query      tag(6) value status mark     "SERNUM" "S1" ACK '!'
//   product info      "P_INFO" CR LF {key ':' ' ' value CR LF} status mark
//   port report       "RPTSCN" CR LF {line CR LF} status mark
//   feature batch     answers joined by ';' then one mark; a known feature
//                     answers its key, "1" and ACK
//   device type       the text alone ("APP", "BOOT")
// "P_NAME?" answers the name under SYN 'Y' CR and the description under
// SYN 'M' CR.
#pragma once

#include "simulator/menu_engine.h"

#include <string>
#include <utility>
#include <vector>

namespace vxsim {

struct Identity {
    // Answers of the single queries; an empty text is not answered (ENQ).
    std::string name;         // "P_NAME?" under SYN 'Y'
    std::string description;  // "P_NAME?" under SYN 'M'
    // An older firmware that answers only "P_NAME" (no question mark).
    bool nameOnlyWithoutMark = false;
    std::string serialNumber;  // "SERNUM?"
    std::string terminalId;    // "TERMID?"
    std::string partNumber;    // "REV_WA?"
    std::string version;       // "REV_SW?"
    std::string buildStamp;    // "REV_TD?": time, then month, day, year
    // The capability probes answered with ACK ("COMPID?", "LSRDF2?").
    bool compid = false;
    bool lsrdf2 = false;
    // "P_INFO" key/value lines; none: the query is unknown (ENQ).
    bool pinfo = false;
    std::vector<std::pair<std::string, std::string>> pinfoLines;
    unsigned char pinfoStatus = kMenuAck;
    // Feature queries ("TRM?", "BASLDA") answered with ACK, alone or in a
    // batch.
    std::vector<std::string> features;
};

// One device behind a hub.
struct SubProduct {
    std::string address;  // as the hub lists it; the host sends it between colons
    std::string listedName;
    std::string type;  // "external", "internal", "internal-virtual" or another text
    int hub = 1;       // the hub it hangs on, for a listing of several hubs
    Identity identity;
};

enum class HubListing {
    none,        // not a hub
    pinfoSingle, // "hub-connections" and dev-N-* keys in P_INFO
    pinfoMulti,  // "hubs", hub-H-connections and hub-H-dev-N-* keys
    rptscn,      // an "RPTSCN" report, and "BASLDA" answered
};

struct IdentityModel {
    std::string name;
    Identity device;
    HubListing listing = HubListing::none;
    std::vector<SubProduct> subProducts;
    // The answer to the device-type query (empty: none).
    std::string deviceType = "APP";
    // The RS-232 and USB settings the host reads ("232BAD?" and the like),
    // tag to value.
    std::vector<std::pair<std::string, std::string>> lineSettings = {
        {"232BAD", "5"}, {"232WRD", "2"}, {"DLYCHR", "0"}, {"DLYMSG", "0"}, {"DLYFNC", "0"},
        {"232CTS", "0"}, {"232XON", "0"}, {"232ACK", "0"}, {"USBACK", "0"}, {"USBCTS", "0"},
    };
};

// The named identities:
//   "arch0"        answers none of P_INFO, COMPID?, LSRDF2? (single queries only)
//   "arch1"        COMPID? without P_INFO
//   "arch2"        COMPID? and P_INFO
//   "arch3"        P_INFO without COMPID?
//   "arch4"        LSRDF2? (and P_INFO, COMPID?)
//   "boot-pinfo"   in its boot loader, said by P_INFO ("mode: boot", boot keys only)
//   "boot-devtype" in its boot loader, said by the device-type query only
//   "hub-single"   a P_INFO hub with four devices, one of each type
//   "hub-multi"    a P_INFO listing of two hubs
//   "hub-rptscn"   a hub that lists its devices in an RPTSCN report
// Null for an unknown name.
const IdentityModel* findIdentityModel(const std::string& name);
std::vector<std::string> identityModelNames();

// The menu engine's model for an identity, on top of `base` (whose
// settings and rules it keeps unless it answers the same command).
MenuModel identityMenu(const IdentityModel& identity, MenuModel base = MenuModel());

// The "P_INFO" key/value lines of a model's own device, the hub listing
// included.
std::vector<std::pair<std::string, std::string>> pinfoLinesOf(const IdentityModel& identity);

}  // namespace vxsim
