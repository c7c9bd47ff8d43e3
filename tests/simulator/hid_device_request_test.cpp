// Device requests on a virtual HID interface: an interface behind the
// remote-management filter driver answers the driver's requests through the
// platform's DeviceIoControl, with the driver's own error codes; any other
// interface, and an unplugged one, refuses them.
#include "simulator/hid_scanner.h"

#include "TestSupport.h"
#include "scoped_handle.h"

#include "platform/error.h"
#include "platform/file.h"
#include "platform/hid.h"
#include "platform/runtime.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

using simtest::Handle;

constexpr std::uint32_t kSetTransMode = 0x8023A004;
constexpr std::uint32_t kGetTransPossible = 0x8022200C;

// A record of the driver's interface: its GUID, the record size, a value.
std::vector<unsigned char> record(std::uint32_t value, std::uint32_t size = 24)
{
    static const unsigned char guid[16] = {0xf8, 0xd1, 0x4d, 0x5b, 0x57, 0x1e, 0xa1, 0x4d,
                                           0x80, 0xdc, 0x9b, 0x96, 0x3b, 0x5d, 0x95, 0x9e};
    std::vector<unsigned char> bytes(guid, guid + 16);
    for (std::uint32_t field : {size, value})
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<unsigned char>(field >> (8 * i)));
    return bytes;
}

struct Outcome {
    DWORD error;  // 0: done
    std::vector<unsigned char> answer;
};

Outcome request(HANDLE handle, std::uint32_t code, std::vector<unsigned char> in, DWORD outSize)
{
    std::vector<unsigned char> out(outSize, 0xEE);
    DWORD returned = 12345;
    const BOOL ok = DeviceIoControl(handle, code, in.data(), static_cast<DWORD>(in.size()), out.data(), outSize,
                                    &returned, nullptr);
    if (!ok)
        return {GetLastError(), {}};
    out.resize(returned);
    return {0, out};
}

// A bare device on the wire that answers every device request with far more
// bytes than the host's buffer holds.
class OversizedAnswerPeer {
public:
    OversizedAnswerPeer()
    {
        const std::string folder = platform::runtimeDirectory() + "/hid";
        std::filesystem::create_directories(folder);
        m_descriptor = folder + "/big.hid";
        m_socket = folder + "/big.sock";
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, m_socket.c_str(), sizeof address.sun_path - 1);
        m_listen = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        EXPECT_EQ(::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(m_listen, 1), 0);
        const std::string temporary = folder + "/.big.tmp";
        std::ofstream(temporary) << "socket=big.sock\nvendorId=0x7a11\nproductId=0x0100\ninputLength=64\n"
                                    "outputLength=64\nfeatureLength=2\n";
        m_lock = ::open(temporary.c_str(), O_RDONLY | O_CLOEXEC);
        EXPECT_EQ(::flock(m_lock, LOCK_EX), 0);
        EXPECT_EQ(::rename(temporary.c_str(), m_descriptor.c_str()), 0);
        m_thread = std::thread([this] { serve(); });
    }
    ~OversizedAnswerPeer()
    {
        ::unlink(m_descriptor.c_str());
        ::shutdown(m_listen, SHUT_RDWR);
        m_thread.join();
        ::close(m_listen);
        ::close(m_lock);
        ::unlink(m_socket.c_str());
    }
    static std::string hostPath()
    {
        return "\\\\?\\hid#vid_7a11&pid_0100&mi_00#virtual-big#{4d1e55b2-f16f-11cf-88cb-001111000030}";
    }

private:
    void serve()
    {
        const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            return;
        std::vector<unsigned char> message(70000);
        for (;;) {
            const ssize_t count = ::recv(fd, message.data(), message.size(), 0);
            if (count <= 0)
                break;
            if (message[0] != 'D')
                continue;
            std::vector<unsigned char> answer(2 + 4096, 0xAB);
            answer[0] = 'A';
            answer[1] = 0;
            ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
        }
        ::close(fd);
    }

    std::string m_descriptor;
    std::string m_socket;
    int m_listen = -1;
    int m_lock = -1;
    std::thread m_thread;
};

class HidDeviceRequest : public ::testing::Test {
protected:
    void SetUp() override { platform::setHidSysfsRoot(noDevices.path().string()); }
    void TearDown() override { platform::setHidSysfsRoot(""); }

    Handle plugAndOpen(vxsim::HidScanner& scanner)
    {
        EXPECT_TRUE(scanner.plug()) << scanner.lastError();
        return Handle(CreateFileA(scanner.hostPath().c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    }

    vxtest::TempDir noDevices;
};

}  // namespace

TEST_F(HidDeviceRequest, TheFilterDriverAnswersItsRequestsWithItsOwnCodes)
{
    vxsim::HidScanner scanner(*vxsim::findHidModel("hid-filter-qox"), "fdqox");
    const Handle handle = plugAndOpen(scanner);
    ASSERT_NE(handle.get(), INVALID_HANDLE_VALUE);

    EXPECT_EQ(request(handle.get(), kSetTransMode, record(1), 0).error, 0u);
    EXPECT_TRUE(scanner.filterDriverState().transactionMode);
    const Outcome mode = request(handle.get(), kGetTransPossible, record(0), 24);
    ASSERT_EQ(mode.error, 0u);
    ASSERT_EQ(mode.answer.size(), 24u);
    EXPECT_EQ(mode.answer[20], 1);
    ASSERT_EQ(scanner.deviceRequests().size(), 2u);
    EXPECT_EQ(scanner.deviceRequests()[0].code, kSetTransMode);
    EXPECT_EQ(scanner.deviceRequests()[0].input, record(1));

    struct Case {
        const char* what;
        std::uint32_t code;
        std::vector<unsigned char> in;
        DWORD expected;
    };
    const Case refusals[] = {
        {"a request the driver does not know", 0x80239999, record(1), ERROR_INVALID_FUNCTION},
        {"a record of the wrong size", kSetTransMode, record(1, 28), ERROR_INVALID_PARAMETER},
        {"no input at all", kSetTransMode, {}, ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : refusals)
        EXPECT_EQ(request(handle.get(), c.code, c.in, 0).error, c.expected) << c.what;

    scanner.failRequest(kSetTransMode, ERROR_GEN_FAILURE);
    EXPECT_EQ(request(handle.get(), kSetTransMode, record(0), 0).error, static_cast<DWORD>(ERROR_GEN_FAILURE));
    EXPECT_TRUE(scanner.filterDriverState().transactionMode) << "a refused request changes nothing";
}

TEST_F(HidDeviceRequest, OtherInterfacesAndAnUnpluggedOneRefuse)
{
    for (const char* model : {"hid-pos", "hid-filter-pos"}) {
        vxsim::HidScanner plain(*vxsim::findHidModel(model), std::string("plain-") + model);
        const Handle handle = plugAndOpen(plain);
        ASSERT_NE(handle.get(), INVALID_HANDLE_VALUE);
        EXPECT_EQ(request(handle.get(), kSetTransMode, record(1), 0).error, static_cast<DWORD>(ERROR_INVALID_FUNCTION))
            << model;
    }

    vxsim::HidScanner driven(*vxsim::findHidModel("hid-filter-qox"), "fdqox");
    const Handle gone = plugAndOpen(driven);
    ASSERT_NE(gone.get(), INVALID_HANDLE_VALUE);
    driven.unplug();
    EXPECT_EQ(request(gone.get(), kSetTransMode, record(1), 0).error, static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_TRUE(driven.deviceRequests().empty());
}

TEST_F(HidDeviceRequest, AnAnswerLongerThanTheHostsBufferIsCut)
{
    OversizedAnswerPeer peer;
    const Handle handle(CreateFileA(OversizedAnswerPeer::hostPath().c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_NE(handle.get(), INVALID_HANDLE_VALUE);
    for (const DWORD size : {0u, 1u, 24u}) {
        const Outcome outcome = request(handle.get(), kGetTransPossible, record(0), size);
        EXPECT_EQ(outcome.error, 0u);
        EXPECT_EQ(outcome.answer, std::vector<unsigned char>(size, 0xAB)) << size;
    }
}
