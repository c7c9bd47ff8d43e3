// A POS terminal shared by several accounts: the SDK's log file where a
// link was planted, a registry file that cannot be used, devices another
// user published, a runtime directory the SDK cannot write.
#include "DebugCapture.h"
#include "TestSupport.h"
#include "UserPermissions.h"
#include "SdkLogCapture.h"
#include "discovery/DiscoveryFixture.h"

#include "api/CDiscovery.h"
#include "discovery/CPortEnumerator.h"

#include "platform/debug.h"
#include "platform/registry.h"
#include "platform/runtime.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace vxtest;

namespace {


std::string lastErrorOf(CDiscovery& discovery)
{
    std::string text;
    discovery.getLastError(text);
    return text;
}

// The port names one discovery of these kinds finds.
std::vector<std::string> discoveredPorts(std::vector<int> kinds, int* result = nullptr)
{
    CDiscovery discovery;
    discovery.initialize();
    DeviceList found;
    const int code = discovery.enumerate(searchTemplate(std::move(kinds)), &found.devices, 30000);
    EXPECT_EQ(code, 0) << lastErrorOf(discovery);
    if (result != nullptr)
        *result = code;
    std::vector<std::string> ports;
    for (CDevice* device : found.devices)
        ports.push_back(device->portName);
    return ports;
}

// Runs the log probe in `folder` and answers what it printed ("" when it
// did not end normally).
std::string runLogProbe(const std::string& folder)
{
    int out[2];
    if (::pipe(out) != 0)
        return {};
    const std::string probe = programDirectory() + "/vx_log_probe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        if (::chdir(folder.c_str()) == 0)
            ::execl(probe.c_str(), probe.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? text : std::string("exit ") + std::to_string(status);
}

TEST(SdkLogFile, APlantedLinkIsNeverFollowedAndTheUsersOwnFileIsEmptiedOnce)
{
    TempDir temp;
    const std::string victim = temp.file("victim.txt");
    struct Case {
        const char* name;
        std::function<void(const std::string& log)> plant;
        std::string printed;
        bool logged;  // the file holds both lines
        std::string kept;  // text that must still be in the log file
    };
    std::vector<Case> cases = {
        {"no log file yet", [](const std::string&) {}, "first=1 second=1\n", true, ""},
        {"the user's own log of an earlier run",
         [](const std::string& log) { std::ofstream(log) << "an earlier run\n"; }, "first=1 second=1\n", true, ""},
        {"a link to another file", [&](const std::string& log) { fs::create_symlink(victim, log); },
         "first=0 second=0\n", false, ""},
    };
    if (runningAsRoot())
        cases.push_back({"another user's file",
                         [](const std::string& log) {
                             std::ofstream(log) << "their lines\n";
                             ASSERT_EQ(::chown(log.c_str(), kOtherUid, kOtherUid), 0);
                         },
                         "first=1 second=1\n", true, "their lines\n"});
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream(victim, std::ios::trunc) << "the victim's data\n";
        const std::string folder = temp.file("run" + std::to_string(n++));
        fs::create_directory(folder);
        const std::string log = folder + "/scanningsdk.log";
        c.plant(log);

        EXPECT_EQ(runLogProbe(folder), c.printed);
        EXPECT_EQ(readFile(victim), "the victim's data\n");
        if (!c.logged)
            continue;
        const std::string text = readFile(log);
        EXPECT_EQ(text.find("an earlier run"), std::string::npos) << text;
        EXPECT_EQ(text.rfind(c.kept, 0), 0u) << text;
        const auto first = text.find("probe, first line");
        const auto second = text.find("probe, second line");
        EXPECT_NE(first, std::string::npos) << text;
        EXPECT_NE(second, std::string::npos) << "the second logger appends, it does not empty the file again";
        EXPECT_LT(first, second);
    }
}

// A registry file damaged, of another program, or out of the user's reach:
// RS-232 discovery still lists the simulated scanner; a file that cannot be
// opened as a registry is kept aside and a new one started.
class UnusableRegistry : public DiscoveryTest {};

void fillRegistry()
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Filled", 0, nullptr, 0, 0, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::string data(400, 'x');
    for (int i = 0; i < 100; ++i) {
        const std::string name = "value" + std::to_string(i);
        ASSERT_EQ(RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                 static_cast<DWORD>(data.size() + 1)),
                  ERROR_SUCCESS);
    }
    RegCloseKey(key);
}

void writeForeignDatabase(const std::string& path)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TABLE keys(owner TEXT, amount INTEGER);"
                           "CREATE TABLE \"values\"(reading REAL);"
                           "INSERT INTO keys VALUES('someone else', 42);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
}

std::vector<std::string> asideFiles(const std::string& folder)
{
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().rfind("registry.db.corrupt-", 0) == 0)
            found.push_back(entry.path().string());
    return found;
}

TEST_F(UnusableRegistry, SerialDiscoveryStillFindsTheScannerAndADamagedFileIsKeptAside)
{
    TempDir temp;
    auto& scanner = plugSerial("rs232", "registry-rows");
    enum class Kind { Damaged, Unreachable };
    struct Row {
        const char* name;
        Kind kind;
        std::function<void(const std::string& folder, const std::string& db)> spoil;
    };
    const Row rows[] = {
        {"truncated", Kind::Damaged,
         [](const std::string&, const std::string& db) { fs::resize_file(db, fs::file_size(db) / 2); }},
        {"garbage", Kind::Damaged,
         [](const std::string&, const std::string& db) {
             std::mt19937 random(15);
             std::string bytes(8192, '\0');
             for (char& c : bytes)
                 c = static_cast<char>(random());
             std::ofstream(db, std::ios::binary | std::ios::trunc) << bytes;
         }},
        {"a foreign schema", Kind::Damaged,
         [](const std::string&, const std::string& db) {
             fs::remove(db);
             writeForeignDatabase(db);
         }},
        {"a read-only file", Kind::Unreachable,
         [](const std::string&, const std::string& db) { ::chmod(db.c_str(), 0444); }},
        {"a read-only folder", Kind::Unreachable,
         [](const std::string& folder, const std::string&) { ::chmod(folder.c_str(), 0555); }},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string folder = temp.file("row" + std::to_string(n++));
        fs::create_directory(folder);
        const std::string db = folder + "/registry.db";
        platform::setRegistryPath(db);
        fillRegistry();
        (void)platform::listSerialPorts();  // the COM table gets its numbers
        platform::setRegistryPath(db);      // closes the file, its log folded in
        row.spoil(folder, db);
        const std::string spoiled = readFile(db);

        DebugCapture debug;
        SdkLogCapture log;
        {
            PlainFilePermissions plain;
            EXPECT_EQ(discoveredPorts({0}), std::vector<std::string>{comNameOf(scanner)});
            EXPECT_EQ(log.count("SERIALCOMM"), 0u);
            HKEY key = nullptr;
            const LONG written = RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\After", 0, nullptr, 0, 0, nullptr,
                                                 &key, nullptr);
            if (row.kind == Kind::Damaged) {
                EXPECT_EQ(written, ERROR_SUCCESS) << "a new registry is started";
            } else {
                EXPECT_NE(written, ERROR_SUCCESS) << "the file is out of reach";
                EXPECT_NE(written, ERROR_FILE_NOT_FOUND);
            }
            if (written == ERROR_SUCCESS)
                RegCloseKey(key);
        }
        ::chmod(folder.c_str(), 0700);
        const auto aside = asideFiles(folder);
        if (row.kind == Kind::Damaged) {
            ASSERT_EQ(aside.size(), 1u);
            EXPECT_EQ(readFile(aside[0]), spoiled) << "kept as it was";
            const auto lines = debug.with("registry: ");
            ASSERT_EQ(lines.size(), 1u);
            EXPECT_NE(lines[0].find(db + " is not a registry"), std::string::npos) << lines[0];
            EXPECT_NE(lines[0].find("moved aside to " + aside[0] + ", a new one started"), std::string::npos)
                << lines[0];
        } else {
            EXPECT_TRUE(aside.empty());
            EXPECT_EQ(readFile(db), spoiled) << "left as it was";
        }
    }
}

// Devices published in the runtime directory under another user's name (a
// descriptor or a socket given to another uid) are not the user's devices.
TEST_F(UnusableRegistry, DevicesPublishedByAnotherUserAreNotDiscovered)
{
    if (!runningAsRoot())
        GTEST_SKIP() << "giving files to another user needs root";
    auto& serial = plugSerial("rs232", "theirs-serial");
    plugHid(hidScannerModel("hid-pos", "HIDSCANNER", "SN-HID"), "theirs-hid");
    const std::string runtime = platform::runtimeDirectory();
    const std::string serialCom = comNameOf(serial);
    ASSERT_EQ(discoveredPorts({0, 2}).size(), 2u);
    struct Row {
        const char* name;
        std::string file;
        bool serialStays;  // whether the serial scanner is still ours
    };
    const Row rows[] = {
        {"a serial descriptor", runtime + "/serial/theirs-serial.port", false},
        {"a serial side channel", runtime + "/serial/theirs-serial.sock", false},
        {"a HID descriptor", runtime + "/hid/theirs-hid.hid", true},
        {"a HID socket", runtime + "/hid/theirs-hid.sock", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(::chown(row.file.c_str(), kOtherUid, kOtherUid), 0);
        CPortEnumerator ports;
        EXPECT_EQ(ports.enumerateCOM(0x3F).size(), row.serialStays ? 1u : 0u);
        EXPECT_EQ(ports.enumerateUsbHid().size(), row.serialStays ? 0u : 1u);
        EXPECT_EQ(discoveredPorts({0, 2}).size(), 1u);
        ASSERT_EQ(::chown(row.file.c_str(), 0, 0), 0);
    }
    EXPECT_EQ(discoveredPorts({0, 2}).size(), 2u);
}

// A link in place of a live device's descriptor (the device still holds
// its lock on the file the link names) is not a device.
TEST_F(UnusableRegistry, ALinkInPlaceOfADescriptorIsNotADevice)
{
    TempDir temp;
    plugSerial("rs232", "linked-serial");
    plugHid(hidScannerModel("hid-pos", "HIDSCANNER", "SN-LINKED"), "linked-hid");
    const std::string runtime = platform::runtimeDirectory();
    ASSERT_EQ(discoveredPorts({0, 2}).size(), 2u);
    for (const std::string& descriptor :
         {runtime + "/serial/linked-serial.port", runtime + "/hid/linked-hid.hid"}) {
        SCOPED_TRACE(descriptor);
        const std::string aside = temp.file("descriptor");
        ASSERT_EQ(::rename(descriptor.c_str(), aside.c_str()), 0);
        fs::create_symlink(aside, descriptor);
        EXPECT_EQ(discoveredPorts({0, 2}).size(), 1u);
        fs::remove(descriptor);
        ASSERT_EQ(::rename(aside.c_str(), descriptor.c_str()), 0);
    }
    EXPECT_EQ(discoveredPorts({0, 2}).size(), 2u);
}

// The share lock of a HID interface: a link planted at its place is not
// followed, and a lock that cannot be made is said once with its file and
// cause, the interface skipped.
TEST_F(UnusableRegistry, AHidShareLockThatCannotBeMadeIsSaidOnceWithItsFileAndCause)
{
    TempDir temp;
    const std::string runtime = platform::runtimeDirectory();
    // Share locks of interfaces an earlier case in this process opened.
    auto hidLocks = [&] {
        std::set<std::string> locks;
        for (const auto& entry : fs::directory_iterator(runtime))
            if (entry.path().filename().string().rfind("hid-", 0) == 0)
                locks.insert(entry.path().string());
        return locks;
    };
    const std::set<std::string> earlier = hidLocks();
    plugHid(hidScannerModel("hid-pos", "HIDSCANNER", "SN-LOCK"), "lock-hid");
    ASSERT_EQ(discoveredPorts({2}).size(), 1u);
    std::vector<std::string> made;
    for (const std::string& path : hidLocks())
        if (earlier.count(path) == 0)
            made.push_back(path);
    ASSERT_EQ(made.size(), 1u) << "the interface's share lock";
    const std::string lock = made.front();

    struct Row {
        const char* name;
        std::function<void()> spoil;
        std::function<void()> mend;
        std::string cause;
    };
    const std::string target = temp.file("lock-target");
    const Row rows[] = {
        {"a link at the lock's place",
         [&] {
             fs::remove(lock);
             fs::create_symlink(target, lock);
         },
         [&] { fs::remove(lock); }, "Too many levels of symbolic links"},
        {"a runtime directory that cannot be written",
         [&] {
             fs::remove(lock);
             ::chmod(runtime.c_str(), 0500);
         },
         [&] { ::chmod(runtime.c_str(), 0700); }, "Permission denied"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        row.spoil();
        DebugCapture debug;
        {
            PlainFilePermissions plain;
            EXPECT_TRUE(discoveredPorts({2}).empty());
            EXPECT_TRUE(discoveredPorts({2}).empty());
        }
        const auto lines = debug.with("hid: share lock");
        ASSERT_EQ(lines.size(), 1u) << "said once";
        EXPECT_NE(lines[0].find(lock + " cannot be created: " + row.cause), std::string::npos) << lines[0];
        EXPECT_FALSE(fs::exists(target)) << "the link's target is never made";
        row.mend();
        EXPECT_EQ(discoveredPorts({2}).size(), 1u);
    }
}

}  // namespace
