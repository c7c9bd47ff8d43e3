// Turns a device found by discovery into a product: probes the firmware
// architecture, decides whether the device is a hub, builds a CProduct or a
// CHubProduct with its identity, features and (for a hub) the listed
// sub-products, and attaches it to the device record.
//
// Built on the stack by the device-information filler for one device, given
// the filler's cancel flag and remaining time, asked once (generateProduct)
// and destroyed. Runs on the caller's thread and talks to the device through
// the information fetcher, i.e. the port of the PORTINFO record (borrowed,
// like the device and the reply cache).
#pragma once

#include "CHubProduct.h"
#include "CProduct.h"
#include "FeatureQuery.h"

#include "base/CStopper.h"
#include "discovery/CDevice.h"
#include "discovery/PORTINFO.h"
#include "protocol/CDeviceInfoFetcher.h"
#include "protocol/CDeviceStatusChecker.h"
#include "protocol/CMenuMemory.h"

#include <map>
#include <string>

class CProductFactory : public CStopper, public CDeviceStatusChecker {
public:
    using KeyValues = std::map<std::string, std::string>;

    CProductFactory(CDevice* device, PORTINFO* portInfo, CMenuMemory* menuMemory, int infoLevel);
    ~CProductFactory() override = default;
    CProductFactory(const CProductFactory&) = delete;
    CProductFactory& operator=(const CProductFactory&) = delete;

    // Replaces the device's product pointer (the caller runs it on a device
    // without product) with a new complete product; false when none could
    // be built, when stopped, or when the device stopped responding.
    bool generateProduct();

    // Information level 2: name and serial number only (kind 0).
    bool createQuickQoxProduct();
    bool creatNormalProduct();
    bool creatHubProduct();
    bool creatHubProductPINFO();
    bool creatHubProductRPTSCN();

    bool isHubProduct();
    bool isHubProductViaPINFO(KeyValues info);
    bool isHubProductViaRPTSCN();
    bool isHubProductViaBASLDA();

    // Sent, and not answered with ENQ.
    bool isSupportCOMPID(CProduct* product);
    // ACK (the reply becomes the product's P_INFO text) or NAK.
    bool isSupportPINFO(CProduct* product);
    bool isSupportLSRDF2(CProduct* product);

    bool fillProductArchitecture(CProduct* product);
    void setFeatureViaArchitecture(CProduct* product);
    // The two feature batches.
    void fillProductFeatureSet(CProduct* product);
    void fillProductFeatureSetCustom(CProduct* product, const FeatureQuery* table, int count);
    // Identity from P_INFO, then the single queries for what is missing.
    bool fillProductInfo(CProduct* product);

    bool isHubByPinfo() const { return m_hubByPinfo; }
    bool isHubByRptscn() const { return m_hubByRptscn; }

private:
    // No record, the device is lost (1167), or stopped.
    bool aborted() const;
    // No reply at all came, and the device no longer responds.
    bool disconnected();
    // Deletes the unfinished product and clears the device's pointer.
    bool discard(CProduct* product);
    bool probe(CProduct* product, const char* command, MenuResponse* reply, bool cutThrough);
    // Sent, and not answered with ENQ.
    bool supports(CProduct* product, const char* command);
    // A hub test's query to the device itself, answered with ACK.
    bool hubQueryAnswered(const char* command, const char* method, MenuResponse* reply);
    // Architecture, its features and the identity; false when stopped
    // before the identity was read.
    bool identify(CProduct* product);

    CDevice* m_device;
    PORTINFO* m_portInfo;
    CMenuMemory* m_menuMemory;
    int m_infoLevel;
    CDeviceInfoFetcher m_fetcher;
    std::string m_rptscnReply;
    bool m_hubByPinfo = false;
    bool m_hubByRptscn = false;
};
