// Scan to DataEvent at a host's callback through the service object's
// exported interface (type 1), for an RS-232 scanner at 115200 baud and a
// HID point-of-sale scanner; the facade's own scan to callback
// (bench_facade.cpp) runs in the same program as its anchor. Before each
// scan a random pause (0-10 ms). Counters: p50 and p99 of scan to
// DataEvent and of the wire time the scanner delivered, in microseconds.
#include "BenchSupport.h"

#include "CScannerWrapper.h"

#include "simulator/hid_scanner.h"
#include "simulator/identity_model.h"
#include "simulator/serial_model.h"
#include "simulator/virtual_serial_port.h"

#include "platform/serial.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct DataEvents {
    std::mutex mutex;
    std::condition_variable changed;
    int count = 0;
    Clock::time_point last;

    static DataEvents& get()
    {
        static DataEvents events;
        return events;
    }
    static void onData(long)
    {
        DataEvents& self = get();
        std::lock_guard lock(self.mutex);
        ++self.count;
        self.last = Clock::now();
        self.changed.notify_all();
    }
    bool waitBeyond(int seen, Clock::time_point& at)
    {
        std::unique_lock lock(mutex);
        const bool arrived = changed.wait_for(lock, std::chrono::seconds(10), [&] { return count > seen; });
        at = last;
        return arrived;
    }
};

std::string comNameOf(const vxsim::VirtualSerialPort& port)
{
    for (const auto& listed : platform::listSerialPorts())
        if (listed.devicePath == port.ptyPath())
            return listed.comName;
    return {};
}

template <typename Scanner>
void measureDataEvents(benchmark::State& state, Scanner& scanner, const std::string& port)
{
    CScannerWrapper::ScannerInit(1, "0", "", "1", "0", "", "", "0", "2000");
    CScannerWrapper::Set_DataEventFP(&DataEvents::onData);
    if (CScannerWrapper::ScannerOpenService("BenchScanner", "False", port.c_str(), "", "", "0", "0") != 0 ||
        CScannerWrapper::ScannerClaimDevice(10000) != 0 || CScannerWrapper::ScannerSetPropertyNumber(3, 1) != 0) {
        state.SkipWithError("the service object did not open, claim and enable the scanner");
        CScannerWrapper::ScannerReleaseInstance();
        return;
    }
    std::mt19937 random(42);
    std::uniform_int_distribution<int> pauseUs(0, 10000);
    std::vector<double> latencies;
    std::vector<double> wires;
    DataEvents& events = DataEvents::get();
    for (auto _ : state) {
        CScannerWrapper::ScannerSetPropertyNumber(2, 1);
        std::this_thread::sleep_for(std::chrono::microseconds(pauseUs(random)));
        int seen = 0;
        {
            std::lock_guard lock(events.mutex);
            seen = events.count;
        }
        const auto start = Clock::now();
        scanner.scan("LABEL123");
        Clock::time_point at;
        if (!events.waitBeyond(seen, at)) {
            state.SkipWithError("a label never became a DataEvent");
            break;
        }
        const double latency = std::chrono::duration<double, std::micro>(at - start).count();
        state.SetIterationTime(latency / 1e6);
        latencies.push_back(latency);
        wires.push_back(std::chrono::duration<double, std::micro>(scanner.deliveredAt() - start).count());
    }
    CScannerWrapper::ScannerCloseService();
    CScannerWrapper::ScannerReleaseInstance();
    if (latencies.empty())
        return;
    state.counters["p50_us"] = vxbench::percentile(latencies, 0.50);
    state.counters["p99_us"] = vxbench::percentile(latencies, 0.99);
    state.counters["wire_p50_us"] = vxbench::percentile(wires, 0.50);
    state.counters["wire_p99_us"] = vxbench::percentile(wires, 0.99);
}

void BM_SerialScanToDataEvent(benchmark::State& state)
{
    vxbench::isolate();
    vxsim::SerialModel model = *vxsim::findSerialModel("rs232");
    model.baudRate = 115200;
    model.menu = vxsim::identityMenu(*vxsim::findIdentityModel("arch0"));
    vxsim::VirtualSerialPort scanner(model, "bench-so-serial");
    if (!scanner.plug()) {
        state.SkipWithError("cannot plug the simulated scanner");
        return;
    }
    measureDataEvents(state, scanner, comNameOf(scanner));
}
BENCHMARK(BM_SerialScanToDataEvent)->Iterations(200)->Unit(benchmark::kMillisecond)->UseManualTime();

void BM_HidScanToDataEvent(benchmark::State& state)
{
    vxbench::isolate();
    vxsim::HidModel model = *vxsim::findHidModel("hid-pos");
    model.menu = vxsim::identityMenu(*vxsim::findIdentityModel("arch0"));
    model.product = "Varnex Scanner";
    vxsim::HidScanner scanner(model, "bench-so-hid");
    if (!scanner.plug()) {
        state.SkipWithError("cannot plug the simulated scanner");
        return;
    }
    measureDataEvents(state, scanner, "HID1");
}
BENCHMARK(BM_HidScanToDataEvent)->Iterations(500)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace
