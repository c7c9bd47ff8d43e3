// The USB HID device factory: turns one HID interface into a filled
// CUsbHidDevice record. A scanner interface is opened, switched to its
// point-of-sale mode with feature report 254 for the time of the questions
// (and always switched back), checked against the filters and identified;
// keyboard and SurePOS interfaces are recorded without device traffic. It
// also clones a record of another interface of the same scanner, optionally
// verifying the clone against this interface.
#pragma once

#include "discovery/CDeviceFactory.h"
#include "discovery/CUsbHidDevice.h"

#include "ports/CUsbHidBarcodeScanner.h"
#include "ports/HidDeviceInfo.h"

#include <string>

class CUsbHidDeviceFactory : public CDeviceFactory {
public:
    CUsbHidDeviceFactory(const HidDeviceInfo& info, CMenuMemory* menuMemory = nullptr);
    ~CUsbHidDeviceFactory() override;

    // Adopt this already opened handle instead of opening the path.
    void setPortHandle(HANDLE handle) { m_portHandle = handle; }

    // 0 filled, 3 stopped, 4 device lost, 5 refused by a filter, 7 wrong
    // record or information not filled, 9 interface not opened, -1 not a
    // scanner, keyboard or SurePOS interface.
    int createDevice(CDevice*& device) override;
    int checkUsage(PORTINFO* portInfo) override;
    // Clones `source` (HID or serial) into `destination` (HID). Without
    // `copyOnly` the clone is checked against this interface and then
    // describes it. 0, 4 (gone), 5 (refused), 7 (wrong kinds or a hub's
    // sub-product), 9 (present but not opened).
    int copyDevice(CDevice*& source, CDevice*& destination, bool copyOnly);

    void fillUsbHidSetting(CUsbHidDevice* device);
    bool send254Report(int value);
    // True when "VID_" first occurs after position 20 of the upper-cased
    // path: the filter driver's paths carry a longer head.
    static bool isGeneratedByFilterDriver(std::string path);

    int createDeviceByUsbHidBarcodeScanner(CDevice*& device);
    int createDeviceByUsbHidKBD(CDevice*& device);
    int createDeviceByUsbHidIbmSurePos(CDevice*& device);

private:
    int openPort();
    // Switches the point-of-sale mode off and closes the port.
    void release();
    int createWithoutTraffic(CDevice*& device, int interfaceType);
    void prepareFetcher(class CDeviceInfoFetcher& fetcher);

    HANDLE m_portHandle = nullptr;
    HidDeviceInfo m_hidInfo;
    CUsbHidBarcodeScanner m_hidPort;
};
