// The facade's costs with simulated scanners: the latency from a scan to the
// data callback (p50 and p99 over the run) on an RS-232 scanner at 9600 baud
// with wire time on, held against the label's own wire time ("wire_us"), and
// on a HID point-of-sale scanner, held against its report interval times
// the reports the label takes ("reports_us"); and the CPU time one
// connected, idle scanner costs the host per second of wall time
// ("cpu_ms_per_s"), beyond what the plugged simulated scanner costs alone.
#include "BenchSupport.h"
#include "api/CConnection.h"
#include "api/CDataCollection.h"
#include "api/CDiscovery.h"
#include "api/CDiscoveryTemplate.h"
#include "base/CBarcodeData.h"
#include "discovery/CDevice.h"

#include "simulator/hid_scanner.h"
#include "simulator/identity_model.h"
#include "simulator/menu_engine.h"
#include "simulator/serial_model.h"
#include "simulator/virtual_serial_port.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Labels that reached the callback, with the time each arrived.
struct Arrivals {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::pair<std::string, Clock::time_point>> labels;

    static void callback(void* user, CData* record)
    {
        const auto at = Clock::now();
        std::unique_ptr<CData> owned(record);
        auto* self = static_cast<Arrivals*>(user);
        if (auto* barcode = dynamic_cast<CBarcodeData*>(record)) {
            std::lock_guard lock(self->mutex);
            self->labels.emplace_back(barcode->getLabel(), at);
            self->changed.notify_all();
        }
    }
    // When `label` arrived; nullopt after 10 s without it.
    std::optional<Clock::time_point> waitFor(const std::string& label)
    {
        std::unique_lock lock(mutex);
        std::optional<Clock::time_point> at;
        changed.wait_for(lock, std::chrono::seconds(10), [&] {
            for (const auto& [text, time] : labels)
                if (text == label)
                    at = time;
            return at.has_value();
        });
        return at;
    }
};

// The facade connected to the one scanner of `kind` (0 RS-232, 2 HID).
class FacadeLink {
public:
    bool open(int kind)
    {
        CDiscovery discovery;
        discovery.initialize();
        CDiscoveryTemplate search;
        search.interfaceTypes = {kind};
        search.baudRates = {9600};
        search.setDefaultValues();
        if (discovery.enumerate(search, &m_devices, 30000) != 0 || m_devices.empty())
            return false;
        m_connection.initialize();
        HANDLE handle = nullptr;
        return m_connection.connect(m_devices.front(), &handle, true, false, 10000) == 0 &&
               m_collection.initialize(&m_connection, 1, 3000) == 0 &&
               m_collection.setCallback(&arrivals, &Arrivals::callback) == 0;
    }
    ~FacadeLink()
    {
        m_collection.shutDown();
        m_connection.disconnect();
        for (CDevice* device : m_devices)
            delete device;
    }

    Arrivals arrivals;

private:
    std::vector<CDevice*> m_devices;
    CConnection m_connection;
    CDataCollection m_collection;
};

// The catalogue's RS-232 scanner (9600 baud, wire time on) and HID
// point-of-sale scanner, each answering the identity queries.
vxsim::SerialModel serialModel()
{
    vxsim::SerialModel model = *vxsim::findSerialModel("rs232");
    model.menu = vxsim::identityMenu(*vxsim::findIdentityModel("arch0"));
    return model;
}
vxsim::HidModel hidModel()
{
    vxsim::HidModel model = *vxsim::findHidModel("hid-pos");
    model.menu = vxsim::identityMenu(*vxsim::findIdentityModel("arch0"));
    return model;
}

// Labels of one length (that of kTypicalLabel), so that every scan takes
// the same wire time.
const std::string kTypicalLabel = "LABEL000";
std::string numberedLabel(int n)
{
    std::string digits = std::to_string(n % 1000);
    return "LABEL" + std::string(3 - digits.size(), '0') + digits;
}

double percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

// Plugs `scanner`, connects the facade to it (interface kind 0 RS-232, 2
// HID), then scans one label per iteration and times it to the callback.
template <typename Scanner>
void measureScans(benchmark::State& state, Scanner& scanner, int kind)
{
    if (!scanner.plug()) {
        state.SkipWithError("cannot plug the simulated scanner");
        return;
    }
    FacadeLink link;
    if (!link.open(kind)) {
        state.SkipWithError("the facade did not connect");
        return;
    }
    std::vector<double> latencies;
    int n = 0;
    for (auto _ : state) {
        const std::string label = numberedLabel(n++);
        const auto start = Clock::now();
        scanner.scan(label);
        const auto at = link.arrivals.waitFor(label);
        if (!at) {
            state.SkipWithError("a label never reached the callback");
            return;
        }
        const double seconds = std::chrono::duration<double>(*at - start).count();
        state.SetIterationTime(seconds);
        latencies.push_back(seconds * 1e6);
    }
    state.counters["p50_us"] = percentile(latencies, 0.50);
    state.counters["p99_us"] = percentile(latencies, 0.99);
}

void BM_SerialScanToCallback(benchmark::State& state)
{
    vxbench::isolate();
    const vxsim::SerialModel model = serialModel();
    vxsim::VirtualSerialPort scanner(model, "bench-facade-serial");
    measureScans(state, scanner, 0);
    const auto bytes = vxsim::MenuEngine(model.menu).barcode(kTypicalLabel).size();
    state.counters["wire_us"] = static_cast<double>(vxsim::wireMicroseconds(model, bytes));
    state.counters["baud"] = model.baudRate;
}
BENCHMARK(BM_SerialScanToCallback)->Unit(benchmark::kMillisecond)->Iterations(200)->UseManualTime();

void BM_HidScanToCallback(benchmark::State& state)
{
    vxbench::isolate();
    const vxsim::HidModel model = hidModel();
    vxsim::HidScanner scanner(model, "bench-facade-hid");
    measureScans(state, scanner, 2);
    const auto reports = scanner.messageReports(kTypicalLabel, "]E0", 'd').size();
    state.counters["report_interval_us"] = model.reportIntervalUs;
    state.counters["reports_us"] = static_cast<double>(model.reportIntervalUs * reports);
}
BENCHMARK(BM_HidScanToCallback)->Unit(benchmark::kMillisecond)->Iterations(500)->UseManualTime();

// Process CPU seconds spent over `window` of wall time.
double cpuOver(std::chrono::milliseconds window)
{
    const std::clock_t start = std::clock();
    std::this_thread::sleep_for(window);
    return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

// One connected scanner of the kind in range(0) (0 RS-232, 2 HID), idle:
// the process's CPU time with the facade connected, less the time with the
// simulated scanner plugged but nobody connected.
void BM_IdleCpuPerConnectedScanner(benchmark::State& state)
{
    vxbench::isolate();
    const int kind = static_cast<int>(state.range(0));
    const auto window = std::chrono::milliseconds(3000);
    std::unique_ptr<vxsim::VirtualSerialPort> serial;
    std::unique_ptr<vxsim::HidScanner> hid;
    bool plugged = false;
    if (kind == 0) {
        serial = std::make_unique<vxsim::VirtualSerialPort>(serialModel(), "bench-idle-serial");
        plugged = serial->plug();
    } else {
        hid = std::make_unique<vxsim::HidScanner>(hidModel(), "bench-idle-hid");
        plugged = hid->plug();
    }
    if (!plugged) {
        state.SkipWithError("cannot plug the simulated scanner");
        return;
    }
    double alone = 0;
    double connected = 0;
    for (auto _ : state) {
        alone = cpuOver(window);
        FacadeLink link;
        if (!link.open(kind)) {
            state.SkipWithError("the facade did not connect");
            return;
        }
        connected = cpuOver(window);
        state.SetIterationTime(std::chrono::duration<double>(window).count());
    }
    const double seconds = std::chrono::duration<double>(window).count();
    state.counters["cpu_ms_per_s"] = std::max(0.0, connected - alone) * 1000.0 / seconds;
    state.counters["simulator_cpu_ms_per_s"] = alone * 1000.0 / seconds;
}
BENCHMARK(BM_IdleCpuPerConnectedScanner)
    ->Arg(0)
    ->Arg(2)
    ->ArgName("kind")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseManualTime();

}  // namespace
