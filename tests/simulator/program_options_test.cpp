// The simulator program's fault options, seen from a host in this process:
// --chatter makes a serial scanner talk without being asked, and
// --report-length gives a HID interface reports of another length.
#include "TestSupport.h"

#include "platform/file.h"
#include "platform/hid.h"
#include "platform/serial.h"
#include "platform/sync.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <sstream>
#include <string>

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

TEST(SimulatorProgramOptions, ChatterTalksUnasked)
{
    SimulatorProgram simulator("--serial-model rs232 --no-wire-time --chatter --id program-chatter");
    ASSERT_FALSE(simulator.path().empty());
    std::string com;
    for (const auto& port : platform::listSerialPorts())
        if (port.devicePath == simulator.path())
            com = "\\\\.\\" + port.comName;
    ASSERT_FALSE(com.empty());
    HANDLE h = CreateFileA(com.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    COMMTIMEOUTS t{MAXDWORD, 0, 0, 0, 0};
    ASSERT_TRUE(SetCommTimeouts(h, &t));
    // Nothing is sent: every byte read is the scanner's own.
    std::size_t got = 0;
    EXPECT_TRUE(vxtest::waitUntil([&] {
        char b[64];
        DWORD r = 0;
        if (ReadFile(h, b, sizeof b, &r, nullptr))
            got += r;
        return got >= 5;
    }));
    CloseHandle(h);
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
