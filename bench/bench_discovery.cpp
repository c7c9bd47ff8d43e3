// Discovery costs: the time one serial search takes over 8 simulated RS-232
// scanners (9600 baud, wire time on both ways) on 8 ports, held against the
// sum of every pause the search's code asked for (Sleep, on the searching
// thread) and of the wire time of every byte that crossed the 8 lines either
// way, as the simulated scanners counted it (counters "sleep_ms", "wire_ms",
// "anchor_ms", "ratio"); and the latency from a scanner going away to its
// disconnect monitor's callback: a serial scanner dropping its modem lines,
// and a HID scanner being unplugged.
#include "BenchSupport.h"
#include "api/CDiscoveryTemplate.h"
#include "discovery/CDevice.h"
#include "discovery/CSerialDeviceEnumerator.h"
#include "discovery/CSerialDisconnectMonitor.h"
#include "discovery/CUsbHidDisconnectMonitor.h"
#include "ports/CSerialPort.h"
#include "ports/CUsbHidPort.h"

#include "platform/dbt.h"
#include "platform/serial.h"
#include "platform/time.h"

#include "simulator/hid_scanner.h"
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
    vxbench::isolate();
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
    std::vector<double> ratios;
    double totalMs = 0;
    double sleepMs = 0;
    double wireMs = 0;
    auto lineTime = [&] {
        std::chrono::nanoseconds total{0};
        for (const auto& port : ports) {
            const auto line = port->lineTime();
            total += line.toHost + line.fromHost;
        }
        return total;
    };
    for (auto _ : state) {
        std::vector<CDevice*> devices;
        CSerialDeviceEnumerator enumerator(&search, &devices, 0);
        const auto wireBefore = lineTime();
        const std::uint64_t sleptBefore = platform::sleepRequestedOnThisThread();
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(enumerator.enumerate());
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        // Bytes still on their way when the search ended count as well.
        const double slept = static_cast<double>(platform::sleepRequestedOnThisThread() - sleptBefore);
        const double wire = std::chrono::duration<double, std::milli>(lineTime() - wireBefore).count();
        totalMs += ms;
        sleepMs += slept;
        wireMs += wire;
        ratios.push_back(ms / (slept + wire));
        found = devices.size();
        for (CDevice* device : devices)
            delete device;
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["found"] = static_cast<double>(found);
    state.counters["discovery_ms"] = totalMs / iterations;
    state.counters["sleep_ms"] = sleepMs / iterations;
    state.counters["wire_ms"] = wireMs / iterations;
    state.counters["anchor_ms"] = (sleepMs + wireMs) / iterations;
    state.counters["ratio"] = vxbench::percentile(ratios, 0.5);
}
BENCHMARK(BM_SerialDiscoveryOfEightScanners)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

std::atomic<long long> g_calledAt{0};

void onDisconnect(void*, std::string&)
{
    g_calledAt.store(std::chrono::steady_clock::now().time_since_epoch().count());
}

// Seconds from `from` to the disconnect callback; negative when none came
// within 10 s.
double secondsToCallback(std::chrono::steady_clock::time_point from)
{
    const auto bound = from + std::chrono::seconds(10);
    while (g_calledAt.load() == 0 && std::chrono::steady_clock::now() < bound)
        std::this_thread::yield();
    const long long at = g_calledAt.load();
    if (at == 0)
        return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::duration(at) - from.time_since_epoch()).count();
}

void BM_SerialUnplugToCallback(benchmark::State& state)
{
    vxbench::isolate();
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
        const double seconds = secondsToCallback(dropped);
        if (seconds < 0) {
            state.SkipWithError("no callback within 10 s");
            break;
        }
        state.SetIterationTime(seconds);
    }
    port.close();
}
BENCHMARK(BM_SerialUnplugToCallback)->Unit(benchmark::kMillisecond)->Iterations(5)->UseManualTime();

void BM_HidUnplugToCallback(benchmark::State& state)
{
    vxbench::isolate();
    vxsim::HidScanner device(*vxsim::findHidModel("hid-pos"), "bench-hid-monitor");
    const std::string path = device.hostPath();
    for (auto _ : state) {
        if (!device.plug()) {
            state.SkipWithError("cannot plug a simulated HID interface");
            break;
        }
        CUsbHidPort port;
        if (port.open(std::wstring(path.begin(), path.end())) != 0) {
            state.SkipWithError("cannot open the simulated HID interface");
            break;
        }
        g_calledAt.store(0);
        const std::size_t listening = platform::deviceNotificationCount();
        auto monitor = std::make_unique<CUsbHidDisconnectMonitor>(path);
        monitor->setCallback(&onDisconnect);
        monitor->startThread(&port);
        // The monitor listens before the removal it should see.
        const auto ready = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (platform::deviceNotificationCount() == listening && std::chrono::steady_clock::now() < ready)
            std::this_thread::yield();
        const auto unplugged = std::chrono::steady_clock::now();
        device.unplug();
        const double seconds = secondsToCallback(unplugged);
        monitor.reset();
        port.close();
        if (seconds < 0) {
            state.SkipWithError("no callback within 10 s");
            break;
        }
        state.SetIterationTime(seconds);
    }
}
BENCHMARK(BM_HidUnplugToCallback)->Unit(benchmark::kMillisecond)->Iterations(5)->UseManualTime();

}  // namespace
