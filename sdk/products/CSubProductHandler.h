// Identifies the devices behind a connected hub within one time budget:
// recognises the hub (P_INFO listing, or the RPTSCN port report with
// BASLDA), lists its devices as sub-products and identifies each one by
// menu queries addressed to it. Also the class-level helpers that decide a
// product's architecture and its architecture features, and that build a
// hub's sub-product list from a listing, which discovery uses as well.
//
// A handler lives for one call on its caller's thread; every query goes
// through the channel (not owned) and draws on the one budget, whose clock
// starts at construction. Once a budget-timed query finds no time left, the
// timed-out flag is set for good.
#pragma once

#include "CHubProduct.h"
#include "CProduct.h"
#include "SyncMenuChannel.h"

#include "platform/types.h"

#include <map>
#include <string>

class CDevice;

class CSubProductHandler {
public:
    using KeyValues = std::map<std::string, std::string>;

    // Explicit time-out of the single identity queries.
    static constexpr int kSingleQueryTimeoutMs = 500;

    // No channel: every query fails.
    CSubProductHandler();
    CSubProductHandler(SyncMenuChannel* channel, DWORD budgetMs);
    ~CSubProductHandler() = default;
    CSubProductHandler(const CSubProductHandler&) = delete;
    CSubProductHandler& operator=(const CSubProductHandler&) = delete;

    bool isTimedOut() const { return m_timedOut; }

    // The whole text of an ACK reply to the framed query, else empty.
    // `timeoutMs` 0 takes what is left of the budget (and marks the handler
    // timed out when that runs out); another value is used as it is.
    std::string getMenuResponse(std::string address, std::string menu, int frameKind, int timeoutMs);

    bool isHubProductViaBASLDA();
    // The report text comes back whatever the reply's status; true for ACK.
    bool isHubProductViaRPTSCN(std::string& report);
    // The parsed P_INFO reply replaces `info`; true when it names "hubs" or
    // "hub-connections".
    bool isHubProductViaPINFO(KeyValues& info);

    // Architecture from the three probes: LSRDF2? wins (4), then COMPID? and
    // P_INFO (2), COMPID? (1), P_INFO (3), none (0).
    static bool fillArchitecture(CProduct* product, bool pinfo, bool compid, bool lsrdf2);
    // Appends the features that the architecture implies.
    static void putFeatureViaStrucure(CProduct* product);
    // One query per feature the product lacks; false once a query finds the
    // budget spent.
    bool fillProductFeatureSet(CProduct* product);

    // Lists the hub's devices afresh and identifies each; false for no hub,
    // a spent budget (see isTimedOut) or a failed identification.
    bool fillSubProductDetails(CDevice* device);
    // Identity of one (sub-)product by queries to its device address.
    bool fillProductInfo(CProduct* product);

    // Sub-products from a one-hub P_INFO listing ("hub-connections",
    // dev-N-addr/-name/-type), appended in listed order.
    static bool fillAttrViaPinfoSingleHub(CHubProduct* hub, KeyValues info);
    // The same from a listing of several hubs ("hubs", hub-H-connections,
    // hub-H-dev-N-...), hub 1's devices first.
    static bool fillAttrViaPinfoMultipleHubs(CHubProduct* hub, KeyValues info);
    // Sub-products of kind 4 from the RPTSCN port report; marks the hub
    // with feature 13.
    static bool fillAttrViaRptscn(CHubProduct* hub, std::string report);
    // Serial number, flash type and name from a P_INFO map.
    static void fillAttrViaPinfo(CProduct* product, KeyValues info);

    // Header of the frame kind (0 SYN 'M' CR, 1 SYN 'Y' CR, other none),
    // ':' address ':' for an addressed query, the menu and '!'.
    static std::string buildFrame(int frameKind, const std::string& address, const std::string& menu);

private:
    // One tick reading decides whether time is left and how much: at least
    // 1 ms whenever there is any.
    bool timeLeft(DWORD* remaining) const;
    // Sends and answers the reply record (owned by the caller) or null.
    CMenuData* exchange(const std::string& frame, DWORD timeoutMs, int* result);
    // A hub test's query to the device itself with what is left of the
    // budget; null without a channel, without time left or without reply.
    CMenuData* hubQuery(const char* method, const char* menu);
    // A hub listing count, no larger than the listing could describe.
    static int listingCount(const KeyValues& info, const std::string& key, std::string* text);
    static bool appendListedDevice(CHubProduct* hub, const KeyValues& info, const std::string& prefix);
    // The devices devicePrefix1.. that the count under countKey announces.
    static void appendHubDevices(CHubProduct* hub, const KeyValues& info, const std::string& countKey,
                                 const std::string& devicePrefix, const char* method);

    SyncMenuChannel* m_channel = nullptr;
    DWORD m_budget = 0;
    DWORD m_startTick = 0;
    bool m_timedOut = false;
};
