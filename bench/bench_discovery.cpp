// Discovery costs: the time one serial search takes over 8 simulated RS-232
// scanners (9600 baud, wire time on) on 8 ports, with the sum of the probe
// windows the search allows itself as a counter to hold it against, and the
// latency from a serial scanner dropping its modem lines to its disconnect
// monitor's callback.
#include "api/CDiscoveryTemplate.h"
#include "discovery/CDevice.h"
#include "discovery/CSerialDeviceEnumerator.h"
#include "discovery/CSerialDisconnectMonitor.h"
#include "ports/CSerialPort.h"

#include "platform/serial.h"

#include "simulator/identity_model.h"
#include "simulator/serial_model.h"
#include "simulator/virtual_serial_port.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <thread>
#include <string>
#include <vector>

namespace {

// A private runtime folder, registry and empty real device tree.
void isolateDiscovery()
{
    static const bool done = [] {
        const auto dir =
            std::filesystem::temp_directory_path() / ("vxbench-discovery-" + std::to_string(std::random_device()()));
        std::filesystem::create_directories(dir / "run");
        std::filesystem::create_directories(dir / "sysfs");
        setenv("VX_RUNTIME_DIR", (dir / "run").c_str(), 1);
        setenv("VX_REGISTRY", (dir / "registry.db").c_str(), 1);
        setenv("VX_SYSFS_ROOT", (dir / "sysfs").c_str(), 1);
        static const std::filesystem::path root = dir;
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(root, ignored);
        });
        return true;
    }();
    (void)done;
}

vxsim::SerialModel scannerModel(const std::string& serial)
{
    vxsim::SerialModel model = *vxsim::findSerialModel("rs232");
    vxsim::IdentityModel identity = *vxsim::findIdentityModel("arch0");
    identity.device.serialNumber = serial;
    model.menu = vxsim::identityMenu(identity);
    return model;
}

void BM_SerialDiscoveryOfEightScanners(benchmark::State& state)
{
    isolateDiscovery();
    std::vector<std::unique_ptr<vxsim::VirtualSerialPort>> ports;
    for (int i = 0; i < 8; ++i) {
        ports.push_back(std::make_unique<vxsim::VirtualSerialPort>(scannerModel("SN-" + std::to_string(i)),
                                                                    "bench-" + std::to_string(i)));
        if (!ports.back()->plug()) {
            state.SkipWithError("cannot plug a simulated port");
            return;
        }
    }
    CDiscoveryTemplate search;
    search.interfaceTypes = {0};
    search.setDefaultValues();
    std::size_t found = 0;
    for (auto _ : state) {
        std::vector<CDevice*> devices;
        CSerialDeviceEnumerator enumerator(&search, &devices, 0);
        benchmark::DoNotOptimize(enumerator.enumerate());
        found = devices.size();
        for (CDevice* device : devices)
            delete device;
    }
    state.counters["found"] = static_cast<double>(found);
    state.counters["baud_rates_tried"] = static_cast<double>(search.baudRates.size());
}
BENCHMARK(BM_SerialDiscoveryOfEightScanners)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

std::atomic<long long> g_calledAt{0};

void onDisconnect(void*, std::string&)
{
    g_calledAt.store(std::chrono::steady_clock::now().time_since_epoch().count());
}

void BM_SerialUnplugToCallback(benchmark::State& state)
{
    isolateDiscovery();
    vxsim::SerialModel model = *vxsim::findSerialModel("rs232");
    model.wireTime = false;
    vxsim::VirtualSerialPort device(model, "bench-monitor");
    if (!device.plug()) {
        state.SkipWithError("cannot plug a simulated port");
        return;
    }
    std::wstring path;
    for (const auto& port : platform::listSerialPorts())
        if (port.devicePath == device.ptyPath()) {
            const std::string text = "\\\\.\\" + port.comName;
            path.assign(text.begin(), text.end());
        }
    CSerialPort port;
    if (port.open(path) != 0) {
        state.SkipWithError("cannot open the simulated port");
        return;
    }
    for (auto _ : state) {
        device.setModemLines(vxsim::kLineCts | vxsim::kLineDsr | vxsim::kLineCarrier);
        g_calledAt.store(0);
        CSerialDisconnectMonitor monitor("BENCH");
        monitor.setCallback(&onDisconnect);
        monitor.startThread(&port);
        const auto dropped = std::chrono::steady_clock::now();
        device.setModemLines(0);
        const auto bound = dropped + std::chrono::seconds(10);
        while (g_calledAt.load() == 0 && std::chrono::steady_clock::now() < bound)
            std::this_thread::yield();
        const long long at = g_calledAt.load();
        if (at == 0) {
            state.SkipWithError("no callback within 10 s");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::duration(at) -
                                                            dropped.time_since_epoch())
                                   .count());
    }
    port.close();
}
BENCHMARK(BM_SerialUnplugToCallback)->Unit(benchmark::kMillisecond)->Iterations(5)->UseManualTime();

}  // namespace
