// The user's run-time files: which runtime directory is trusted, links
// planted where our files go, descriptors another user published, the
// modes of what a run creates, and the log-file open.
#include "SerialTestPeer.h"
#include "DebugCapture.h"
#include "TestSupport.h"
#include "UserPermissions.h"

#include "linux/internal/lock_file_name.h"

#include "platform/debug.h"
#include "platform/error.h"
#include "platform/registry.h"
#include "platform/runtime.h"
#include "platform/serial.h"
#include "platform/sync.h"
#include "platform/window.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using vxtest::DebugCapture;

// What lstat sees at a path: its kind and mode, "missing" when nothing.
std::string modeOf(const std::string& path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return "missing";
    const char* kind = S_ISDIR(info.st_mode) ? "dir" : S_ISLNK(info.st_mode) ? "link" : S_ISREG(info.st_mode) ? "file" : "other";
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    return std::string(kind) + " " + mode;
}

std::vector<std::string> entriesOf(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    return names;
}

// Points the runtime directory somewhere for one scope.
class RuntimeAt {
public:
    explicit RuntimeAt(const std::string& path) : m_saved(std::getenv("VX_RUNTIME_DIR"))
    {
        ::setenv("VX_RUNTIME_DIR", path.c_str(), 1);
    }
    ~RuntimeAt() { ::setenv("VX_RUNTIME_DIR", m_saved.c_str(), 1); }

private:
    std::string m_saved;
};

TEST(RuntimeDirectory, UsedOnlyWhenItIsTheUsersPrivateFolder)
{
    vxtest::TempDir temp;
    const std::string base = temp.path().string();
    ::mkdir((base + "/own").c_str(), 0700);
    ::mkdir((base + "/others").c_str(), 0700);
    const bool root = vxtest::runningAsRoot();
    if (root) {
        ASSERT_EQ(::chown((base + "/others").c_str(), vxtest::kOtherUid, vxtest::kOtherUid), 0);
    }
    ::mkdir((base + "/open").c_str(), 0700);
    ::chmod((base + "/open").c_str(), 0777);
    ::mkdir((base + "/linked-to").c_str(), 0700);
    fs::create_symlink(base + "/linked-to", base + "/link");
    std::ofstream(base + "/plain-file") << "not a folder";

    struct Case {
        const char* name;
        std::string path;
        std::string reason;  // empty: used
        std::string inspected;  // the folder that must stay empty when refused
    };
    std::vector<Case> cases = {
        {"missing: created 0700", base + "/new", "", ""},
        {"the user's own 0700", base + "/own", "", ""},
        {"mode 0777", base + "/open", "is open to group or others (mode 0777)", base + "/open"},
        {"a link to the user's own folder", base + "/link", "is a symbolic link", base + "/linked-to"},
        {"a file", base + "/plain-file", "is not a directory", ""},
        {"cannot be made (below a file)", base + "/plain-file/run", "cannot be created: Not a directory", ""},
    };
    if (root)
        cases.push_back({"owned by another uid", base + "/others",
                         "is owned by uid " + std::to_string(vxtest::kOtherUid) + ", not by uid 0", base + "/others"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DebugCapture debug;
        RuntimeAt runtime(c.path);
        SetLastError(0);
        const std::string used = platform::runtimeDirectory();
        // A call that needs the folder: a machine-wide name.
        HANDLE event = CreateEventA(nullptr, TRUE, FALSE, "Global\\vx-private-files");
        const DWORD eventError = GetLastError();
        const UINT message = RegisterWindowMessageA("VX_PRIVATE_FILES");
        if (c.reason.empty()) {
            EXPECT_EQ(used, c.path);
            EXPECT_EQ(modeOf(c.path), "dir 0700");
            EXPECT_NE(event, nullptr);
            EXPECT_TRUE(debug.with("runtime directory").empty());
            EXPECT_FALSE(entriesOf(c.path).empty()) << "its files are made there";
        } else {
            EXPECT_EQ(used, "");
            EXPECT_EQ(event, nullptr);
            EXPECT_EQ(eventError, static_cast<DWORD>(ERROR_ACCESS_DENIED));
            const auto lines = debug.with("runtime directory");
            ASSERT_EQ(lines.size(), 1u) << "said once, however often it is asked for";
            EXPECT_EQ(lines[0], "platform: runtime directory " + c.path + " refused: it " + c.reason + "\n");
            if (!c.inspected.empty()) {
                EXPECT_TRUE(entriesOf(c.inspected).empty()) << "nothing is created there";
            }
        }
        EXPECT_GE(message, 0xC000u) << "message numbers stay within the process";
        if (event != nullptr)
            CloseHandle(event);
    }
    EXPECT_EQ(vxtest::readFile(base + "/plain-file"), "not a folder");
}

// The layer's own files in the runtime directory and next to the registry:
// a link planted at their place is never followed, so its target neither
// appears nor changes.
TEST(PrivateFiles, LinksPlantedWhereOurFilesGoAreNotFollowed)
{
    vxtest::TempDir temp;
    // A runtime directory of its own: the files it replaces by links hold
    // what the rest of the process has registered (message numbers).
    RuntimeAt ownRuntime(temp.file("run"));
    const std::string runtime = platform::runtimeDirectory();
    ASSERT_FALSE(runtime.empty());
    const std::string tableFolder = fs::path(platform::registryPath()).parent_path().string();
    fs::create_directories(tableFolder);
    struct Case {
        const char* name;
        std::string at;
    };
    const Case cases[] = {
        {"the names' gate", runtime + "/global-names.gate"},
        {"a machine-wide name's mark", runtime + "/" + platform::globalLockFileName("vx-planted")},
        {"the message numbers", runtime + "/window-messages"},
        {"the COM table", tableFolder + "/serial-ports"},
    };
    int names = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const bool targetExists : {false, true}) {
            const std::string target = temp.file(std::string("target-") + (targetExists ? "kept" : "absent"));
            fs::remove(target);
            if (targetExists)
                std::ofstream(target) << "the victim's data";
            fs::remove(c.at);
            fs::create_symlink(target, c.at);

            HANDLE event = CreateEventA(nullptr, TRUE, FALSE, "Global\\vx-planted");
            RegisterWindowMessageA(("VX_PLANTED_" + std::to_string(names++)).c_str());  // a new name reaches the file
            (void)platform::listSerialPorts();

            if (targetExists)
                EXPECT_EQ(vxtest::readFile(target), "the victim's data");
            else
                EXPECT_FALSE(fs::exists(target));
            EXPECT_EQ(modeOf(c.at), "link 0777");
            if (event != nullptr)
                CloseHandle(event);
        }
        fs::remove(c.at);
    }
}

TEST(PrivateFiles, FilesOfARunAreTheUsersAlone)
{
    vxtest::TempDir temp;
    ::setenv("VX_SYSFS_ROOT", temp.path().c_str(), 1);  // no real ports
    const std::string registryFolder = temp.file("config/varnex");
    platform::setRegistryPath(registryFolder + "/registry.db");
    const std::string runtime = platform::runtimeDirectory();
    vxtest::SerialTestPeer port("modes");

    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Modes", 0, nullptr, 0, 0, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const DWORD one = 1;
    ASSERT_EQ(RegSetValueExA(key, "One", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one), ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(platform::listSerialPorts().size(), 1u);
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, "Global\\vx-modes");
    ASSERT_NE(event, nullptr);
    RegisterWindowMessageA("VX_MODES");

    EXPECT_EQ(modeOf(runtime), "dir 0700");
    EXPECT_EQ(modeOf(runtime + "/global-names.gate"), "file 0600");
    EXPECT_EQ(modeOf(runtime + "/" + platform::globalLockFileName("vx-modes")), "file 0600");
    EXPECT_EQ(modeOf(runtime + "/window-messages"), "file 0600");
    EXPECT_EQ(modeOf(temp.file("config")), "dir 0700");
    EXPECT_EQ(modeOf(registryFolder), "dir 0700");
    EXPECT_EQ(modeOf(registryFolder + "/registry.db"), "file 0600");
    EXPECT_EQ(modeOf(registryFolder + "/registry.db-wal"), "file 0600");
    EXPECT_EQ(modeOf(registryFolder + "/registry.db-shm"), "file 0600");
    EXPECT_EQ(modeOf(registryFolder + "/serial-ports"), "file 0600");
    CloseHandle(event);
}

// A descriptor or socket of a virtual port that is not the user's own (or a
// link in place of the descriptor) is not a port of the user's.
TEST(PrivateFiles, PortsPublishedByAnotherUserAreNotListed)
{
    vxtest::TempDir temp;
    ::setenv("VX_SYSFS_ROOT", temp.path().c_str(), 1);
    {
        vxtest::SerialTestPeer port("linked");
        const std::string aside = temp.file("descriptor");
        ASSERT_EQ(::rename(port.descriptorPath().c_str(), aside.c_str()), 0);  // still locked: alive
        fs::create_symlink(aside, port.descriptorPath());
        EXPECT_TRUE(platform::listSerialPorts().empty()) << "a link in place of a descriptor";
        fs::remove(port.descriptorPath());
        ASSERT_EQ(::rename(aside.c_str(), port.descriptorPath().c_str()), 0);
        EXPECT_EQ(platform::listSerialPorts().size(), 1u) << "the same descriptor in its place";
    }
    if (!vxtest::runningAsRoot())
        GTEST_SKIP() << "giving files to another user needs root";
    for (const bool descriptor : {true, false}) {
        SCOPED_TRACE(descriptor ? "descriptor of another uid" : "socket of another uid");
        vxtest::SerialTestPeer port(descriptor ? "foreign-descriptor" : "foreign-socket");
        ASSERT_EQ(platform::listSerialPorts().size(), 1u);
        const std::string& file = descriptor ? port.descriptorPath() : port.socketPath();
        ASSERT_EQ(::chown(file.c_str(), vxtest::kOtherUid, vxtest::kOtherUid), 0);
        EXPECT_TRUE(platform::listSerialPorts().empty());
        EXPECT_EQ(CreateFileA("\\\\.\\COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr),
                  INVALID_HANDLE_VALUE);
        ASSERT_EQ(::chown(file.c_str(), 0, 0), 0);
        EXPECT_EQ(platform::listSerialPorts().size(), 1u);
    }
}

// The log file: never through a link, never anything but a regular file,
// emptied only when it is the user's own.
TEST(AppendFile, OpensOnlyARegularFileAndEmptiesOnlyTheUsersOwn)
{
    vxtest::TempDir temp;
    const std::string victim = temp.file("victim");
    struct Case {
        const char* name;
        std::function<void(const std::string& path)> plant;
        bool opens;
        std::string before;  // the file's text before the open ("" for none)
        std::string after;   // after the open and one appended line
    };
    const std::vector<Case> cases = {
        {"nothing there: created", [](const std::string&) {}, true, "", "line\n"},
        {"the user's own file: emptied", [](const std::string& p) { std::ofstream(p) << "old\n"; }, true, "old\n",
         "line\n"},
        {"a link to a file", [&](const std::string& p) { fs::create_symlink(victim, p); }, false, "", ""},
        {"a dangling link", [&](const std::string& p) { fs::create_symlink(temp.file("nowhere"), p); }, false, "", ""},
        {"a FIFO", [](const std::string& p) { ::mkfifo(p.c_str(), 0600); }, false, "", ""},
        {"a folder", [](const std::string& p) { fs::create_directory(p); }, false, "", ""},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream(victim, std::ios::trunc) << "the victim's data\n";
        const std::string path = temp.file("scanningsdk" + std::to_string(n++) + ".log");
        c.plant(path);
        platform::AppendFile file;
        EXPECT_EQ(file.open(path, true), c.opens);
        EXPECT_EQ(file.append("line\n"), c.opens);
        if (c.opens) {
            EXPECT_EQ(vxtest::readFile(path), c.after);
        }
        EXPECT_EQ(vxtest::readFile(victim), "the victim's data\n");
        EXPECT_FALSE(fs::exists(temp.file("nowhere")));
    }
    if (!vxtest::runningAsRoot())
        return;
    // Another user's file is written to, never emptied.
    const std::string theirs = temp.file("theirs.log");
    std::ofstream(theirs) << "their lines\n";
    ASSERT_EQ(::chown(theirs.c_str(), vxtest::kOtherUid, vxtest::kOtherUid), 0);
    platform::AppendFile file;
    ASSERT_TRUE(file.open(theirs, true));
    EXPECT_TRUE(file.append("line\n"));
    EXPECT_EQ(vxtest::readFile(theirs), "their lines\nline\n");
}

}  // namespace
