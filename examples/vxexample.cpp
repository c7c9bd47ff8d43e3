// A user's program on the scanning SDK's facade: finds an RS-232 and a USB
// HID scanner, connects each (the HID one with exclusive access), prints
// its identity and the labels it scans, sends one menu command and prints
// the reply, then shuts data collection down and disconnects. It exits with
// 1 when a scanner was not found, failed, or delivered no label.
#include "api/CConnection.h"
#include "api/CDataCollection.h"
#include "api/CDiscovery.h"
#include "base/CBarcodeData.h"
#include "discovery/CDevice.h"
#include "products/CProduct.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

std::mutex g_printLock;
std::condition_variable g_labelArrived;

// What the data callback is given: whose records these are, and how many
// labels came.
struct Scanner {
    const char* title;
    int labels = 0;  // under g_printLock
};

void onData(void* user, CData* record)
{
    std::unique_ptr<CData> owned(record);
    if (auto* barcode = dynamic_cast<CBarcodeData*>(record)) {
        auto* scanner = static_cast<Scanner*>(user);
        std::lock_guard<std::mutex> lock(g_printLock);
        ++scanner->labels;
        std::printf("%s: label %s\n", scanner->title, barcode->getLabel().c_str());
        g_labelArrived.notify_all();
    }
}

// A reply as text, its control bytes (the ACK status) as <hex>.
std::string printable(const unsigned char* bytes, std::size_t length)
{
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "<%02X>", bytes[i]);
        text += bytes[i] >= 0x20 && bytes[i] < 0x7F ? std::string(1, static_cast<char>(bytes[i])) : hex;
    }
    return text;
}

bool runOne(CDevice* device, const char* title)
{
    const CProduct* product = device->product;
    std::printf("%s: %s at %s, serial %s\n", title, product != nullptr ? product->name.c_str() : "?",
                device->portName.c_str(), product != nullptr ? product->serialNumber.c_str() : "?");
    CConnection connection;
    connection.initialize();
    HANDLE handle = nullptr;
    std::string text;
    if (connection.connect(device, &handle, true, false, 10000) != 0) {
        connection.getLastError(text);
        std::printf("%s: connect failed: %s\n", title, text.c_str());
        return false;
    }
    Scanner scanner{title};
    CDataCollection collection;
    bool ok = collection.initialize(&connection, 1, 3000) == 0 && collection.setCallback(&scanner, &onData) == 0;
    if (ok) {
        // Labels arrive on the collection's own thread: wait for the first.
        {
            std::unique_lock<std::mutex> lock(g_printLock);
            g_labelArrived.wait_for(lock, std::chrono::seconds(10), [&] { return scanner.labels > 0; });
        }
        int result = -1;
        std::unique_ptr<CMenuData> reply(collection.sendMenuCmdSync(&result, "\x16M\rREV_SW?!", 3000));
        std::lock_guard<std::mutex> lock(g_printLock);
        if (scanner.labels == 0)
            std::printf("%s: no label scanned\n", title);
        if (reply != nullptr)
            std::printf("%s: reply %s\n", title, printable(reply->getData(), reply->getLength()).c_str());
        else
            std::printf("%s: menu command failed with %d\n", title, result);
        ok = result == 0 && scanner.labels > 0;
    } else {
        collection.getLastError(text);
        std::printf("%s: data collection failed: %s\n", title, text.c_str());
    }
    collection.shutDown();
    return connection.disconnect() == 0 && ok;
}

}  // namespace

int main()
{
    CDiscovery discovery;
    discovery.initialize();
    bool ok = true;
    for (auto [kinds, title] : {std::pair<std::vector<int>, const char*>{{0}, "RS-232"}, {{2}, "USB HID"}}) {
        CDiscoveryTemplate search;
        search.interfaceTypes = kinds;
        std::vector<CDevice*> devices;
        if (discovery.enumerate(search, &devices, 30000) != 0 || devices.empty()) {
            std::string text;
            discovery.getLastError(text);
            std::printf("%s: no scanner found (%s)\n", title, text.c_str());
            ok = false;
        } else {
            ok = runOne(devices.front(), title) && ok;
        }
        for (CDevice* device : devices)
            delete device;
    }
    return ok ? 0 : 1;
}
