// Two other applications search for scanners at the same moment: each finds
// every scanner that no connection holds, although the other one has each
// port open for a while to question it; a scanner that a connection in this
// process holds stays out of both lists.
#include "ApiFixture.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <thread>

using namespace vxtest;

namespace {

// What one peer printed.
struct PeerRun {
    int result = -1;
    long long began = 0;
    long long ended = 0;
    std::vector<std::string> ports;  // sorted
};

class ConcurrentDiscoveryTest : public ApiTest {
protected:
    void SetUp() override
    {
        for (int i = 0; i < 3; ++i) {
            const std::string id = "serial-" + std::to_string(i);
            m_expected.push_back(comNameOf(plugSerial("rs232", id, "SERIAL" + std::to_string(i), "SN-" + id)));
        }
        for (int i = 0; i < 2; ++i) {
            const std::string id = "hid-" + std::to_string(i);
            m_expected.push_back(plugHid(hidScannerModel("hid-pos", "HID" + std::to_string(i), "SN-" + id), id).hostPath());
        }
        std::sort(m_expected.begin(), m_expected.end());
    }

    // Starts two peers, each in a folder of its own, lets both begin their
    // searches at once when both wait for the sign, and collects what they
    // printed.
    std::vector<PeerRun> runTwoPeersAtOnce()
    {
        const std::string go = m_startDir.file("go-" + std::to_string(++m_rounds));
        std::vector<FILE*> outputs;
        for (TempDir* dir : {&m_peerDirs[0], &m_peerDirs[1]}) {
            const std::string command = "cd '" + dir->path().string() + "' && exec '" + programDirectory() +
                                        "/vx_discovery_peer' --start-when '" + go + "'";
            outputs.push_back(::popen(command.c_str(), "r"));
            if (outputs.back() == nullptr)
                ADD_FAILURE() << "cannot start " << command;
        }
        for (FILE* output : outputs) {
            if (output == nullptr)
                continue;
            char line[64] = {};
            if (std::fgets(line, sizeof line, output) == nullptr)
                ADD_FAILURE() << "a peer ended before it waited";
            else
                EXPECT_STREQ(line, "waiting\n");
        }
        std::ofstream(go) << "go\n";
        std::vector<PeerRun> runs;
        for (FILE* output : outputs) {
            PeerRun run;
            if (output == nullptr) {
                runs.push_back(run);
                continue;
            }
            char buffer[1024];
            while (std::fgets(buffer, sizeof buffer, output) != nullptr) {
                std::string line(buffer);
                if (!line.empty() && line.back() == '\n')
                    line.pop_back();
                if (line.rfind("result ", 0) == 0)
                    run.result = std::stoi(line.substr(7));
                else if (line.rfind("began ", 0) == 0)
                    run.began = std::stoll(line.substr(6));
                else if (line.rfind("ended ", 0) == 0)
                    run.ended = std::stoll(line.substr(6));
                else if (line.rfind("port ", 0) == 0)
                    run.ports.push_back(line.substr(5));
            }
            EXPECT_EQ(::pclose(output), 0);
            std::sort(run.ports.begin(), run.ports.end());
            runs.push_back(run);
        }
        return runs;
    }

    // Both peers answered success with `expected`, and their searches
    // overlapped in time.
    void expectBothFound(const std::vector<PeerRun>& runs, const std::vector<std::string>& expected, int round)
    {
        ASSERT_EQ(runs.size(), 2u);
        for (const PeerRun& run : runs) {
            EXPECT_EQ(run.result, 0) << "round " << round;
            EXPECT_EQ(run.ports, expected) << "round " << round;
        }
        EXPECT_LT(std::max(runs[0].began, runs[1].began), std::min(runs[0].ended, runs[1].ended))
            << "round " << round << ": the two searches did not overlap";
    }

    std::vector<std::string> m_expected;
    TempDir m_peerDirs[2];
    TempDir m_startDir;
    int m_rounds = 0;
};

TEST_F(ConcurrentDiscoveryTest, BothFindEveryFreeScannerRoundAfterRound)
{
    for (int round = 0; round < 5 && !HasFailure(); ++round)
        expectBothFound(runTwoPeersAtOnce(), m_expected, round);
}

TEST_F(ConcurrentDiscoveryTest, AScannerHeldByAConnectionStaysOutOfBoth)
{
    CDiscovery discovery;
    discovery.initialize();
    ASSERT_EQ(discovery.enumerate(searchTemplate({0, 2}), &m_found.devices, 30000), 0) << lastErrorOf(discovery);
    const std::string held = comNameOf(*m_serial[1]);
    CDevice* device = nullptr;
    for (CDevice* found : m_found.devices)
        if (found->portName == held)
            device = found;
    connectAndCollect(device);
    if (HasFatalFailure())
        return;

    std::vector<std::string> free = m_expected;
    std::erase(free, held);
    expectBothFound(runTwoPeersAtOnce(), free, 0);

    EXPECT_EQ(m_collection.shutDown(), 0) << lastErrorOf(m_collection);
    EXPECT_EQ(m_connection.disconnect(), 0) << lastErrorOf(m_connection);
}

// Two discovery objects of one process, on two threads, begin together.
TEST_F(ConcurrentDiscoveryTest, TwoObjectsOfOneProcessBothFindEveryScanner)
{
    std::atomic<int> ready{0};
    DeviceList lists[2];
    int results[2] = {-1, -1};
    std::vector<std::thread> threads;
    for (int i = 0; i < 2; ++i)
        threads.emplace_back([&, i] {
            CDiscovery discovery;
            discovery.initialize();
            ++ready;
            while (ready.load() < 2)
                std::this_thread::yield();
            results[i] = discovery.enumerate(searchTemplate({0, 2}), &lists[i].devices, 30000);
        });
    for (std::thread& thread : threads)
        thread.join();
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(results[i], 0);
        std::vector<std::string> ports;
        for (const CDevice* device : lists[i].devices)
            ports.push_back(device->portName);
        std::sort(ports.begin(), ports.end());
        EXPECT_EQ(ports, m_expected) << "discovery " << i;
    }
}

}  // namespace
