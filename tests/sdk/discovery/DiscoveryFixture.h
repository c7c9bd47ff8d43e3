// Simulated scanners for the discovery tests: serial and HID scanners that
// answer the identity queries, a template that looks for every kind, and
// an empty real device tree so that only the simulated devices are listed.
#pragma once

#include "TestSupport.h"

#include "api/CDiscoveryTemplate.h"
#include "discovery/CDevice.h"

#include "platform/serial.h"
#include "simulator/hid_scanner.h"
#include "simulator/identity_model.h"
#include "simulator/virtual_serial_port.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace vxtest {

// A menu that answers the identity queries with this name and serial number.
inline vxsim::MenuModel identityMenuFor(const std::string& name, const std::string& serial,
                                        const std::string& terminalId = "131")
{
    vxsim::IdentityModel identity = *vxsim::findIdentityModel("arch0");
    identity.device.name = name;
    identity.device.description = name;
    identity.device.serialNumber = serial;
    identity.device.terminalId = terminalId;
    return vxsim::identityMenu(identity);
}

inline vxsim::SerialModel serialScannerModel(const std::string& model, const std::string& name,
                                             const std::string& serial)
{
    vxsim::SerialModel copy = *vxsim::findSerialModel(model);
    copy.wireTime = false;
    copy.menu = identityMenuFor(name, serial);
    return copy;
}

inline vxsim::HidModel hidScannerModel(const std::string& model, const std::string& name, const std::string& serial)
{
    vxsim::HidModel copy = *vxsim::findHidModel(model);
    copy.serialNumber = serial;
    copy.menu = identityMenuFor(name, serial);
    copy.reportIntervalUs = 0;
    return copy;
}

// "COMn" of a plugged simulated port.
inline std::string comNameOf(const vxsim::VirtualSerialPort& port)
{
    for (const auto& listed : platform::listSerialPorts())
        if (listed.devicePath == port.ptyPath())
            return listed.comName;
    ADD_FAILURE() << "the simulated port has no COM name";
    return {};
}

// Sync commands (SYN 'C' CR) a simulated serial scanner has received so far.
inline int syncCommands(const vxsim::VirtualSerialPort& scanner)
{
    const auto bytes = scanner.received();
    int count = 0;
    for (std::size_t i = 0; i + 2 < bytes.size(); ++i)
        count += bytes[i] == 0x16 && bytes[i + 1] == 0x43 && bytes[i + 2] == 0x0D ? 1 : 0;
    return count;
}

// Keeps a simulated serial scanner from answering the sync ping until
// `missed` more sync commands have come in (a scanner busy with its
// labels), or until this object goes.
class MissedPings {
public:
    MissedPings(vxsim::VirtualSerialPort& scanner, int missed)
        : m_scanner(scanner)
        , m_until(syncCommands(scanner) + missed)
    {
        scanner.setSilent(true);
        m_thread = std::thread([this] {
            waitUntil([this] { return m_done.load() || syncCommands(m_scanner) >= m_until; });
            m_scanner.setSilent(false);
        });
    }
    ~MissedPings()
    {
        m_done = true;
        m_thread.join();
    }
    MissedPings(const MissedPings&) = delete;
    MissedPings& operator=(const MissedPings&) = delete;

private:
    vxsim::VirtualSerialPort& m_scanner;
    const int m_until;
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

// How long a sync ping waits at 9600 baud for the next byte of its answer
// before it gives up: eight reads 2 ms apart that find nothing (its own
// sleeps running late only make it wait longer).
constexpr auto kPingReplyWindow = std::chrono::milliseconds(16);

// Runs `round` until `rounds` rounds have been judged, and expects every
// judged round to succeed; `round` answers what went wrong, or nothing. On a
// busy machine the simulated scanner can be kept from answering, or its
// bytes held up in the kernel's pty, for longer than a ping waits for its
// answer, and the host then rightly hears nothing: a round that failed while
// the scanner's meter read that late says nothing about the host, and is run
// again (up to three times the rounds in all). A round that failed with the
// scanner on time is judged.
template <typename Round>
void expectEveryRoundSucceeds(vxsim::VirtualSerialPort& scanner, int rounds, Round round)
{
    int judged = 0;
    int succeeded = 0;
    int excused = 0;
    std::chrono::microseconds latest{0};
    for (int run = 0; judged < rounds && run < 3 * rounds; ++run) {
        scanner.startLatenessMeter();
        const std::string failure = round();
        const std::chrono::microseconds late = scanner.longestLateness();
        if (!failure.empty() && late >= kPingReplyWindow) {
            ++excused;
            latest = std::max(latest, late);
            continue;
        }
        ++judged;
        EXPECT_EQ(failure, "") << "round " << run << ", the simulated scanner at most " << late.count()
                               << " us late";
        succeeded += failure.empty() ? 1 : 0;
    }
    if (excused > 0)
        std::printf("%d rounds were run again: they failed while the simulated scanner ran late (up to %lld us)\n",
                    excused, static_cast<long long>(latest.count()));
    ASSERT_EQ(judged, rounds) << excused << " rounds failed while the simulated scanner ran late (up to "
                              << latest.count() << " us): the machine is too busy for this test";
    EXPECT_EQ(succeeded, rounds);
}

// The serial rates the probe tries, short for speed: the catalogue's
// RS-232 scanners answer at 9600.
inline CDiscoveryTemplate searchTemplate(std::vector<int> interfaceTypes)
{
    CDiscoveryTemplate search;
    search.interfaceTypes = std::move(interfaceTypes);
    search.baudRates = {115200, 9600};
    search.setDefaultValues();
    return search;
}

// The result list of one search; owns its records.
struct DeviceList {
    std::vector<CDevice*> devices;
    DeviceList() = default;
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;
    ~DeviceList()
    {
        for (CDevice* device : devices)
            delete device;
    }
};

// Every test sees only the simulated devices: the real device tree is an
// empty folder.
class DiscoveryTest : public ::testing::Test {
protected:
    DiscoveryTest() { ::setenv("VX_SYSFS_ROOT", m_sysfs.path().c_str(), 1); }
    ~DiscoveryTest() override { ::unsetenv("VX_SYSFS_ROOT"); }

    vxsim::VirtualSerialPort& plugSerial(const std::string& model, const std::string& id,
                                         const std::string& name = "SCANNER", const std::string& serial = "")
    {
        m_serial.push_back(std::make_unique<vxsim::VirtualSerialPort>(
            serialScannerModel(model, name, serial.empty() ? "SN-" + id : serial), id));
        EXPECT_TRUE(m_serial.back()->plug()) << m_serial.back()->lastError();
        return *m_serial.back();
    }
    // An RS-232 scanner (9600 baud) whose bytes take their time on the wire.
    vxsim::VirtualSerialPort& plugWired(const std::string& id, const std::string& name = "SCANNER")
    {
        vxsim::SerialModel model = serialScannerModel("rs232", name, "SN-" + id);
        model.wireTime = true;
        m_serial.push_back(std::make_unique<vxsim::VirtualSerialPort>(model, id));
        EXPECT_TRUE(m_serial.back()->plug()) << m_serial.back()->lastError();
        return *m_serial.back();
    }
    vxsim::HidScanner& plugHid(vxsim::HidModel model, const std::string& id)
    {
        m_hid.push_back(std::make_unique<vxsim::HidScanner>(std::move(model), id));
        EXPECT_TRUE(m_hid.back()->plug()) << m_hid.back()->lastError();
        return *m_hid.back();
    }

    TempDir m_sysfs;
    std::vector<std::unique_ptr<vxsim::VirtualSerialPort>> m_serial;
    std::vector<std::unique_ptr<vxsim::HidScanner>> m_hid;
};

}  // namespace vxtest
