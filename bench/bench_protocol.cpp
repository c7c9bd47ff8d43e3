// The protocol pipeline's costs: the stream parser's throughput on a
// recorded stream against a plain copy of the same bytes, the latency from
// the simulated scanner's write to the data callback on a virtual serial
// port (p50 and p99 as counters), and the CPU time an idle connection takes
// per second of wall time.
#include "BenchSupport.h"
#include "base/CBarcodeData.h"
#include "base/CData.h"
#include "ports/CSerialPort.h"
#include "protocol/CDataParser.h"
#include "protocol/CDataProcessor.h"

#include "platform/serial.h"

#include "simulator/menu_engine.h"
#include "simulator/serial_model.h"
#include "simulator/virtual_serial_port.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

// A stream as the scanner sends it: labels in packets, with a menu reply
// now and then, cut into the 4096-byte reads of the receiver.
std::vector<std::vector<unsigned char>> recordedStream()
{
    vxsim::MenuEngine engine;
    std::vector<unsigned char> stream;
    std::mt19937 random(7);
    for (int i = 0; i < 4000; ++i) {
        const std::string label = "LABEL-" + std::to_string(random() % 1000000) + std::string(random() % 40, 'x');
        const auto packet = engine.barcode(label, 'e', "E0");
        stream.insert(stream.end(), packet.begin(), packet.end());
        if (i % 50 == 0) {
            const std::string reply = "DECHDR1\x06!";
            stream.insert(stream.end(), reply.begin(), reply.end());
        }
    }
    std::vector<std::vector<unsigned char>> chunks;
    for (std::size_t at = 0; at < stream.size(); at += 4096)
        chunks.emplace_back(stream.begin() + static_cast<std::ptrdiff_t>(at),
                            stream.begin() + static_cast<std::ptrdiff_t>(std::min(stream.size(), at + 4096)));
    return chunks;
}

std::size_t totalBytes(const std::vector<std::vector<unsigned char>>& chunks)
{
    std::size_t total = 0;
    for (const auto& chunk : chunks)
        total += chunk.size();
    return total;
}

// Hands out queued records as the receiver would.
class QueueReceiver : public CReceiver {
public:
    CData* getQHead() override
    {
        if (m_queue.empty())
            return nullptr;
        CData* record = m_queue.front();
        m_queue.pop_front();
        return record;
    }
    CData* getQAt(std::size_t index) override { return index < m_queue.size() ? m_queue[index] : nullptr; }
    void pushQTail(CData* record) override { m_queue.push_back(record); }
    void shutdown() override {}
    void startThread() override {}
    void threadRoutine() override {}
    ~QueueReceiver() override
    {
        for (CData* record : m_queue)
            delete record;
    }

private:
    std::deque<CData*> m_queue;
};

void countRecord(void* user, CData* record)
{
    ++*static_cast<std::size_t*>(user);
    delete record;
}

void BM_ParserThroughput(benchmark::State& state)
{
    const auto chunks = recordedStream();
    std::size_t records = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QueueReceiver receiver;
        for (const auto& chunk : chunks) {
            auto* record = new CData(static_cast<DWORD>(chunk.size()));
            record->fillData(chunk.data(), static_cast<DWORD>(chunk.size()), 0);
            receiver.pushQTail(record);
        }
        auto parser = std::make_unique<CDataParser>(&receiver);
        parser->setCallback(&records, &countRecord);
        state.ResumeTiming();
        for (std::size_t i = 0; i < chunks.size(); ++i)
            parser->parseData(nullptr);
        state.PauseTiming();
        parser.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * totalBytes(chunks)));
    state.counters["records"] = static_cast<double>(records) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ParserThroughput)->Unit(benchmark::kMillisecond);

void BM_MemcpySameBytes(benchmark::State& state)
{
    const auto chunks = recordedStream();
    std::vector<unsigned char> target(totalBytes(chunks));
    for (auto _ : state) {
        std::size_t at = 0;
        for (const auto& chunk : chunks) {
            std::memcpy(target.data() + at, chunk.data(), chunk.size());
            at += chunk.size();
        }
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * target.size()));
}
BENCHMARK(BM_MemcpySameBytes)->Unit(benchmark::kMillisecond);

// A simulated scanner on a virtual serial port at 115200 (wire time off)
// with a data processor in identify state on the host's side.
struct SerialConnection {
    vxsim::VirtualSerialPort device;
    CSerialPort port;
    std::unique_ptr<CDataProcessor> processor;
    std::mutex mutex;
    std::condition_variable arrived;
    std::size_t records = 0;
    bool ok = false;

    SerialConnection() : device(model(), "bench")
    {
        if (!device.plug())
            return;
        std::wstring path;
        for (const auto& listed : platform::listSerialPorts())
            if (listed.devicePath == device.ptyPath()) {
                const std::string com = "\\\\.\\" + listed.comName;
                path.assign(com.begin(), com.end());
            }
        if (path.empty() || port.open(path) != 0 || port.setup(115200, 8, 0, 0) != 0)
            return;
        processor = std::make_unique<CDataProcessor>(&port, 1, 0, 0, 0);
        std::string error;
        ok = processor->setCallback(this, &SerialConnection::callback, error) == 0;
    }
    ~SerialConnection()
    {
        processor.reset();
        port.close();
    }
    static vxsim::SerialModel model()
    {
        vxsim::SerialModel m = *vxsim::findSerialModel("rs232-115200");
        m.wireTime = false;
        return m;
    }
    static void callback(void* user, CData* record)
    {
        delete record;
        auto* self = static_cast<SerialConnection*>(user);
        std::lock_guard lock(self->mutex);
        ++self->records;
        self->arrived.notify_all();
    }
};

void BM_ScanToCallbackLatency(benchmark::State& state)
{
    vxbench::isolate();
    SerialConnection connection;
    if (!connection.ok) {
        state.SkipWithError("no simulated serial connection");
        return;
    }
    std::vector<double> latencies;
    for (auto _ : state) {
        std::unique_lock lock(connection.mutex);
        const std::size_t before = connection.records;
        const auto start = std::chrono::steady_clock::now();
        connection.device.scan("0123456789012");
        if (!connection.arrived.wait_for(lock, std::chrono::seconds(5),
                                         [&] { return connection.records > before; })) {
            state.SkipWithError("a label did not arrive");
            return;
        }
        latencies.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(latencies.begin(), latencies.end());
    auto percentile = [&](double p) {
        return latencies[std::min(latencies.size() - 1, static_cast<std::size_t>(p * latencies.size()))];
    };
    state.counters["p50_us"] = percentile(0.50);
    state.counters["p99_us"] = percentile(0.99);
}
BENCHMARK(BM_ScanToCallbackLatency)->Iterations(2000)->Unit(benchmark::kMicrosecond);

void BM_IdleConnectionCpuPerSecond(benchmark::State& state)
{
    vxbench::isolate();
    SerialConnection connection;
    if (!connection.ok) {
        state.SkipWithError("no simulated serial connection");
        return;
    }
    double cpuMs = 0;
    for (auto _ : state) {
        const std::clock_t before = std::clock();
        std::this_thread::sleep_for(std::chrono::seconds(1));
        cpuMs += 1000.0 * static_cast<double>(std::clock() - before) / CLOCKS_PER_SEC;
    }
    state.counters["cpu_ms_per_s"] = cpuMs / static_cast<double>(state.iterations());
}
BENCHMARK(BM_IdleConnectionCpuPerSecond)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
