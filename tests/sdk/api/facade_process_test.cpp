// Another application searches for scanners while this one is connected to
// some: the ports held here (opened exclusively) stay out of its list, and
// the connected scanners' streams carry nothing of its search: no label is
// lost and no reply to its queries reaches this process.
#include "ApiFixture.h"

#include <atomic>
#include <cstdio>
#include <thread>

using namespace vxtest;

namespace {

// One connected scanner collecting into its own sink.
struct Link {
    CConnection connection;
    CDataCollection collection;
    RecordSink sink;

    void open(CDevice* device)
    {
        ASSERT_NE(device, nullptr);
        connection.initialize();
        HANDLE handle = nullptr;
        ASSERT_EQ(connection.connect(device, &handle, true, false, 10000), 0) << lastErrorOf(connection);
        ASSERT_EQ(collection.initialize(&connection, 1, 3000), 0) << lastErrorOf(collection);
        ASSERT_EQ(collection.setCallback(&sink, &RecordSink::callback), 0) << lastErrorOf(collection);
    }
    void close()
    {
        EXPECT_EQ(collection.shutDown(), 0) << lastErrorOf(collection);
        EXPECT_EQ(connection.disconnect(), 0) << lastErrorOf(connection);
    }
};

class SecondProcessTest : public ApiTest {
protected:
    CDevice* foundAt(const std::string& port)
    {
        for (CDevice* device : m_found.devices)
            if (device->portName == port)
                return device;
        ADD_FAILURE() << "nothing found at " << port;
        return nullptr;
    }

    // Runs the peer program in a folder of its own (its SDK log stays
    // apart) and returns what it printed, lines beginning "result " or
    // "port " only.
    std::vector<std::string> runPeer()
    {
        const std::string command =
            "cd '" + m_peerDir.path().string() + "' && exec '" + programDirectory() + "/vx_discovery_peer'";
        std::vector<std::string> lines;
        FILE* output = ::popen(command.c_str(), "r");
        if (output == nullptr) {
            ADD_FAILURE() << "cannot start " << command;
            return lines;
        }
        char buffer[1024];
        while (std::fgets(buffer, sizeof buffer, output) != nullptr) {
            std::string line(buffer);
            if (!line.empty() && line.back() == '\n')
                line.pop_back();
            if (line.rfind("result ", 0) == 0 || line.rfind("port ", 0) == 0)
                lines.push_back(line);
        }
        EXPECT_EQ(::pclose(output), 0);
        return lines;
    }

    TempDir m_peerDir;
};

TEST_F(SecondProcessTest, SkipsHeldPortsWhileTheirLabelsFlowUndisturbed)
{
    auto& heldSerial = plugSerial("rs232", "held-serial", "HELD", "SN-HELD");
    auto& freeSerial = plugSerial("rs232", "free-serial", "FREE", "SN-FREE");
    auto& heldHid = plugHid(hidScannerModel("hid-pos", "HID", "SN-HID"), "held-hid");

    CDiscovery discovery;
    discovery.initialize();
    ASSERT_EQ(discovery.enumerate(searchTemplate({0, 2}), &m_found.devices, 30000), 0) << lastErrorOf(discovery);
    const std::string heldCom = comNameOf(heldSerial);
    const std::string freeCom = comNameOf(freeSerial);
    Link serial, hid;
    serial.open(foundAt(heldCom));
    hid.open(foundAt(heldHid.hostPath()));
    if (HasFatalFailure())
        return;
    const auto serialCommands = heldSerial.menuCommands();
    const auto hidCommands = heldHid.menuCommands();
    const std::size_t freeCommands = freeSerial.menuCommands().size();

    // Labels flow on both held scanners, one at a time, for as long as the
    // other application searches (and once more after it is done).
    std::atomic<bool> peerDone{false};
    std::vector<std::string> serialLabels, hidLabels;
    std::thread scanning([&] {
        for (int i = 0; i < 100000; ++i) {
            const bool last = peerDone.load();
            serialLabels.push_back("SERIAL" + std::to_string(i));
            hidLabels.push_back("HID" + std::to_string(i));
            heldSerial.scan(serialLabels.back());
            heldHid.scan(hidLabels.back());
            if (!waitUntil([&] { return serial.sink.has(serialLabels.back()) && hid.sink.has(hidLabels.back()); }) ||
                last)
                return;
        }
    });
    const std::vector<std::string> peer = runPeer();
    peerDone = true;
    scanning.join();

    EXPECT_EQ(peer, (std::vector<std::string>{"result 0", "port " + freeCom}));
    EXPECT_GT(freeSerial.menuCommands().size(), freeCommands) << "the peer did not query the free scanner";

    // Every label, in order, and nothing else: no menu record from the
    // peer's queries.
    EXPECT_EQ(serial.sink.snapshot(), serialLabels);
    EXPECT_EQ(hid.sink.snapshot(), hidLabels);
    EXPECT_EQ(heldSerial.menuCommands(), serialCommands);
    EXPECT_EQ(heldHid.menuCommands(), hidCommands);
    EXPECT_EQ(heldHid.connections(), 1u);

    serial.close();
    hid.close();
}

}  // namespace
