// The stream parser's throughput, each pass timed side by side, in the same
// iteration, with its anchors over the same bytes:
//  - "floor": the records the parser delivers for that stream, made,
//    filled and handed to the same callback, which deletes them, with no
//    parsing at all;
//  - "memcpy": a plain copy of the stream's bytes, chunk by chunk.
// Two streams: labels as a scanner sends them (4000 packets and a menu
// reply every 50), and images (16 packets of 40 KB), both cut into the
// receiver's 4096-byte reads. Counters: each pass's throughput, the ratios
// "vs_floor" and "vs_memcpy" (parser throughput over the anchor's), all
// medians over the iterations, and the page faults of one parser pass.
#include "BenchSupport.h"
#include "base/CBarcodeData.h"
#include "base/CData.h"
#include "protocol/CDataParser.h"
#include "protocol/CImageData.h"
#include "protocol/CMenuData.h"

#include "simulator/menu_engine.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// What the parser makes of one item of the stream, for the floor.
struct Item {
    int kind;           // CData kind
    std::size_t start;  // the record's bytes in the stream
    std::size_t length;
};

struct Stream {
    std::vector<unsigned char> bytes;
    std::vector<Item> items;
    std::vector<std::pair<std::size_t, std::size_t>> chunks;  // start, length
};

void cut(Stream& stream)
{
    for (std::size_t at = 0; at < stream.bytes.size(); at += 4096)
        stream.chunks.emplace_back(at, std::min<std::size_t>(4096, stream.bytes.size() - at));
}

// Labels in packets, with a menu reply now and then.
Stream labelStream()
{
    vxsim::MenuEngine engine;
    Stream stream;
    std::mt19937 random(7);
    for (int i = 0; i < 4000; ++i) {
        const std::string label = "LABEL-" + std::to_string(random() % 1000000) + std::string(random() % 40, 'x');
        const auto packet = engine.barcode(label, 'e', "E0");
        // The barcode record: the payload after "MSGGET" and its 4 header bytes.
        stream.items.push_back({CData::kBarcode, stream.bytes.size() + 7 + 10, packet.size() - 7 - 10});
        stream.bytes.insert(stream.bytes.end(), packet.begin(), packet.end());
        if (i % 50 == 0) {
            const std::string reply = "DECHDR1\x06!";
            stream.items.push_back({CData::kMenuResponse, stream.bytes.size(), reply.size()});
            stream.bytes.insert(stream.bytes.end(), reply.begin(), reply.end());
        }
    }
    cut(stream);
    return stream;
}

// Sixteen images of 40 KB in image packets.
Stream imageStream()
{
    vxsim::MenuEngine engine;
    Stream stream;
    std::mt19937 random(11);
    for (int i = 0; i < 16; ++i) {
        std::string image(40 * 1024, '\0');
        for (char& c : image)
            c = static_cast<char>(random());
        const auto packet = engine.image(image, 3);
        // "IMGSHP", the format digit, a NUL and the GS byte precede the image.
        stream.items.push_back({CData::kImage, stream.bytes.size() + 7 + 9, image.size()});
        stream.bytes.insert(stream.bytes.end(), packet.begin(), packet.end());
    }
    cut(stream);
    return stream;
}

void deleteRecord(void* user, CData* record)
{
    ++*static_cast<std::size_t*>(user);
    delete record;
}

// The records of the stream made as the parser makes them, filled, and
// handed to the callback.
void floorPass(const Stream& stream, std::size_t* delivered)
{
    for (const Item& item : stream.items) {
        const unsigned char* bytes = stream.bytes.data() + item.start;
        const auto length = static_cast<DWORD>(item.length);
        CData* record = nullptr;
        if (item.kind == CData::kBarcode) {
            auto* barcode = new CBarcodeData(bytes, length);
            barcode->parseData();
            record = barcode;
        } else if (item.kind == CData::kImage) {
            auto* image = new CImageData(bytes, length);
            image->setFormat(3);
            record = image;
        } else {
            auto* reply = new CMenuData(bytes, length);
            reply->parse();
            record = reply;
        }
        deleteRecord(delivered, record);
    }
}

// The calling thread's minor page faults so far (the tenth field of its
// stat line; the second, its name in parentheses, holds no blank here).
long minorFaults()
{
    std::ifstream stat("/proc/thread-self/stat");
    std::string field;
    for (int i = 0; i < 10 && stat >> field; ++i) {
    }
    return std::atol(field.c_str());
}

class Receiver : public CReceiver {
public:
    ~Receiver() override
    {
        for (CData* record : m_queue)
            delete record;
    }
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

private:
    std::deque<CData*> m_queue;
};

void measureParser(benchmark::State& state, const Stream& stream)
{
    std::vector<unsigned char> target(stream.bytes.size());
    std::memset(target.data(), 0, target.size());
    // Per iteration; medians keep a pass that the machine's load preempted
    // from weighing on the figures.
    std::vector<double> parserSeconds;
    std::vector<double> floorSeconds;
    std::vector<double> memcpySeconds;
    std::vector<double> vsFloor;
    std::vector<double> vsMemcpy;
    long faults = 0;
    std::size_t parsed = 0;
    std::size_t made = 0;
    // One connection's parser over the whole run, as on a connection.
    Receiver receiver;
    CDataParser parser(&receiver);
    parser.setCallback(&parsed, &deleteRecord);
    for (auto _ : state) {
        // The receiver's reads, as it queues them (not timed: the receiver's
        // cost, not the parser's).
        for (const auto& [start, length] : stream.chunks)
            receiver.pushQTail(new CData(stream.bytes.data() + start, static_cast<DWORD>(length)));

        const long faultsBefore = minorFaults();
        auto start = Clock::now();
        for (std::size_t i = 0; i < stream.chunks.size(); ++i)
            parser.parseData(nullptr);
        const double parsing = std::chrono::duration<double>(Clock::now() - start).count();
        faults += minorFaults() - faultsBefore;

        start = Clock::now();
        floorPass(stream, &made);
        const double floor = std::chrono::duration<double>(Clock::now() - start).count();

        start = Clock::now();
        for (const auto& [from, length] : stream.chunks)
            std::memcpy(target.data() + from, stream.bytes.data() + from, length);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
        const double copy = std::chrono::duration<double>(Clock::now() - start).count();

        parserSeconds.push_back(parsing);
        floorSeconds.push_back(floor);
        memcpySeconds.push_back(copy);
        vsFloor.push_back(floor / parsing);
        vsMemcpy.push_back(copy / parsing);
        state.SetIterationTime(parsing);
    }
    const double iterations = static_cast<double>(state.iterations());
    const double megabytes = static_cast<double>(stream.bytes.size()) / 1e6;
    state.SetBytesProcessed(static_cast<std::int64_t>(stream.bytes.size() * state.iterations()));
    state.counters["records"] = static_cast<double>(parsed) / iterations;
    state.counters["floor_records"] = static_cast<double>(made) / iterations;
    state.counters["parser_MBps"] = megabytes / vxbench::percentile(parserSeconds, 0.5);
    state.counters["floor_MBps"] = megabytes / vxbench::percentile(floorSeconds, 0.5);
    state.counters["memcpy_MBps"] = megabytes / vxbench::percentile(memcpySeconds, 0.5);
    state.counters["vs_floor"] = vxbench::percentile(vsFloor, 0.5);
    state.counters["vs_memcpy"] = vxbench::percentile(vsMemcpy, 0.5);
    state.counters["faults_per_pass"] = static_cast<double>(faults) / iterations;
}

void BM_ParserLabels(benchmark::State& state)
{
    static const Stream stream = labelStream();
    measureParser(state, stream);
}
BENCHMARK(BM_ParserLabels)->Unit(benchmark::kMicrosecond)->UseManualTime();

void BM_ParserImages(benchmark::State& state)
{
    static const Stream stream = imageStream();
    measureParser(state, stream);
}
BENCHMARK(BM_ParserImages)->Unit(benchmark::kMicrosecond)->UseManualTime();

}  // namespace
