// Simulated scanners behind the SDK facade: discovery finds them, a
// connection opens them, a data collection delivers their records to a
// sink that tests wait on.
#pragma once

#include "../discovery/DiscoveryFixture.h"

#include "api/CConnection.h"
#include "api/CDataCollection.h"
#include "api/CDiscovery.h"
#include "base/CBarcodeData.h"
#include "base/CData.h"
#include "discovery/CSerialDevice.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vxtest {

// What reached a data callback: a barcode as its label, any other record as
// "<kind>:" and its bytes.
struct RecordSink {
    std::mutex mutex;
    std::vector<std::string> records;

    static void callback(void* user, CData* record)
    {
        std::unique_ptr<CData> owned(record);
        auto* sink = static_cast<RecordSink*>(user);
        std::string text;
        if (auto* barcode = dynamic_cast<CBarcodeData*>(record))
            text = barcode->getLabel();
        else
            text = std::to_string(record->getType()) + ":" +
                   std::string(reinterpret_cast<const char*>(record->getData()), record->getLength());
        std::lock_guard<std::mutex> lock(sink->mutex);
        sink->records.push_back(text);
    }
    std::vector<std::string> snapshot()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return records;
    }
    bool has(const std::string& text)
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (const auto& record : records)
            if (record == text)
                return true;
        return false;
    }
    bool hasPrefix(const std::string& prefix)
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (const auto& record : records)
            if (record.rfind(prefix, 0) == 0)
                return true;
        return false;
    }
};

inline std::string lastErrorOf(CDiscovery& object)
{
    std::string text;
    object.getLastError(text);
    return text;
}
inline std::string lastErrorOf(CConnection& object)
{
    std::string text;
    object.getLastError(text);
    return text;
}
inline std::string lastErrorOf(CDataCollection& object)
{
    std::string text;
    object.getLastError(text);
    return text;
}

// A connectible serial record of this kind on this port: 9600 baud 8N1,
// the line-of-business interface, not behind the filter driver.
inline std::unique_ptr<CSerialDevice> serialRecord(int interfaceType, const std::string& port)
{
    auto device = std::make_unique<CSerialDevice>();
    device->portName = port;
    device->interfaceType = interfaceType;
    device->interfaceUsage = EIU_LOB;
    device->fromFilterDriver = 0;
    device->connectible = true;
    device->baudRate = 9600;
    device->dataBits = 8;
    device->parity = 0;
    device->stopBits = 0;
    return device;
}

inline std::string menuFrame(const std::string& command) { return std::string("\x16M\r") + command; }

// The reply text of a menu record.
inline std::string replyText(const CMenuData* reply)
{
    return reply == nullptr ? std::string()
                            : std::string(reinterpret_cast<const char*>(reply->getData()), reply->getLength());
}

class ApiTest : public DiscoveryTest {
protected:
    // Discovers the one device of these kinds; the list owns it.
    CDevice* discoverOne(std::vector<int> kinds)
    {
        CDiscovery discovery;
        discovery.initialize();
        int result = discovery.enumerate(searchTemplate(std::move(kinds)), &m_found.devices, 30000);
        EXPECT_EQ(result, 0) << lastErrorOf(discovery);
        EXPECT_EQ(m_found.devices.size(), 1u);
        return m_found.devices.empty() ? nullptr : m_found.devices.back();
    }
    // Connects the device and starts collecting into m_sink.
    void connectAndCollect(CDevice* device, bool exclusive = true, int mode = 1)
    {
        ASSERT_NE(device, nullptr);
        m_connection.initialize();
        HANDLE handle = nullptr;
        ASSERT_EQ(m_connection.connect(device, &handle, exclusive, false, 10000), 0) << lastErrorOf(m_connection);
        ASSERT_NE(handle, nullptr);
        ASSERT_EQ(m_collection.initialize(&m_connection, mode, 3000), 0) << lastErrorOf(m_collection);
        ASSERT_EQ(m_collection.setCallback(&m_sink, &RecordSink::callback), 0) << lastErrorOf(m_collection);
    }

    DeviceList m_found;
    RecordSink m_sink;
    CConnection m_connection;
    CDataCollection m_collection;
};

}  // namespace vxtest
