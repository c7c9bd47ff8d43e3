// The whole road: an application's thread hosts the real control, which
// creates the real service object from the registry, against a simulated
// serial scanner.
#include "ControlFixtures.h"
#include "DiscoveryFixture.h"
#include "EventFixtures.h"

#include <atomic>
#include <filesystem>
#include <vector>

namespace {

using controltest::Container;
using controltest::Sink;
using platform::DispatchArg;
namespace id = controltest;

constexpr char kDevice[] = "SimScanner";

std::size_t ThreadCount()
{
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        ++n;
    return n;
}

DWORD GoodScans()
{
    HKEY key = nullptr;
    const std::string path = std::string(controltest::kScannerKey) + "\\" + kDevice;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(key, "GOODSCANCOUNT", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) !=
        ERROR_SUCCESS)
        value = 0;
    RegCloseKey(key);
    return value;
}

class EndToEndTest : public vxtest::DiscoveryTest {
protected:
    void SetUp() override
    {
        ASSERT_EQ(controltest::RegisterLibrary("libVXOPOSScanner.so"), S_OK);
        ASSERT_EQ(controltest::RegisterLibrary("libVXKestrelSO.so"), S_OK);
        scanner = &plugSerial("rs232-115200", "e2e", "SIMSERIAL", "SN-E2E");
        const std::string key = std::string(controltest::kScannerKey) + "\\" + kDevice;
        controltest::SetText(key, nullptr, "VX.ScannerSO");
        controltest::SetText(key, "PORT", vxtest::comNameOf(*scanner));
        controltest::SetText(key, "AUTODETECT", "False");
    }
    vxsim::VirtualSerialPort* scanner = nullptr;
};

TEST_F(EndToEndTest, ALabelAnErrorAndPowerReachTheApplicationsThread)
{
    Sink sink;
    std::atomic<LONG> errorResponse{12};
    sink.onEvent = [&](DISPPARAMS& params) {
        if (params.cArgs == 4 && params.rgvarg[0].vt == (VT_I4 | VT_BYREF))
            *params.rgvarg[0].plVal = errorResponse.load();
    };
    {
        Container container({&sink});
        // The container's thread and the layer's own (its window's
        // broadcast listener) are there before the service object.
        const std::size_t threadsBefore = ThreadCount();
        auto& control = container.control;
        DWORD goodBefore = 0;
        container.run([&] {
            ASSERT_EQ(control->open(kDevice), 0);
            ASSERT_EQ(control->call(id::ClaimDevice, {DispatchArg::i4(30000)}), 0);  // generous: the claim connects first
            control->put(id::PowerNotify, DispatchArg::i4(1));
            control->put(id::DeviceEnabled, DispatchArg::boolean(true));
            control->put(id::DecodeData, DispatchArg::boolean(true));
            control->put(id::DataEventEnabled, DispatchArg::boolean(true));
            EXPECT_EQ(control->get(id::ResultCode), 0);
            goodBefore = GoodScans();
        });

        scanner->scan("ABC123", 'j', "C0");
        ASSERT_TRUE(vxtest::waitUntil([&] { return sink.count() >= 1; }));
        auto fired = sink.fired();
        EXPECT_EQ(fired[0].id, 101);
        EXPECT_EQ(fired[0].thread, container.threadId());
        container.run([&] {
            EXPECT_EQ(control->text(id::ScanData), "j]C0ABC123");
            EXPECT_EQ(control->text(id::ScanDataLabel), "ABC123");
            EXPECT_EQ(control->get(id::ScanDataType), 110);
        });
        EXPECT_TRUE(vxtest::waitUntil([&] { return GoodScans() == goodBefore + 1; }));
        ASSERT_EQ(sink.count(), 1u);

        // DirectIO 9 feeds an empty label: 106, then an ErrorEvent whose
        // response decides the state.
        for (const auto& [response, state] : {std::pair<LONG, LONG>{12, 2}, {13, 4}}) {
            errorResponse = response;
            const std::size_t before = sink.count();
            container.run([&] {
                control->put(id::DataEventEnabled, DispatchArg::boolean(true));
                LONG data = 0;
                BSTR text = nullptr;
                EXPECT_EQ(control->call(id::DirectIO, {DispatchArg::i4(9), DispatchArg::i4Ref(&data),
                                                       DispatchArg::bstrRef(&text)}),
                          106);
                SysFreeString(text);
            });
            ASSERT_TRUE(vxtest::waitUntil([&] { return sink.count() > before; }));
            EXPECT_EQ(sink.fired()[before].id, 103);
            // The service object sets the state once the handler has returned.
            EXPECT_TRUE(vxtest::waitUntil([&] {
                LONG now = 0;
                container.run([&] { now = control->get(id::State); });
                return now == state;
            })) << response;
            container.run([&] { control->call(id::ClearInput); });
        }

        // Power: off and offline when unplugged, online when back.
        const std::size_t before = sink.count();
        scanner->unplug();
        auto statusSeen = [&](const std::string& value) {
            for (const auto& f : sink.fired())
                if (f.id == 105 && f.args == std::vector<std::string>{value})
                    return true;
            return false;
        };
        ASSERT_TRUE(vxtest::waitUntil([&] { return statusSeen("2004"); }));
        ASSERT_TRUE(scanner->plug());
        ASSERT_TRUE(vxtest::waitUntil([&] { return statusSeen("2001"); }));
        EXPECT_GT(sink.count(), before);

        container.run([&] { EXPECT_EQ(control->call(id::Close), 0); });
        // The service object's threads are gone with the close.
        EXPECT_TRUE(vxtest::waitUntil([&] { return ThreadCount() <= threadsBefore; }))
            << ThreadCount() << " threads, " << threadsBefore << " before";
    }
}

// An application reads the control's properties from inside its event
// handlers, and may close the device there: the service object waits for
// the handler on its own thread, so it must not hold what those calls need.
TEST_F(EndToEndTest, HandlersReadPropertiesAndCloseFromInsideTheirEvents)
{
    Sink sink;
    std::atomic<Container*> host{nullptr};
    std::vector<LONG> enabledSeen;  // DataEventEnabled read by each handler
    std::vector<LONG> decodeSeen;
    LONG closedInside = -1;
    sink.onEvent = [&](DISPPARAMS& params) {
        auto& control = host.load()->control;
        if (params.cArgs == 1 && params.rgvarg[0].vt == VT_I4 && params.rgvarg[0].lVal == 2004) {
            closedInside = control->call(id::Close);
            return;
        }
        enabledSeen.push_back(control->get(id::DataEventEnabled));
        decodeSeen.push_back(control->get(id::DecodeData));
        if (params.cArgs == 4 && params.rgvarg[0].vt == (VT_I4 | VT_BYREF))
            *params.rgvarg[0].plVal = 12;
    };
    Container container({&sink});
    host = &container;
    auto& control = container.control;
    container.run([&] {
        ASSERT_EQ(control->open(kDevice), 0);
        ASSERT_EQ(control->call(id::ClaimDevice, {DispatchArg::i4(30000)}), 0);  // generous: the claim connects first
        control->put(id::PowerNotify, DispatchArg::i4(1));
        control->put(id::DeviceEnabled, DispatchArg::boolean(true));
        control->put(id::DecodeData, DispatchArg::boolean(true));
        control->put(id::DataEventEnabled, DispatchArg::boolean(true));
    });

    // A label: the handler reads both properties; data events are off now.
    scanner->scan("ABC123", 'j', "C0");
    ASSERT_TRUE(vxtest::waitUntil([&] { return sink.count() >= 1; }));
    container.run([&] {
        EXPECT_EQ(enabledSeen, std::vector<LONG>{0});
        EXPECT_NE(decodeSeen.at(0), 0);
    });

    // An error: read from inside too, and the response still comes back.
    container.run([&] {
        control->put(id::DataEventEnabled, DispatchArg::boolean(true));
        LONG data = 0;
        BSTR text = nullptr;
        EXPECT_EQ(control->call(id::DirectIO, {DispatchArg::i4(9), DispatchArg::i4Ref(&data),
                                               DispatchArg::bstrRef(&text)}),
                  106);
        SysFreeString(text);
    });
    ASSERT_TRUE(vxtest::waitUntil([&] { return sink.count() >= 2; }));
    container.run([&] {
        EXPECT_EQ(sink.fired()[1].id, 103);
        EXPECT_EQ(enabledSeen.size(), 2u);
    });
    // The service object sets the state once the handler has returned.
    EXPECT_TRUE(vxtest::waitUntil([&] {
        LONG state = 0;
        container.run([&] { state = control->get(id::State); });
        return state == 2;
    }));

    // Power lost: the handler closes the device from inside the event.
    scanner->unplug();
    ASSERT_TRUE(vxtest::waitUntil([&] {
        LONG closed = -1;
        container.run([&] { closed = closedInside; });
        return closed != -1;
    }));
    container.run([&] {
        EXPECT_EQ(closedInside, 0);
        EXPECT_EQ(control->get(id::State), 1);
    });
}

}  // namespace
