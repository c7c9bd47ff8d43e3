// What the dialog programs ask of the system: the version, the MS-DOS
// device names of the serial ports, the user's language, private-profile
// values and starting another program.
#include "SerialTestPeer.h"
#include "TestSupport.h"

#include "platform/error.h"
#include "platform/profile.h"
#include "platform/serial.h"
#include "platform/shell.h"
#include "platform/sysinfo.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

std::vector<std::string> splitMultiString(const char* data, DWORD count)
{
    std::vector<std::string> names;
    std::string current;
    for (DWORD i = 0; i + 1 < count; ++i) {
        if (data[i] == '\0') {
            names.push_back(current);
            current.clear();
        } else {
            current.push_back(data[i]);
        }
    }
    return names;
}

void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

TEST(SystemInfo, VersionIsTheNtFamilyAndRefusesAWrongSize)
{
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_NT);
    info.dwOSVersionInfoSize = 12;
    EXPECT_FALSE(GetVersionExA(&info));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(SystemInfo, DosDevicesNameEverySerialPortThatOpens)
{
    vxtest::SerialTestPeer peer("dosdev");
    std::vector<char> buffer(65535);
    const DWORD count = QueryDosDeviceA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    ASSERT_GT(count, 0u);
    EXPECT_EQ(buffer[count - 1], '\0');
    EXPECT_EQ(buffer[count - 2], '\0');
    const auto names = splitMultiString(buffer.data(), count);
    std::vector<std::string> expected;
    std::string virtualName;
    for (const auto& port : platform::listSerialPorts()) {
        expected.push_back(port.comName);
        if (port.isVirtual)
            virtualName = port.comName;
    }
    EXPECT_EQ(names, expected);
    ASSERT_FALSE(virtualName.empty());

    // The name found here is the port "\\.\COMn" opens.
    HANDLE port = CreateFileA(("\\\\.\\" + virtualName).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    CloseHandle(port);

    char target[256];
    ASSERT_GT(QueryDosDeviceA(virtualName.c_str(), target, sizeof target), 0u);
    EXPECT_EQ(std::string(target).rfind("\\Device\\", 0), 0u);
    EXPECT_EQ(QueryDosDeviceA("COM999", target, sizeof target), 0u);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(QueryDosDeviceA(nullptr, buffer.data(), 1), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST(SystemInfo, LanguageComesFromTheFirstLocaleVariableSet)
{
    struct Case {
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        LANGID expected;
    };
    const Case cases[] = {
        {nullptr, nullptr, "fr_FR.UTF-8", 1036},
        {nullptr, nullptr, "fr_FR@euro", 1036},
        {nullptr, nullptr, "fr_CA.UTF-8", 0x0C0C},
        {nullptr, nullptr, "en_US.UTF-8", 1033},
        {nullptr, nullptr, "C", 1033},
        {nullptr, nullptr, "", 1033},
        {nullptr, "fr_FR.UTF-8", "en_US.UTF-8", 1036},
        {"en_US.UTF-8", "fr_FR.UTF-8", "fr_FR.UTF-8", 1033},
        {"", "", "fr_FR", 1036},
    };
    for (const Case& c : cases) {
        for (const auto& [name, value] : {std::pair{"LC_ALL", c.lcAll}, std::pair{"LC_MESSAGES", c.lcMessages},
                                          std::pair{"LANG", c.lang}}) {
            if (value != nullptr)
                setenv(name, value, 1);
            else
                unsetenv(name);
        }
        EXPECT_EQ(GetUserDefaultLangID(), c.expected)
            << (c.lcAll ? c.lcAll : "-") << " " << (c.lcMessages ? c.lcMessages : "-") << " " << c.lang;
    }
}

TEST(PrivateProfile, ReadsTheFirstMatchWithoutCaseAndCutsToTheBuffer)
{
    writeFile("r.ini",
              "; results\r\n"
              "[ResultCode]\r\n"
              "  106 =  Illegal  \r\n"
              "107=NoHardware\r\n"
              "106=second\r\n"
              "quoted=\"  spaced  \"\r\n"
              "[resultcode]\n"
              "108=from the second section\n"
              "[TimeOut]\n"
              "time=30\n");
    char buffer[1224];
    struct Case {
        const char* section;
        const char* key;
        const char* def;
        std::string expected;
    };
    const Case cases[] = {
        {"ResultCode", "106", "106", "Illegal"},
        {"RESULTCODE", "107", "107", "NoHardware"},
        {"ResultCode", "quoted", "", "  spaced  "},
        {"ResultCode", "108", "108", "108"},
        {"timeout", "TIME", "10", "30"},
        {"TimeOut", "missing", "10", "10"},
        {"Nowhere", "time", "10", "10"},
        {"ResultCode", "999", "keep trailing  ", "keep trailing"},
        {"ResultCode", "999", nullptr, ""},
    };
    for (const Case& c : cases) {
        const DWORD n = GetPrivateProfileStringA(c.section, c.key, c.def, buffer, sizeof buffer, "r.ini");
        EXPECT_EQ(std::string(buffer), c.expected) << c.section << "/" << c.key;
        EXPECT_EQ(n, c.expected.size());
    }
    EXPECT_EQ(GetPrivateProfileStringA("ResultCode", "106", "dflt", buffer, sizeof buffer, "missing.ini"), 4u);
    EXPECT_STREQ(buffer, "dflt");

    writeFile("long.ini", "[S]\nk=" + std::string(1300, 'x') + "\n");
    buffer[1223] = 'x';
    EXPECT_EQ(GetPrivateProfileStringA("S", "k", "", buffer, sizeof buffer, "long.ini"), 1223u);
    EXPECT_EQ(std::string(buffer), std::string(1223, 'x'));
    EXPECT_EQ(GetPrivateProfileStringA("S", "k", "", buffer, 4, "long.ini"), 3u);
    EXPECT_STREQ(buffer, "xxx");
}

TEST(Shell, OpenStartsAProgramDetachedAndReportsMissingOnes)
{
    vxtest::TempDir dir;
    const std::string marker = dir.file("started");
    const std::string program = dir.file("stand-in");
    writeFile(program, "#!/bin/sh\necho \"$@\" \"$(pwd)\" > '" + marker + ".tmp'\nmv '" + marker + ".tmp' '" +
                           marker + "'\n");
    ::chmod(program.c_str(), 0755);

    HINSTANCE result = ShellExecuteA(nullptr, "open", program.c_str(), "one two", dir.path().c_str(), SW_SHOWNORMAL);
    EXPECT_GT(reinterpret_cast<std::uintptr_t>(result), 32u);
    ASSERT_TRUE(vxtest::waitUntil([&] { return std::filesystem::exists(marker); }));
    EXPECT_EQ(vxtest::readFile(marker), "one two " + dir.path().string() + "\n");

    // A bare name is looked up in the current directory.
    std::filesystem::remove(marker);
    std::filesystem::copy_file(program, "bare-stand-in");
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.lpVerb = "open";
    info.lpFile = "bare-stand-in";
    info.nShow = SW_SHOWNORMAL;
    EXPECT_TRUE(ShellExecuteExA(&info));
    EXPECT_GT(reinterpret_cast<std::uintptr_t>(info.hInstApp), 32u);
    ASSERT_TRUE(vxtest::waitUntil([&] { return std::filesystem::exists(marker); }));

    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(ShellExecuteA(nullptr, "open", "no-such-program", nullptr, nullptr, 1)),
              static_cast<std::uintptr_t>(SE_ERR_FNF));
    info.lpFile = "no-such-program";
    EXPECT_FALSE(ShellExecuteExA(&info));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    writeFile("plain.txt", "not a program");
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(ShellExecuteA(nullptr, "open", "plain.txt", nullptr, nullptr, 1)),
              static_cast<std::uintptr_t>(SE_ERR_ACCESSDENIED));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(ShellExecuteA(nullptr, "print", program.c_str(), nullptr, nullptr, 1)),
              static_cast<std::uintptr_t>(SE_ERR_NOASSOC));
}
