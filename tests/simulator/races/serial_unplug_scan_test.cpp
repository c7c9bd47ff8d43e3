// Unplugging a simulated serial scanner while another thread keeps scanning
// on it: the scans never touch the port's wake-up descriptor as it is
// closed (ThreadSanitizer reports it if they do), and the port comes and
// goes cleanly every round.
#include "TestSupport.h"

#include "simulator/serial_model.h"
#include "simulator/virtual_serial_port.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

TEST(SerialUnplugRace, ScansGoOnWhileThePortIsUnplugged)
{
    vxsim::SerialModel model = *vxsim::findSerialModel("rs232");
    model.wireTime = false;
    vxsim::VirtualSerialPort port(model, "unplug-race");
    for (int round = 0; round < 20; ++round) {
        ASSERT_TRUE(port.plug()) << port.lastError();
        std::atomic<bool> stop{false};
        std::atomic<int> scans{0};
        std::thread scanning([&] {
            while (!stop.load()) {
                port.scan("LABEL");
                ++scans;
                std::this_thread::yield();
            }
        });
        // The scanning thread is under way before the unplug begins, and
        // goes on through it and after it.
        ASSERT_TRUE(vxtest::waitUntil([&] { return scans.load() > 0; }));
        const int before = scans.load();
        port.unplug();
        EXPECT_TRUE(vxtest::waitUntil([&] { return scans.load() > before + 1; }));
        stop = true;
        scanning.join();
        EXPECT_FALSE(port.isPlugged());
    }
}

}  // namespace
