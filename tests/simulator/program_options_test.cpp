// The simulator program's options, seen from a host in this process:
// --chatter makes a serial scanner talk without being asked,
// --report-length gives a HID interface reports of another length, and
// --imager answers a capture with a real image.
#include "TestSupport.h"
#include "serial_host.h"

#include "simulator/imager_images.h"
#include "simulator/menu_engine.h"
#include "simulator/serial_model.h"

#include "platform/file.h"
#include "platform/hid.h"
#include "platform/serial.h"
#include "platform/sync.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include <signal.h>

namespace {

// The simulator program, started with `options`, until the test ends.
class SimulatorProgram {
public:
    explicit SimulatorProgram(const std::string& options)
    {
        // The shell prints its pid and becomes the simulator.
        const std::string command = "echo $$; exec '" + vxtest::programDirectory() + "/vxsimulator' " + options;
        m_output = ::popen(command.c_str(), "r");
        if (m_output == nullptr)
            return;
        m_pid = std::stol(readLine());
        std::istringstream fields(readLine());
        fields >> m_id >> m_path;
    }
    ~SimulatorProgram()
    {
        if (m_output == nullptr)
            return;
        if (m_pid > 0)
            ::kill(static_cast<pid_t>(m_pid), SIGTERM);
        ::pclose(m_output);
    }
    SimulatorProgram(const SimulatorProgram&) = delete;
    SimulatorProgram& operator=(const SimulatorProgram&) = delete;

    // The second field of its line: the pty or the HID path.
    const std::string& path() const { return m_path; }

private:
    std::string readLine()
    {
        char buffer[1024];
        if (std::fgets(buffer, sizeof buffer, m_output) == nullptr)
            return "0";
        std::string line(buffer);
        if (!line.empty() && line.back() == '\n')
            line.pop_back();
        return line;
    }

    std::FILE* m_output = nullptr;
    long m_pid = 0;
    std::string m_id;
    std::string m_path;
};

// Opens the serial port the program published (an "rs232" model) at its
// model's line, reads returning at once; INVALID_HANDLE_VALUE when there is
// none.
HANDLE openProgramsPort(const SimulatorProgram& simulator)
{
    std::string com;
    for (const auto& port : platform::listSerialPorts())
        if (port.devicePath == simulator.path())
            com = "\\\\.\\" + port.comName;
    EXPECT_FALSE(com.empty()) << simulator.path();
    if (com.empty())
        return INVALID_HANDLE_VALUE;
    HANDLE h = CreateFileA(com.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_TRUE(h != INVALID_HANDLE_VALUE &&
                simtest::setLineAndPolledReads(h, vxsim::findSerialModel("rs232")->baudRate));
    return h;
}

TEST(SimulatorProgramOptions, ChatterTalksUnasked)
{
    SimulatorProgram simulator("--serial-model rs232 --no-wire-time --chatter --id program-chatter");
    ASSERT_FALSE(simulator.path().empty());
    HANDLE h = openProgramsPort(simulator);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    // Nothing is sent: every byte read is the scanner's own.
    std::string got;
    EXPECT_TRUE(simtest::readAtLeast(h, 5, got));
    CloseHandle(h);
}

// The largest image crosses the pseudo-terminal whole and in order, ahead
// of the capture's reply.
TEST(SimulatorProgramOptions, AnImagerShipsARealImageAcrossThePort)
{
    SimulatorProgram simulator("--serial-model rs232 --no-wire-time --imager --id program-imager");
    ASSERT_FALSE(simulator.path().empty());
    HANDLE h = openProgramsPort(simulator);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);

    const std::string command = "\x16M\rIMGSNP1L;IMGSHP2P8F.";
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(h, command.data(), static_cast<DWORD>(command.size()), &n, nullptr));
    const std::vector<unsigned char> packet =
        vxsim::MenuEngine().image(vxsim::imagerImage(vxsim::ImageFormat::bmp), 8);
    const std::string expected = std::string(packet.begin(), packet.end()) + "IMGSNP1L\x06;IMGSHP2P8F\x06.";
    std::string got;
    EXPECT_TRUE(simtest::readAtLeast(h, expected.size(), got));
    CloseHandle(h);
    EXPECT_TRUE(got == expected) << got.size() << " bytes of " << expected.size();
}

TEST(SimulatorProgramOptions, ReportLengthReplacesTheModels)
{
    SimulatorProgram simulator("--hid-model hid-pos --report-length 32 --id program-short");
    ASSERT_FALSE(simulator.path().empty());
    HANDLE h = CreateFileA(simulator.path().c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    ASSERT_TRUE(HidD_GetPreparsedData(h, &preparsed));
    HIDP_CAPS caps{};
    EXPECT_EQ(HidP_GetCaps(preparsed, &caps), HIDP_STATUS_SUCCESS);
    HidD_FreePreparsedData(preparsed);
    EXPECT_EQ(caps.Usage, 2);
    EXPECT_EQ(caps.InputReportByteLength, 32);
    EXPECT_EQ(caps.OutputReportByteLength, 32);
    CloseHandle(h);
}

}  // namespace
