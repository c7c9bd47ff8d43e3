// How close to its wire time the simulated scanner hands each byte to the
// host. A serial scanner sends 64 bytes at 9600 and at 115200 baud; the
// host, blocked in a read that returns as soon as anything has arrived,
// stamps each read; the lateness of a read is its time less the wire time
// of the last byte it got, counted from the send. A HID scanner sends 32
// reports at its report interval; the lateness of a report is its arrival
// less that of the first, less its slot. Counters are the p50 and p99 of
// the lateness in microseconds: an upper bound on the simulator's own,
// since the host's wake-up is in it; for serial also the lateness of the
// last byte as the simulator itself stamped it when it handed it over.
#include "BenchSupport.h"
#include "TestSupport.h"
#include "ports/CUsbHidPort.h"

#include "platform/file.h"
#include "platform/serial.h"

#include "simulator/hid_scanner.h"
#include "simulator/serial_model.h"
#include "simulator/virtual_serial_port.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

void BM_SimulatorSerialByteLateness(benchmark::State& state)
{
    vxbench::isolate();
    vxsim::SerialModel model = *vxsim::findSerialModel("rs232");
    model.baudRate = static_cast<unsigned>(state.range(0));
    vxsim::VirtualSerialPort device(model, "bench-lateness-" + std::to_string(model.baudRate));
    if (!device.plug()) {
        state.SkipWithError("cannot plug the simulated port");
        return;
    }
    std::string path;
    for (const auto& port : platform::listSerialPorts())
        if (port.devicePath == device.ptyPath())
            path = "\\\\.\\" + port.comName;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    DCB dcb{};
    if (h == INVALID_HANDLE_VALUE || !GetCommState(h, &dcb)) {
        state.SkipWithError("cannot open the simulated port");
        return;
    }
    dcb.BaudRate = model.baudRate;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    COMMTIMEOUTS firstByte{MAXDWORD, MAXDWORD, 1000, 0, 0};
    SetCommState(h, &dcb);
    SetCommTimeouts(h, &firstByte);
    const auto perByte = std::chrono::nanoseconds(vxsim::wireMicroseconds(model, 1000));
    constexpr std::size_t kBytes = 64;
    std::vector<double> lateness;
    std::vector<double> own;  // the simulator's own record of its last byte
    for (auto _ : state) {
        const auto sent = Clock::now();
        device.send(std::vector<unsigned char>(kBytes, 'x'));
        std::size_t got = 0;
        while (got < kBytes) {
            char buffer[kBytes];
            DWORD n = 0;
            if (!ReadFile(h, buffer, static_cast<DWORD>(kBytes - got), &n, nullptr) || n == 0) {
                state.SkipWithError("a byte never came");
                CloseHandle(h);
                return;
            }
            const auto at = Clock::now();
            got += n;
            const auto due = sent + perByte * static_cast<long long>(got);
            lateness.push_back(std::chrono::duration<double, std::micro>(at - due).count());
        }
        const auto due = sent + perByte * static_cast<long long>(kBytes);
        own.push_back(std::chrono::duration<double, std::micro>(device.deliveredAt() - due).count());
    }
    CloseHandle(h);
    state.counters["sim_last_byte_late_p50_us"] = vxbench::percentile(own, 0.50);
    state.counters["sim_last_byte_late_p99_us"] = vxbench::percentile(own, 0.99);
    state.counters["late_p50_us"] = vxbench::percentile(lateness, 0.50);
    state.counters["late_p99_us"] = vxbench::percentile(lateness, 0.99);
    state.counters["byte_us"] = std::chrono::duration<double, std::micro>(perByte).count();
}
BENCHMARK(BM_SimulatorSerialByteLateness)->Arg(9600)->Arg(115200)->ArgName("baud")->Iterations(30)
    ->Unit(benchmark::kMillisecond);

void BM_SimulatorHidReportLateness(benchmark::State& state)
{
    vxbench::isolate();
    const vxsim::HidModel model = *vxsim::findHidModel("hid-pos");
    vxsim::HidScanner device(model, "bench-lateness-hid");
    if (!device.plug()) {
        state.SkipWithError("cannot plug the simulated HID interface");
        return;
    }
    const std::string path = device.hostPath();
    CUsbHidPort port;
    if (port.open(std::wstring(path.begin(), path.end())) != 0) {
        state.SkipWithError("cannot open the simulated HID interface");
        return;
    }
    port.setTimeout(1000, 500);
    // The interface takes the host's connection on its own thread: reports
    // sent before it has would reach nobody.
    if (!vxtest::waitUntil([&] { return device.connections() == 1; })) {
        state.SkipWithError("the simulated HID interface never saw the host connect");
        return;
    }
    const auto interval = std::chrono::microseconds(model.reportIntervalUs);
    constexpr int kReports = 32;
    const std::vector<std::vector<std::uint8_t>> reports(kReports, device.messageReports("X", "]E0", 'd').front());
    std::vector<double> lateness;
    for (auto _ : state) {
        std::thread sender([&] { device.sendPacedReports(reports); });
        Clock::time_point first{};
        for (int i = 0; i < kReports; ++i) {
            unsigned char report[64];
            unsigned int n = 0;
            if (const int code = port.read(report, sizeof report, &n); code != 0) {
                const std::string reason = "a report never came (read gave " + std::to_string(code)
                    + " at report " + std::to_string(i) + ")";
                state.SkipWithError(reason.c_str());
                sender.join();
                return;
            }
            const auto at = Clock::now();
            if (i == 0)
                first = at;
            else
                lateness.push_back(std::chrono::duration<double, std::micro>(at - first - interval * i).count());
        }
        sender.join();
    }
    state.counters["late_p50_us"] = vxbench::percentile(lateness, 0.50);
    state.counters["late_p99_us"] = vxbench::percentile(lateness, 0.99);
    state.counters["interval_us"] = static_cast<double>(model.reportIntervalUs);
}
BENCHMARK(BM_SimulatorHidReportLateness)->Iterations(30)->Unit(benchmark::kMillisecond);

}  // namespace
