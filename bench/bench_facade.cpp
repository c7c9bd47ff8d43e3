// The facade's costs with simulated scanners, each figure measured side by
// side with its anchor in the same run.
//
// Scan to callback: an RS-232 scanner at 9600 and at 115200 baud (wire time
// on) and a HID point-of-sale scanner, connected through the facade. Before
// each scan a random pause (0-10 ms), so that scans fall anywhere in the
// receiver's 5 ms cycle. Anchor: the wire time as the simulated scanner
// actually delivered it, from the scan to its last byte (or report) reaching
// the host. Counters: p50 and p99 of scan to callback, of the delivered wire
// time, and of the time beyond it ("over_wire"), in microseconds.
//
// Idle: the process's CPU time per second of one connected, idle scanner
// (serial, HID), less that of the same scanner plugged with nobody
// connected, against a bare loop of the waits the connection's threads are
// prescribed (serial: the receiver's 5 ms pause and the monitor's 5 ms poll
// on two threads; HID: the receiver's 100 ms read time-out and 5 ms pause,
// and the monitor's 5 ms pause) on as many threads. For serial also, for
// information, the bare loop making the two port calls of each cycle as
// well ("vs_bare_port_calls"). Windows alternate in rounds (the connection
// and the bare loop take turns to go first); counters are medians over the
// rounds. And 8 connected RS-232 scanners against 8 times one, in
// alternating windows.
#include "BenchSupport.h"
#include "api/CConnection.h"
#include "api/CDataCollection.h"
#include "api/CDiscovery.h"
#include "api/CDiscoveryTemplate.h"
#include "base/CBarcodeData.h"
#include "discovery/CDevice.h"

#include "platform/file.h"
#include "platform/serial.h"
#include "platform/sync.h"
#include "platform/thread.h"
#include "platform/time.h"

#include "simulator/hid_scanner.h"
#include "simulator/identity_model.h"
#include "simulator/menu_engine.h"
#include "simulator/serial_model.h"
#include "simulator/virtual_serial_port.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <functional>
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

// Discovers the scanners of one interface kind (0 RS-232, 2 HID); the
// caller owns the records.
std::vector<CDevice*> discover(int kind, unsigned baud = 9600)
{
    CDiscovery discovery;
    discovery.initialize();
    CDiscoveryTemplate search;
    search.interfaceTypes = {kind};
    search.baudRates = {static_cast<int>(baud)};
    search.setDefaultValues();
    std::vector<CDevice*> devices;
    discovery.enumerate(search, &devices, 60000);
    return devices;
}

// The facade connected to one device record, collecting labels.
class Link {
public:
    bool open(CDevice* device)
    {
        m_connection.initialize();
        HANDLE handle = nullptr;
        m_open = m_connection.connect(device, &handle, true, false, 10000) == 0 &&
                 m_collection.initialize(&m_connection, 1, 3000) == 0 &&
                 m_collection.setCallback(&arrivals, &Arrivals::callback) == 0;
        return m_open;
    }
    ~Link()
    {
        m_collection.shutDown();
        m_connection.disconnect();
    }

    Arrivals arrivals;

private:
    CConnection m_connection;
    CDataCollection m_collection;
    bool m_open = false;
};

struct Devices {
    std::vector<CDevice*> records;
    ~Devices()
    {
        for (CDevice* device : records)
            delete device;
    }
};

// The catalogue's RS-232 scanner (at `baud`, wire time on) and HID
// point-of-sale scanner, each answering the identity queries.
vxsim::SerialModel serialModel(unsigned baud, const std::string& serial = "S000001")
{
    vxsim::SerialModel model = *vxsim::findSerialModel("rs232");
    model.baudRate = baud;
    vxsim::IdentityModel identity = *vxsim::findIdentityModel("arch0");
    identity.device.serialNumber = serial;
    model.menu = vxsim::identityMenu(identity);
    return model;
}
vxsim::HidModel hidModel()
{
    vxsim::HidModel model = *vxsim::findHidModel("hid-pos");
    model.menu = vxsim::identityMenu(*vxsim::findIdentityModel("arch0"));
    return model;
}

// Labels of one length, so that every scan takes the same wire time.
std::string numberedLabel(int n)
{
    std::string digits = std::to_string(n % 1000);
    return "LABEL" + std::string(3 - digits.size(), '0') + digits;
}

// Connects the facade to the plugged `scanner` (interface kind 0 RS-232,
// 2 HID), then scans one label per iteration after a random pause and
// times it to the callback and to the scanner's last delivery.
template <typename Scanner>
void measureScans(benchmark::State& state, Scanner& scanner, int kind, unsigned baud)
{
    if (!scanner.plug()) {
        state.SkipWithError("cannot plug the simulated scanner");
        return;
    }
    Devices devices{discover(kind, baud)};
    auto link = std::make_unique<Link>();
    if (devices.records.empty() || !link->open(devices.records.front())) {
        state.SkipWithError("the facade did not connect");
        return;
    }
    std::mt19937 random(42);
    std::uniform_int_distribution<int> pauseUs(0, 10000);
    std::vector<double> latencies;
    std::vector<double> wires;
    std::vector<double> beyond;
    int n = 0;
    for (auto _ : state) {
        std::this_thread::sleep_for(std::chrono::microseconds(pauseUs(random)));
        const std::string label = numberedLabel(n++);
        const auto start = Clock::now();
        scanner.scan(label);
        const auto at = link->arrivals.waitFor(label);
        if (!at) {
            state.SkipWithError("a label never reached the callback");
            return;
        }
        const double latency = std::chrono::duration<double, std::micro>(*at - start).count();
        const double wire = std::chrono::duration<double, std::micro>(scanner.deliveredAt() - start).count();
        state.SetIterationTime(latency / 1e6);
        latencies.push_back(latency);
        wires.push_back(wire);
        beyond.push_back(latency - wire);
    }
    state.counters["p50_us"] = vxbench::percentile(latencies, 0.50);
    state.counters["p99_us"] = vxbench::percentile(latencies, 0.99);
    state.counters["wire_p50_us"] = vxbench::percentile(wires, 0.50);
    state.counters["wire_p99_us"] = vxbench::percentile(wires, 0.99);
    state.counters["over_wire_p50_us"] = vxbench::percentile(beyond, 0.50);
    state.counters["over_wire_p99_us"] = vxbench::percentile(beyond, 0.99);
}

void BM_SerialScanToCallback(benchmark::State& state)
{
    vxbench::isolate();
    const auto baud = static_cast<unsigned>(state.range(0));
    vxsim::VirtualSerialPort scanner(serialModel(baud), "bench-facade-serial-" + std::to_string(baud));
    measureScans(state, scanner, 0, baud);
}
BENCHMARK(BM_SerialScanToCallback)
    ->Arg(9600)
    ->Arg(115200)
    ->ArgName("baud")
    ->Iterations(200)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

void BM_HidScanToCallback(benchmark::State& state)
{
    vxbench::isolate();
    vxsim::HidScanner scanner(hidModel(), "bench-facade-hid");
    measureScans(state, scanner, 2, 9600);
}
BENCHMARK(BM_HidScanToCallback)->Iterations(500)->Unit(benchmark::kMillisecond)->UseManualTime();

constexpr auto kWindow = std::chrono::milliseconds(2000);
constexpr int kRounds = 5;
// One idle connection costs only a little more than its bare loop, and a
// window's figure varies by more than that difference on a shared machine:
// more rounds, with the connection and the bare loop taking turns to go
// first, keep the medians steady.
constexpr int kIdleRounds = 11;

// Process CPU milliseconds per second of wall time over one window. The
// window begins a moment after the last change, when what a connection does
// while it is set up (its menu commands, their replies) is over.
double cpuMsPerSecond()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const std::clock_t start = std::clock();
    std::this_thread::sleep_for(kWindow);
    const double cpuMs = 1000.0 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    return cpuMs / std::chrono::duration<double>(kWindow).count();
}

// Threads started like the SDK's, each running `body` until stopped.
class BareLoop {
public:
    BareLoop(int threads, std::function<void()> body) : m_body(std::move(body))
    {
        for (int i = 0; i < threads; ++i)
            m_threads.push_back(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &BareLoop::run, this, 0, nullptr)));
    }
    ~BareLoop()
    {
        m_stop.store(true);
        for (HANDLE thread : m_threads) {
            WaitForSingleObject(thread, INFINITE);
            CloseHandle(thread);
        }
    }

private:
    static unsigned run(void* self)
    {
        auto* loop = static_cast<BareLoop*>(self);
        while (!loop->m_stop.load())
            loop->m_body();
        return 0;
    }
    std::function<void()> m_body;
    std::atomic<bool> m_stop{false};
    std::vector<HANDLE> m_threads;
};

// Sets the three counters from the rounds' windows: the connection's cost,
// the bare loop's, and their ratio.
void reportIdle(benchmark::State& state, const std::vector<double>& connected, const std::vector<double>& bare,
                const std::vector<double>& alone)
{
    std::vector<double> cost;
    std::vector<double> floor;
    std::vector<double> ratio;
    for (std::size_t i = 0; i < connected.size(); ++i) {
        cost.push_back(connected[i] - alone[i]);
        floor.push_back(bare[i] - alone[i]);
        ratio.push_back(floor.back() > 0 ? cost.back() / floor.back() : 0);
    }
    state.counters["cpu_ms_per_s"] = vxbench::percentile(cost, 0.5);
    state.counters["bare_ms_per_s"] = vxbench::percentile(floor, 0.5);
    state.counters["vs_bare"] = vxbench::percentile(ratio, 0.5);
    state.counters["simulator_ms_per_s"] = vxbench::percentile(alone, 0.5);
}

// The serial bare loop again, each cycle also making the two port calls a
// serial connection is prescribed: an immediate read, a modem-status query.
double serialBareLoopWithPortCalls(const std::string& comName)
{
    const std::string path = "\\\\.\\" + comName;
    HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE)
        return 0;
    COMMTIMEOUTS immediate{MAXDWORD, 0, 0, 0, 0};
    SetCommTimeouts(port, &immediate);
    double cpu = 0;
    {
        BareLoop reader(1, [port] {
            unsigned char buffer[4096];
            DWORD count = 0;
            ReadFile(port, buffer, sizeof buffer, &count, nullptr);
            Sleep(5);
        });
        BareLoop monitor(1, [port] {
            DWORD lines = 0;
            GetCommModemStatus(port, &lines);
            Sleep(5);
        });
        cpu = cpuMsPerSecond();
    }
    CloseHandle(port);
    return cpu;
}

void BM_IdleConnectedScanner(benchmark::State& state)
{
    vxbench::isolate();
    const int kind = static_cast<int>(state.range(0));
    std::unique_ptr<vxsim::VirtualSerialPort> serial;
    std::unique_ptr<vxsim::HidScanner> hid;
    bool plugged = false;
    if (kind == 0) {
        serial = std::make_unique<vxsim::VirtualSerialPort>(serialModel(9600), "bench-idle-serial");
        plugged = serial->plug();
    } else {
        hid = std::make_unique<vxsim::HidScanner>(hidModel(), "bench-idle-hid");
        plugged = hid->plug();
    }
    Devices devices{discover(kind)};
    if (!plugged || devices.records.empty()) {
        state.SkipWithError("no simulated scanner found");
        return;
    }
    // The waits the connection's threads are prescribed.
    std::function<void()> receiver = [] { Sleep(5); };
    std::shared_ptr<void> event;
    if (kind != 0) {
        event.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr), [](void* h) { CloseHandle(h); });
        receiver = [handle = event.get()] {
            WaitForSingleObject(handle, 100);
            Sleep(5);
        };
    }
    std::vector<double> alone, connected, bare, withPortCalls;
    const auto measureConnected = [&] {
        Link link;
        if (!link.open(devices.records.front()))
            return false;
        connected.push_back(cpuMsPerSecond());
        return true;
    };
    const auto measureBare = [&] {
        BareLoop loop(1, receiver);
        BareLoop monitor(1, [] { Sleep(5); });
        bare.push_back(cpuMsPerSecond());
    };
    for (auto _ : state) {
        for (int round = 0; round < kIdleRounds; ++round) {
            alone.push_back(cpuMsPerSecond());
            if (round % 2 == 1)
                measureBare();
            if (!measureConnected()) {
                state.SkipWithError("the facade did not connect");
                return;
            }
            if (round % 2 == 0)
                measureBare();
            if (kind == 0)
                withPortCalls.push_back(serialBareLoopWithPortCalls(devices.records.front()->portName));
        }
        state.SetIterationTime(std::chrono::duration<double>(kWindow).count() * 4 * kIdleRounds);
    }
    reportIdle(state, connected, bare, alone);
    if (kind == 0) {
        // Informative: the same loop making the port calls the receiver and
        // the monitor are prescribed (an immediate read, a modem-status
        // query) each cycle, straight on the platform.
        // "port_calls_vs_bare" is that loop against the bare one: what the
        // two calls alone add to the sleeps on this machine, the least any
        // connection could cost against the bare loop.
        std::vector<double> cost, ratio, callsAlone;
        for (std::size_t i = 0; i < withPortCalls.size(); ++i) {
            cost.push_back(withPortCalls[i] - alone[i]);
            ratio.push_back(cost.back() > 0 ? (connected[i] - alone[i]) / cost.back() : 0);
            const double sleepsOnly = bare[i] - alone[i];
            callsAlone.push_back(sleepsOnly > 0 ? cost.back() / sleepsOnly : 0);
        }
        state.counters["bare_port_calls_ms_per_s"] = vxbench::percentile(cost, 0.5);
        state.counters["vs_bare_port_calls"] = vxbench::percentile(ratio, 0.5);
        state.counters["port_calls_vs_bare"] = vxbench::percentile(callsAlone, 0.5);
    }
}
BENCHMARK(BM_IdleConnectedScanner)
    ->Arg(0)
    ->Arg(2)
    ->ArgName("kind")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

// Eight connected RS-232 scanners against eight times one.
void BM_IdleEightScannersAgainstOne(benchmark::State& state)
{
    vxbench::isolate();
    constexpr int kScanners = 8;
    std::vector<std::unique_ptr<vxsim::VirtualSerialPort>> scanners;
    for (int i = 0; i < kScanners; ++i) {
        scanners.push_back(std::make_unique<vxsim::VirtualSerialPort>(serialModel(9600, "SN-" + std::to_string(i)),
                                                                       "bench-eight-" + std::to_string(i)));
        if (!scanners.back()->plug()) {
            state.SkipWithError("cannot plug a simulated scanner");
            return;
        }
    }
    Devices devices{discover(0)};
    if (devices.records.size() != kScanners) {
        state.SkipWithError("not every simulated scanner was found");
        return;
    }
    std::vector<double> alone, one, eight;
    for (auto _ : state) {
        for (int round = 0; round < kRounds; ++round) {
            alone.push_back(cpuMsPerSecond());
            std::vector<std::unique_ptr<Link>> links;
            for (int i = 0; i < kScanners; ++i) {
                links.push_back(std::make_unique<Link>());
                if (!links.back()->open(devices.records[static_cast<std::size_t>(i)])) {
                    state.SkipWithError("the facade did not connect");
                    return;
                }
                if (i == 0)
                    one.push_back(cpuMsPerSecond());
            }
            eight.push_back(cpuMsPerSecond());
        }
        state.SetIterationTime(std::chrono::duration<double>(kWindow).count() * 3 * kRounds);
    }
    std::vector<double> oneCost, eightCost, ratio;
    for (std::size_t i = 0; i < alone.size(); ++i) {
        oneCost.push_back(one[i] - alone[i]);
        eightCost.push_back(eight[i] - alone[i]);
        ratio.push_back(oneCost.back() > 0 ? eightCost.back() / oneCost.back() : 0);
    }
    state.counters["one_ms_per_s"] = vxbench::percentile(oneCost, 0.5);
    state.counters["eight_ms_per_s"] = vxbench::percentile(eightCost, 0.5);
    state.counters["eight_vs_one"] = vxbench::percentile(ratio, 0.5);
}
BENCHMARK(BM_IdleEightScannersAgainstOne)->Iterations(1)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace
