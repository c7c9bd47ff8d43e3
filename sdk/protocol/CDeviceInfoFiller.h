// Completes a freshly found device record while discovery runs: the device
// mode (application or boot loader, from the P_INFO reply or else the
// device-type query), a check that a silent device is still there, and the
// product that the product factory builds and attaches.
//
// Built by the device factories for each device they create, on the open
// port's PORTINFO and the factory's reply cache (all borrowed); the creator
// hands on its cancel flag and remaining time before fillDeviceInfo. Runs on
// the enumerating thread; the cancel flag may be set from another one.
#pragma once

#include "CDeviceInfoFetcher.h"
#include "CDeviceStatusChecker.h"
#include "CMenuHandler.h"
#include "CMenuMemory.h"

#include "base/CStopper.h"
#include "discovery/CDevice.h"
#include "discovery/PORTINFO.h"

#include <map>
#include <string>

class CDeviceInfoFiller : public CStopper, public CDeviceStatusChecker {
public:
    CDeviceInfoFiller();
    // `infoLevel` 2 skips the P_INFO probe and the mode query.
    CDeviceInfoFiller(CDevice* device, PORTINFO* portInfo, CMenuMemory* menuMemory, int infoLevel);
    ~CDeviceInfoFiller() override;
    CDeviceInfoFiller(const CDeviceInfoFiller&) = delete;
    CDeviceInfoFiller& operator=(const CDeviceInfoFiller&) = delete;

    // Mode, liveness and product; false on any failure, on a lost device
    // (the record then holds 1167) or when stopped. What was filled before a
    // failure stays.
    bool fillDeviceInfo();
    // The device mode only; a device that does not answer is no failure.
    bool fillDeviceStatus();
    // ACK: the reply's pairs go to `info`; NAK counts as support too.
    bool isSupportPINFO(std::map<std::string, std::string>& info);
    bool isSupportCOMPID();
    // Hands the cancel flag and remaining time to the helpers.
    bool setupFiller();

private:
    // The record exists, the device is not lost, and not stopped.
    bool gate() const;

    CDevice* m_device = nullptr;
    PORTINFO* m_portInfo = nullptr;
    CMenuMemory* m_menuMemory = nullptr;
    int m_infoLevel = 1;
    CDeviceInfoFetcher m_fetcher;
    CMenuHandler m_menuHandler;
    std::string m_pinfoText;
    bool m_supportsPinfo = false;
    std::map<std::string, std::string> m_pinfo;
};
