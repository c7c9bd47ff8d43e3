// A host program bound to the exported interface, for the tests: its event
// callbacks record what they get, with the thread they ran on, and a
// simulated scanner (serial or USB HID) for the service object to find.
#pragma once

#include "SOFixtures.h"

#include "../sdk/discovery/DiscoveryFixture.h"

#include "COPOSKestrel.h"
#include "CScannerMgr.h"
#include "CScannerWrapper.h"

#include "platform/bstr.h"
#include "platform/thread.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace sotest {

// What the host's callbacks saw: "D:<status>", "E:<rc>,<rce>,<locus>",
// "S:<status>", each with its thread.
struct HostEvents {
    std::mutex mutex;
    std::vector<std::string> events;
    std::vector<DWORD> threads;
    std::atomic<long> errorResponse{12};
    std::function<void(const std::string&)> during;  // runs inside each callback

    static HostEvents& get()
    {
        static HostEvents events;
        return events;
    }
    void add(const std::string& text)
    {
        if (during)
            during(text);
        std::lock_guard lock(mutex);
        events.push_back(text);
        threads.push_back(GetCurrentThreadId());
    }
    std::vector<std::string> list()
    {
        std::lock_guard lock(mutex);
        return events;
    }
    int count(const std::string& text)
    {
        std::lock_guard lock(mutex);
        int n = 0;
        for (const auto& e : events)
            n += e == text ? 1 : 0;
        return n;
    }
    bool waitFor(const std::string& text, int times = 1)
    {
        return vxtest::waitUntil([&] { return count(text) >= times; });
    }
    // Forgets what an earlier test saw and set.
    void reset()
    {
        std::lock_guard lock(mutex);
        events.clear();
        threads.clear();
        errorResponse = 12;
        during = nullptr;
    }
    static void onData(long status) { get().add("D:" + std::to_string(status)); }
    static void onError(long rc, long rce, long locus, long* response)
    {
        get().add("E:" + std::to_string(rc) + "," + std::to_string(rce) + "," + std::to_string(locus));
        *response = get().errorResponse.load();
    }
    static void onStatus(long status) { get().add("S:" + std::to_string(status)); }
};

// The time-out of a claim that should succeed: the claim connects to the
// scanner first, which on a busy machine may take a while; a claim that
// works returns as soon as it is done.
constexpr long kClaimTimeout = 30000;

// A menu rule that answers nothing: the test answers the command by hand,
// so that an exchange stays open as long as it needs.
inline vxsim::MenuRule quietRule(const std::string& command)
{
    vxsim::MenuRule quiet;
    quiet.command = command;
    quiet.echo = false;
    quiet.mark = false;
    quiet.withStatus = false;
    return quiet;
}

enum class Wire { serial, hid };

inline std::string wireName(const ::testing::TestParamInfo<Wire>& info)
{
    return info.param == Wire::serial ? "Serial" : "Hid";
}

// The process's service object as a host drives it, against one simulated
// scanner.
class ScannerHostTest : public vxtest::DiscoveryTest {
protected:
    // A facade of each test's own: it keeps the settings it was first given
    // (its log, the poll period) for its whole life.
    ScannerHostTest()
    {
        COPOSKestrel::ReleaseInstance();
        events.reset();
    }
    ~ScannerHostTest() override
    {
        CScannerWrapper::ScannerCloseService();
        CScannerWrapper::ScannerReleaseInstance();
        COPOSKestrel::ReleaseInstance();
    }

    void plug(Wire wire, const std::function<void(vxsim::MenuModel&)>& menu = {})
    {
        m_wire = wire;
        if (wire == Wire::serial) {
            vxsim::SerialModel model = vxtest::serialScannerModel("rs232-115200", "SIMSERIAL", "SN-SERIAL");
            if (menu)
                menu(model.menu);
            m_serial.push_back(std::make_unique<vxsim::VirtualSerialPort>(model, "so-serial"));
            ASSERT_TRUE(m_serial.back()->plug()) << m_serial.back()->lastError();
            port = vxtest::comNameOf(*m_serial.back());
        } else {
            vxsim::HidModel model = vxtest::hidScannerModel("hid-pos", "SIMHID", "SN-HID");
            model.product = "Varnex Scanner";  // the line-of-business interface
            if (menu)
                menu(model.menu);
            plugHid(model, "so-hid");
            port = "HID1";
        }
    }
    // Initialises the interface as a host (type 1, poll 250 ms) and opens;
    // `debugType` "Default" sends the service object's log to the debugger
    // output.
    long open(const char* poll = "250", const char* debugType = "0")
    {
        CScannerWrapper::ScannerInit(1, debugType, "", "1", "0", "", "", "2", poll);
        CScannerWrapper::Set_DataEventFP(&HostEvents::onData);
        CScannerWrapper::Set_ErrorEventFP(&HostEvents::onError);
        CScannerWrapper::Set_StatusEventFP(&HostEvents::onStatus);
        return CScannerWrapper::ScannerOpenService("SimScanner", "False", port.c_str(), "", "", "0", "0");
    }
    std::string wire()
    {
        if (m_wire == Wire::serial) {
            const auto bytes = m_serial.back()->received();
            return std::string(bytes.begin(), bytes.end());
        }
        return m_hid.back()->receivedData();
    }
    bool waitForWire(const std::string& part, std::size_t from = 0)
    {
        return vxtest::waitUntil([&] { return wire().find(part, from) != std::string::npos; });
    }
    void scan(const std::string& label, char codeId = 'j', const std::string& aim = "C0")
    {
        if (m_wire == Wire::serial)
            m_serial.back()->scan(label, codeId, aim);
        else
            m_hid.back()->scan(label, codeId, aim);
    }
    std::vector<std::string> menuCommands()
    {
        return m_wire == Wire::serial ? m_serial.back()->menuCommands() : m_hid.back()->menuCommands();
    }
    void setMenu(const vxsim::MenuModel& menu)
    {
        if (m_wire == Wire::serial)
            m_serial.back()->setMenuModel(menu);
        else
            m_hid.back()->setMenuModel(menu);
    }
    void setFaults(const vxsim::DataFaults& faults)
    {
        if (m_wire == Wire::serial)
            m_serial.back()->setDataFaults(faults);
        else
            m_hid.back()->setDataFaults(faults);
    }
    static std::string property(long index)
    {
        BSTR text = CScannerWrapper::ScannerGetPropertyString(index);
        std::string narrow = platform::ansiFromBstr(text);
        SysFreeString(text);
        return narrow;
    }
    static long number(long index) { return CScannerWrapper::ScannerGetPropertyNumber(index); }
    static CScannerMgr& mgr() { return *CScannerWrapper::Instance(); }

    HostEvents& events = HostEvents::get();
    std::string port;
    Wire m_wire = Wire::serial;
};

}  // namespace sotest
