// The registry stand-in: keys, values, enumeration order, the HKCR view,
// handle validation, file failures, and two processes writing at once.

#include "platform/registry.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// Sets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        if (value != nullptr)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_old)
            ::setenv(m_name.c_str(), m_old->c_str(), 1);
        else
            ::unsetenv(m_name.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

// Every case gets a registry file of its own in a folder of its own.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { platform::setRegistryPath(m_dir.file("registry.db")); }
    // Closes the connection before the folder goes (the file named here is
    // never opened, so never created).
    void TearDown() override { platform::setRegistryPath(m_dir.file("unused.db")); }

    static HKEY create(HKEY root, const char* path, DWORD* disposition = nullptr)
    {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, disposition))
            << path;
        return key;
    }
    static LONG open(HKEY root, const char* path, HKEY* key)
    {
        return RegOpenKeyExA(root, path, 0, KEY_READ, key);
    }
    static LONG setString(HKEY key, const char* name, const std::string& text)
    {
        return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>(text.size() + 1));
    }
    static LONG setDword(HKEY key, const char* name, DWORD value)
    {
        return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    }
    // The value's bytes, or "" when it cannot be read.
    static std::string query(HKEY key, const char* name, DWORD* type = nullptr)
    {
        char buffer[512];
        DWORD size = sizeof buffer;
        if (RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
            return {};
        return std::string(buffer, size);
    }
    static std::vector<std::string> subKeys(HKEY key)
    {
        std::vector<std::string> names;
        for (DWORD i = 0;; ++i) {
            char name[256];
            DWORD size = sizeof name;
            const LONG rc = RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
            if (rc != ERROR_SUCCESS) {
                EXPECT_EQ(ERROR_NO_MORE_ITEMS, rc);
                return names;
            }
            names.emplace_back(name, size);
        }
    }
    static std::vector<std::string> valueNames(HKEY key)
    {
        std::vector<std::string> names;
        for (DWORD i = 0;; ++i) {
            char name[256];
            DWORD size = sizeof name;
            const LONG rc = RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
            if (rc != ERROR_SUCCESS) {
                EXPECT_EQ(ERROR_NO_MORE_ITEMS, rc);
                return names;
            }
            names.emplace_back(name, size);
        }
    }

    vxtest::TempDir m_dir;
};

using Strings = std::vector<std::string>;

// ---------------------------------------------------------------- keys

TEST_F(RegistryTest, CreateReportsDispositionAndOpenFindsTheKey)
{
    DWORD disposition = 0;
    HKEY a = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnex\\Scanners", &disposition);
    EXPECT_EQ(REG_CREATED_NEW_KEY, disposition);
    ASSERT_EQ(ERROR_SUCCESS, setString(a, "Model", "KS-300"));

    HKEY b = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnex\\Scanners", &disposition);
    EXPECT_EQ(REG_OPENED_EXISTING_KEY, disposition);
    EXPECT_EQ(std::string("KS-300", 7), query(b, "Model"));

    // Empty components are ignored.
    HKEY c = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, open(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\\\Varnex\\Scanners\\", &c));
    EXPECT_EQ(std::string("KS-300", 7), query(c, "Model"));

    // A null or empty sub-key gives a new handle on the key itself.
    HKEY d = nullptr;
    HKEY e = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, open(c, nullptr, &d));
    ASSERT_EQ(ERROR_SUCCESS, open(c, "", &e));
    EXPECT_NE(c, d);
    EXPECT_NE(d, e);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(c));
    EXPECT_EQ(std::string("KS-300", 7), query(d, "Model"));
    EXPECT_EQ(std::string("KS-300", 7), query(e, "Model"));

    // Keys are made relative to the handle.
    HKEY f = create(a, "Port\\Settings", &disposition);
    EXPECT_EQ(REG_CREATED_NEW_KEY, disposition);
    HKEY g = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnex\\Scanners\\Port\\Settings", &g));

    // A key name has at most 255 characters, so a 256-byte buffer always
    // takes it.
    HKEY h = nullptr;
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegCreateKeyExA(a, std::string(256, 'k').c_str(), 0, nullptr, 0,
                                                       KEY_ALL_ACCESS, nullptr, &h, nullptr));
    EXPECT_EQ(nullptr, h);
    RegCloseKey(create(a, std::string(255, 'k').c_str()));
    EXPECT_EQ((Strings{"Port", std::string(255, 'k')}), subKeys(a));

    for (HKEY key : {a, b, d, e, f, g})
        EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
}

TEST_F(RegistryTest, NamesMatchInAnyCaseAndKeepTheirSpelling)
{
    HKEY key = create(HKEY_LOCAL_MACHINE, "Software\\VarNex");
    ASSERT_EQ(ERROR_SUCCESS, setString(key, "DeviceName", "first"));

    HKEY again = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, open(HKEY_LOCAL_MACHINE, "SOFTWARE\\varnex", &again));
    DWORD disposition = 0;
    HKEY third = create(HKEY_LOCAL_MACHINE, "software\\VARNEX", &disposition);
    EXPECT_EQ(REG_OPENED_EXISTING_KEY, disposition);

    EXPECT_EQ(std::string("first", 6), query(again, "DEVICENAME"));
    ASSERT_EQ(ERROR_SUCCESS, setString(third, "devicename", "second"));
    EXPECT_EQ(std::string("second", 7), query(key, "DeviceName"));

    EXPECT_EQ(Strings{"Software"}, subKeys(HKEY_LOCAL_MACHINE));
    EXPECT_EQ(Strings{"VarNex"}, subKeys(create(HKEY_LOCAL_MACHINE, "SOFTWARE")));
    EXPECT_EQ(Strings{"DeviceName"}, valueNames(third));

    // Only ASCII folds: bytes above 127 are compared as they are.
    HKEY upper = create(key, "\xC9tat");
    HKEY lower = create(key, "\xE9tat");
    ASSERT_EQ(ERROR_SUCCESS, setString(key, "Caf\xC9", "upper"));
    ASSERT_EQ(ERROR_SUCCESS, setString(key, "caf\xE9", "lower"));
    EXPECT_EQ((Strings{"\xC9tat", "\xE9tat"}), subKeys(key));
    EXPECT_EQ(std::string("upper", 6), query(key, "CAF\xC9"));
    EXPECT_EQ(std::string("lower", 6), query(key, "CAF\xE9"));

    for (HKEY k : {key, again, third, upper, lower})
        RegCloseKey(k);
}

TEST_F(RegistryTest, ClassesRootIsAViewOfMachineSoftwareClasses)
{
    // Before anything exists, HKCR reads as an empty key.
    HKEY missing = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, open(HKEY_CLASSES_ROOT, "CLSID", &missing));
    char name[64];
    DWORD size = sizeof name;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyExA(HKEY_CLASSES_ROOT, 0, name, &size, nullptr, nullptr, nullptr,
                                                 nullptr));
    HKEY root = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, open(HKEY_CLASSES_ROOT, nullptr, &root));

    // Written below HKLM, read through HKCR ...
    HKEY server = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\CLSID\\{4A1C}\\InprocServer32");
    ASSERT_EQ(ERROR_SUCCESS, setString(server, nullptr, "/opt/varnex/libVXKestrelSO.so"));
    HKEY viaClasses = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, open(HKEY_CLASSES_ROOT, "clsid\\{4a1c}\\InprocServer32", &viaClasses));
    EXPECT_EQ(std::string("/opt/varnex/libVXKestrelSO.so", 30), query(viaClasses, ""));

    // ... and the other way round; HKCR lists only what is below Classes.
    HKEY progId = create(HKEY_CLASSES_ROOT, "Varnex.Scanner\\CLSID");
    ASSERT_EQ(ERROR_SUCCESS, setString(progId, nullptr, "{4A1C}"));
    HKEY viaMachine = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\Varnex.Scanner\\CLSID", &viaMachine));
    EXPECT_EQ(std::string("{4A1C}", 7), query(viaMachine, nullptr));
    EXPECT_EQ((Strings{"CLSID", "Varnex.Scanner"}), subKeys(HKEY_CLASSES_ROOT));
    // A handle opened on the view before its key existed sees it now.
    EXPECT_EQ((Strings{"CLSID", "Varnex.Scanner"}), subKeys(root));

    for (HKEY k : {root, server, viaClasses, progId, viaMachine})
        RegCloseKey(k);
}

TEST_F(RegistryTest, ClassesRootCreatesItsKeyOnFirstWrite)
{
    ASSERT_EQ(ERROR_SUCCESS, setString(HKEY_CLASSES_ROOT, "Marker", "x"));
    HKEY classes = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes", &classes));
    EXPECT_EQ(std::string("x", 2), query(classes, "Marker"));
    RegCloseKey(classes);
}

TEST_F(RegistryTest, DeleteKeyRefusesAKeyWithSubKeysAndDeleteTreeRemovesEverything)
{
    HKEY leaf = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnex\\A\\B\\C");
    ASSERT_EQ(ERROR_SUCCESS, setString(leaf, "v", "leaf"));
    HKEY a = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnex\\A");
    ASSERT_EQ(ERROR_SUCCESS, setString(a, "v", "a"));
    create(a, "B2");

    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnex\\A\\B"));
    EXPECT_EQ(std::string("leaf", 5), query(leaf, "v"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(a, "b\\c"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(a, "B"));
    EXPECT_EQ(Strings{"B2"}, subKeys(a));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_CLASSES_ROOT, ""));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegDeleteKeyA(a, nullptr));

    // Emptying a key leaves it in place.
    create(a, "B3\\Deep");
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeA(a, nullptr));
    EXPECT_EQ(Strings{}, subKeys(a));
    EXPECT_EQ(Strings{}, valueNames(a));
    HKEY still = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnex\\A", &still));

    create(a, "B\\C\\D");
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeA(HKEY_LOCAL_MACHINE, "software\\varnex\\a"));
    HKEY gone = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnex\\A", &gone));
    EXPECT_EQ(nullptr, gone);
    EXPECT_EQ(Strings{}, subKeys(create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnex")));

    // Re-created, the key starts empty.
    HKEY fresh = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnex\\A\\B\\C");
    EXPECT_EQ(Strings{}, valueNames(fresh));
}

TEST_F(RegistryTest, MissingKeysAndValuesAnswerFileNotFound)
{
    HKEY key = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnex");
    ASSERT_EQ(ERROR_SUCCESS, setString(key, "Present", "yes"));
    HKEY out = nullptr;
    DWORD size = 0;

    struct Case {
        const char* what;
        LONG rc;
    };
    const Case cases[] = {
        {"open a missing key", open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing", &out)},
        {"open below a missing key", open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing\\Deeper", &out)},
        {"query a missing value", RegQueryValueExA(key, "Absent", nullptr, nullptr, nullptr, &size)},
        {"query the missing default value", RegQueryValueExA(key, nullptr, nullptr, nullptr, nullptr, &size)},
        {"delete a missing value", RegDeleteValueA(key, "Absent")},
        {"delete a missing key", RegDeleteKeyA(key, "Absent")},
        {"delete a missing tree", RegDeleteTreeA(key, "Absent\\Deeper")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, c.rc) << c.what;
    EXPECT_EQ(std::string("yes", 4), query(key, "Present"));
}

// ---------------------------------------------------------------- values

TEST_F(RegistryTest, ValuesRoundTripAndStringsAlwaysEndWithNul)
{
    HKEY key = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnex");
    using namespace std::string_literals;
    struct Case {
        const char* what;
        DWORD type;
        std::string written;
        std::string stored;
    };
    const Case cases[] = {
        {"string with its NUL", REG_SZ, "COM3\0"s, "COM3\0"s},
        {"string without a NUL", REG_SZ, "COM3"s, "COM3\0"s},
        {"empty string", REG_SZ, ""s, "\0"s},
        {"expandable string without a NUL", REG_EXPAND_SZ, "%HOME%"s, "%HOME%\0"s},
        {"latin-1 bytes", REG_SZ, "Gr\xFC\xDF"s, "Gr\xFC\xDF\0"s},
        {"binary stays as written", REG_BINARY, "\x01\x00\xFF"s, "\x01\x00\xFF"s},
        {"empty binary", REG_BINARY, ""s, ""s},
        {"multi-string", REG_MULTI_SZ, "a\0b\0\0"s, "a\0b\0\0"s},
        {"dword", REG_DWORD, "\xEF\xBE\xAD\xDE"s, "\xEF\xBE\xAD\xDE"s},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, c.what, 0, c.type, reinterpret_cast<const BYTE*>(c.written.data()),
                                                static_cast<DWORD>(c.written.size())))
            << c.what;
        DWORD type = 99;
        DWORD size = 0;
        ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, c.what, nullptr, &type, nullptr, &size)) << c.what;
        EXPECT_EQ(c.type, type) << c.what;
        EXPECT_EQ(c.stored.size(), size) << c.what;
        EXPECT_EQ(c.stored, query(key, c.what)) << c.what;
    }

    // The default value has the empty name, null or "".
    ASSERT_EQ(ERROR_SUCCESS, setString(key, nullptr, "default"));
    EXPECT_EQ(std::string("default", 8), query(key, ""));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, ""));
    EXPECT_EQ("", query(key, nullptr));

    // A value may change its type.
    ASSERT_EQ(ERROR_SUCCESS, setDword(key, "string with its NUL", 7));
    DWORD type = 0;
    EXPECT_EQ(std::string("\x07\0\0\0", 4), query(key, "string with its NUL", &type));
    EXPECT_EQ(REG_DWORD, type);
}

TEST_F(RegistryTest, DwordIsExactlyFourBytes)
{
    HKEY key = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnex");
    const BYTE bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    for (DWORD size : {0u, 2u, 3u, 5u, 8u})
        EXPECT_EQ(ERROR_INVALID_PARAMETER, RegSetValueExA(key, "Port", 0, REG_DWORD, bytes, size)) << size;
    DWORD needed = 0;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key, "Port", nullptr, nullptr, nullptr, &needed));

    ASSERT_EQ(ERROR_SUCCESS, setDword(key, "Port", 0xFFFFFFFEu));
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Port", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size));
    EXPECT_EQ(REG_DWORD, type);
    EXPECT_EQ(sizeof value, size);
    EXPECT_EQ(0xFFFFFFFEu, value);
}

TEST_F(RegistryTest, ShortBufferAnswersMoreDataWithTheSizeNeeded)
{
    HKEY key = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnex");
    ASSERT_EQ(ERROR_SUCCESS, setString(key, "Path", "/dev/ttyACM0"));  // 13 bytes with the NUL

    DWORD size = 0;
    DWORD type = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Path", nullptr, &type, nullptr, &size));
    EXPECT_EQ(13u, size);

    char buffer[32];
    std::memset(buffer, '#', sizeof buffer);
    for (DWORD capacity : {0u, 1u, 12u}) {
        size = capacity;
        type = 0;
        EXPECT_EQ(ERROR_MORE_DATA,
                  RegQueryValueExA(key, "Path", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size))
            << capacity;
        EXPECT_EQ(13u, size) << capacity;
        EXPECT_EQ(REG_SZ, type) << capacity;
    }

    size = 13;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Path", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size));
    EXPECT_STREQ("/dev/ttyACM0", buffer);
    EXPECT_EQ('#', buffer[13]);

    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegQueryValueExA(key, "Path", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), nullptr));
}

TEST_F(RegistryTest, IncrementAddsToADwordAndRefusesOtherTypes)
{
    HKEY key = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnex\\Counters");
    DWORD result = 0;
    ASSERT_EQ(ERROR_SUCCESS, platform::RegIncrementDword(key, "Opens", 1, &result));
    EXPECT_EQ(1u, result);
    ASSERT_EQ(ERROR_SUCCESS, platform::RegIncrementDword(key, "opens", 5, &result));
    EXPECT_EQ(6u, result);
    ASSERT_EQ(ERROR_SUCCESS, platform::RegIncrementDword(key, "Opens", 0, nullptr));
    EXPECT_EQ(std::string("\x06\0\0\0", 4), query(key, "Opens"));
    EXPECT_EQ(Strings{"Opens"}, valueNames(key));

    ASSERT_EQ(ERROR_SUCCESS, setDword(key, "Wraps", 0xFFFFFFFFu));
    ASSERT_EQ(ERROR_SUCCESS, platform::RegIncrementDword(key, "Wraps", 2, &result));
    EXPECT_EQ(1u, result);

    ASSERT_EQ(ERROR_SUCCESS, setString(key, "Text", "12"));
    result = 77;
    EXPECT_EQ(ERROR_INVALID_PARAMETER, platform::RegIncrementDword(key, "Text", 1, &result));
    EXPECT_EQ(77u, result);
    EXPECT_EQ(std::string("12", 3), query(key, "Text"));
}

TEST_F(RegistryTest, IncrementFromManyThreadsLosesNothing)
{
    HKEY key = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnex\\Counters");
    constexpr int kThreads = 4;
    constexpr int kEach = 250;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < kEach; ++i)
                if (platform::RegIncrementDword(key, "Count", 1, nullptr) != ERROR_SUCCESS)
                    ++failures;
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(0, failures.load());
    DWORD type = 0;
    const std::string bytes = query(key, "Count", &type);
    ASSERT_EQ(sizeof(DWORD), bytes.size());
    DWORD count = 0;
    std::memcpy(&count, bytes.data(), sizeof count);
    EXPECT_EQ(static_cast<DWORD>(kThreads * kEach), count);
}

// ---------------------------------------------------------------- enumeration

TEST_F(RegistryTest, KeysAndValuesEnumerateInTheOrderFirstCreated)
{
    HKEY key = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnex\\Devices");
    for (const char* name : {"Zeta", "alpha", "Mid"})
        RegCloseKey(create(key, name));
    create(key, "ALPHA");  // opens the existing one
    EXPECT_EQ((Strings{"Zeta", "alpha", "Mid"}), subKeys(key));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(key, "Zeta"));
    RegCloseKey(create(key, "zeta"));
    EXPECT_EQ((Strings{"alpha", "Mid", "zeta"}), subKeys(key));

    for (const char* name : {"b", "a", "c"})
        ASSERT_EQ(ERROR_SUCCESS, setString(key, name, "first"));
    ASSERT_EQ(ERROR_SUCCESS, setString(key, "B", "overwritten"));  // keeps its place
    ASSERT_EQ(ERROR_SUCCESS, setDword(key, "a", 1));               // even with another type
    EXPECT_EQ((Strings{"b", "a", "c"}), valueNames(key));
    EXPECT_EQ(std::string("overwritten", 12), query(key, "b"));

    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, "b"));  // deleted and re-written: to the end
    ASSERT_EQ(ERROR_SUCCESS, setString(key, "B", "again"));
    EXPECT_EQ((Strings{"a", "c", "B"}), valueNames(key));

    // Values of other keys written in between do not disturb the order.
    HKEY other = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnex\\Other");
    ASSERT_EQ(ERROR_SUCCESS, setString(other, "x", "x"));
    ASSERT_EQ(ERROR_SUCCESS, setString(key, "d", "d"));
    EXPECT_EQ((Strings{"a", "c", "B", "d"}), valueNames(key));
}

TEST_F(RegistryTest, EnumerationReportsTypesDataAndShortBuffers)
{
    HKEY key = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnex");
    RegCloseKey(create(key, "Scanner"));  // 7 characters
    ASSERT_EQ(ERROR_SUCCESS, setString(key, "Port", "COM12"));
    ASSERT_EQ(ERROR_SUCCESS, setDword(key, "Baud", 9600));

    char name[16];
    DWORD nameSize = 7;  // no room for the NUL
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyExA(key, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr));
    nameSize = 8;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyExA(key, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(7u, nameSize);
    EXPECT_STREQ("Scanner", name);
    nameSize = sizeof name;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyExA(key, 1, name, &nameSize, nullptr, nullptr, nullptr, nullptr));

    BYTE data[16];
    DWORD dataSize = sizeof data;
    DWORD type = 0;
    nameSize = 4;  // "Port" needs 5
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueA(key, 0, name, &nameSize, nullptr, &type, data, &dataSize));
    nameSize = sizeof name;
    dataSize = 3;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueA(key, 0, name, &nameSize, nullptr, &type, data, &dataSize));
    EXPECT_EQ(6u, dataSize);
    nameSize = sizeof name;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumValueA(key, 0, name, &nameSize, nullptr, &type, data, &dataSize));
    EXPECT_STREQ("Port", name);
    EXPECT_EQ(4u, nameSize);
    EXPECT_EQ(REG_SZ, type);
    EXPECT_EQ(6u, dataSize);
    EXPECT_STREQ("COM12", reinterpret_cast<const char*>(data));

    nameSize = sizeof name;
    dataSize = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumValueA(key, 1, name, &nameSize, nullptr, &type, nullptr, &dataSize));
    EXPECT_STREQ("Baud", name);
    EXPECT_EQ(REG_DWORD, type);
    EXPECT_EQ(4u, dataSize);
    nameSize = sizeof name;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumValueA(key, 2, name, &nameSize, nullptr, &type, data, &dataSize));
}

TEST_F(RegistryTest, QueryInfoKeyGivesCountsAndLongestLengths)
{
    HKEY key = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnex");
    DWORD subKeys = 9, maxSubKey = 9, values = 9, maxValueName = 9, maxValue = 9;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, &maxSubKey, nullptr, &values,
                                              &maxValueName, &maxValue, nullptr, nullptr));
    EXPECT_EQ(0u, subKeys + maxSubKey + values + maxValueName + maxValue);

    for (const char* name : {"A", "Longest\xE9Name", "Mid"})  // 12 bytes the longest
        RegCloseKey(create(key, name));
    RegCloseKey(create(key, "A\\NotCounted\\AtAll"));
    ASSERT_EQ(ERROR_SUCCESS, setString(key, "Short", "0123456789"));  // 11 bytes
    ASSERT_EQ(ERROR_SUCCESS, setDword(key, "AVeryLongValueName", 1));  // 18 characters
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, &maxSubKey, nullptr, &values,
                                              &maxValueName, &maxValue, nullptr, nullptr));
    EXPECT_EQ(3u, subKeys);
    EXPECT_EQ(12u, maxSubKey);
    EXPECT_EQ(2u, values);
    EXPECT_EQ(18u, maxValueName);
    EXPECT_EQ(11u, maxValue);
    // Every pointer may be null.
    EXPECT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                              nullptr, nullptr, nullptr, nullptr));
}

// ---------------------------------------------------------------- handles

TEST_F(RegistryTest, StaleAndMadeUpHandlesAnswerInvalidHandle)
{
    HKEY closed = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnex");
    ASSERT_EQ(ERROR_SUCCESS, RegCloseKey(closed));
    // The next handle must not bring the closed one back to life.
    HKEY next = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Other");
    ASSERT_EQ(ERROR_SUCCESS, setString(next, "v", "x"));

    const HKEY bad[] = {
        closed,
        nullptr,
        reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x1234)),
        reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000001u)),  // a root we do not offer
    };
    for (HKEY key : bad) {
        SCOPED_TRACE(reinterpret_cast<ULONG_PTR>(key));
        HKEY out = nullptr;
        DWORD size = 0;
        char name[16];
        DWORD nameSize = sizeof name;
        EXPECT_EQ(ERROR_INVALID_HANDLE, open(key, "", &out));
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegCreateKeyExA(key, "Sub", 0, nullptr, 0, 0, nullptr, &out, nullptr));
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size));
        EXPECT_EQ(ERROR_INVALID_HANDLE, setString(key, "v", "y"));
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegDeleteValueA(key, "v"));
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegDeleteTreeA(key, nullptr));
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegEnumKeyExA(key, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(ERROR_INVALID_HANDLE, platform::RegIncrementDword(key, "n", 1, nullptr));
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key));
    }
    EXPECT_EQ(std::string("x", 2), query(next, "v"));

    // The predefined roots need no closing; closing them does no harm.
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_LOCAL_MACHINE));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_CLASSES_ROOT));
    EXPECT_EQ(std::string("x", 2), query(next, "v"));
}

TEST_F(RegistryTest, HandlesFromAnotherRegistryFileAreInvalid)
{
    HKEY old = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnex");
    platform::setRegistryPath(m_dir.file("second.db"));
    EXPECT_EQ(ERROR_INVALID_HANDLE, setString(old, "v", "x"));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(old));
    HKEY none = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnex", &none));
    EXPECT_EQ(m_dir.file("second.db"), platform::registryPath());
}

TEST_F(RegistryTest, HandleOnADeletedKeyAnswersKeyDeleted)
{
    HKEY key = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnex\\Device");
    ASSERT_EQ(ERROR_SUCCESS, setString(key, "v", "x"));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnex"));

    // Re-created under the same name, it is another key: the old handle
    // must not reach it.
    HKEY recreated = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnex\\Device");
    ASSERT_EQ(ERROR_SUCCESS, setString(recreated, "v", "new"));

    HKEY out = nullptr;
    DWORD size = 0;
    char name[16];
    DWORD nameSize = sizeof name;
    EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_KEY_DELETED, setString(key, "v", "y"));
    EXPECT_EQ(ERROR_KEY_DELETED, RegCreateKeyExA(key, "Sub", 0, nullptr, 0, 0, nullptr, &out, nullptr));
    EXPECT_EQ(ERROR_KEY_DELETED, open(key, nullptr, &out));
    EXPECT_EQ(ERROR_KEY_DELETED, RegEnumValueA(key, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_KEY_DELETED, RegDeleteKeyA(key, ""));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    EXPECT_EQ(std::string("new", 4), query(recreated, "v"));

    // Deleted through its own handle.
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(recreated, ""));
    EXPECT_EQ(ERROR_KEY_DELETED, setString(recreated, "v", "z"));
}

// ---------------------------------------------------------------- the file

TEST_F(RegistryTest, DefaultFileFollowsTheEnvironmentAndItsFoldersAreCreated)
{
    const std::string config = m_dir.file("config");
    ScopedEnv noRegistry("VX_REGISTRY", nullptr);
    ScopedEnv configHome("XDG_CONFIG_HOME", config.c_str());
    platform::setRegistryPath("");
    EXPECT_EQ(config + "/varnex/registry.db", platform::registryPath());
    HKEY key = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnex");
    EXPECT_TRUE(std::filesystem::exists(config + "/varnex/registry.db"));
    RegCloseKey(key);

    const std::string chosen = m_dir.file("chosen.db");
    ScopedEnv registry("VX_REGISTRY", chosen.c_str());
    platform::setRegistryPath("");
    EXPECT_EQ(chosen, platform::registryPath());
}

TEST_F(RegistryTest, UnusableFilesAnswerAnErrorAndTheNextFileWorks)
{
    const std::string blocker = m_dir.file("plain-file");
    std::ofstream(blocker) << "x";

    const std::string cases[][2] = {
        {"folder is a plain file", blocker + "/registry.db"},
        {"path is a folder", m_dir.path().string()},
        {"file cannot be made", "/proc/registry.db"},
    };
    for (const auto& [what, path] : cases) {
        SCOPED_TRACE(what);
        platform::setRegistryPath(path);
        HKEY key = nullptr;
        const LONG created = RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, nullptr, 0, 0, nullptr, &key, nullptr);
        DWORD size = 0;
        const LONG queried = RegQueryValueExA(HKEY_LOCAL_MACHINE, "v", nullptr, nullptr, nullptr, &size);
        EXPECT_NE(ERROR_SUCCESS, created);
        EXPECT_EQ(nullptr, key);
        EXPECT_NE(ERROR_SUCCESS, queried);
        EXPECT_NE(ERROR_FILE_NOT_FOUND, queried);
    }

    platform::setRegistryPath(m_dir.file("good.db"));
    HKEY key = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnex");
    EXPECT_EQ(ERROR_SUCCESS, setString(key, "v", "x"));
}

// A file that is not a database at all is moved aside, as it was, and a new
// registry starts in its place.
TEST_F(RegistryTest, AFileThatIsNotADatabaseIsMovedAsideAndANewOneStarts)
{
    const std::string corrupt = m_dir.file("corrupt.db");
    {
        std::ofstream out(corrupt, std::ios::binary);
        for (int i = 0; i < 200; ++i)
            out << "this is not a database, only text that fills a few pages. ";
    }
    const std::string text = vxtest::readFile(corrupt);
    platform::setRegistryPath(corrupt);
    HKEY key = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnex");
    EXPECT_EQ(ERROR_SUCCESS, setString(key, "v", "x"));
    std::vector<std::string> aside;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.path()))
        if (entry.path().filename().string().rfind("corrupt.db.corrupt-", 0) == 0)
            aside.push_back(entry.path().string());
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(vxtest::readFile(aside[0]), text);
}

// ---------------------------------------------------------------- two processes

// The child side of the cross-process tests: skipped unless a parent test
// started this program with the registry file and a task in the environment.
constexpr int kGateFd = 100;
constexpr int kIncrements = 1000;
constexpr int kValuesEach = 200;

TEST(RegistryChild, Work)
{
    const char* file = std::getenv("VX_REGISTRY_CHILD_FILE");
    const char* task = std::getenv("VX_REGISTRY_CHILD_TASK");
    if (file == nullptr || task == nullptr)
        GTEST_SKIP() << "runs only as a child of the two-process tests";

    // Wait until the parent has started every child: it closes the pipe.
    char c;
    ssize_t n;
    do
        n = ::read(kGateFd, &c, 1);
    while (n > 0 || (n < 0 && errno == EINTR));
    ::close(kGateFd);

    platform::setRegistryPath(file);
    const std::string job = task;
    if (job == "increment") {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnex\\Counters", 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key, nullptr));
        DWORD last = 0;
        for (int i = 0; i < kIncrements; ++i) {
            DWORD now = 0;
            ASSERT_EQ(ERROR_SUCCESS, platform::RegIncrementDword(key, "Count", 1, &now)) << i;
            ASSERT_GT(now, last) << i;
            last = now;
        }
    } else {
        // "write:<prefix>"
        const std::string prefix = job.substr(job.find(':') + 1);
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnex\\Shared", 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key, nullptr));
        for (int i = 0; i < kValuesEach; ++i) {
            const std::string name = prefix + std::to_string(i);
            ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name.c_str(), 0, REG_SZ,
                                                    reinterpret_cast<const BYTE*>(name.c_str()),
                                                    static_cast<DWORD>(name.size())));
        }
    }
}

// Starts one child per task at once (held at a gate until all are running)
// and waits for them; true when every child passed.
bool runChildren(const std::string& file, const std::vector<std::string>& tasks)
{
    const std::string program = std::filesystem::read_symlink("/proc/self/exe").string();
    int gate[2];
    if (::pipe2(gate, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe2: " << std::strerror(errno);
        return false;
    }
    std::vector<pid_t> children;
    for (const auto& task : tasks) {
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e)
            env.emplace_back(*e);
        env.push_back("VX_REGISTRY_CHILD_FILE=" + file);
        env.push_back("VX_REGISTRY_CHILD_TASK=" + task);
        std::vector<char*> envp;
        for (auto& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string filter = "--gtest_filter=RegistryChild.Work";
        std::string brief = "--gtest_brief=1";
        char* argv[] = {const_cast<char*>(program.c_str()), filter.data(), brief.data(), nullptr};

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, gate[0], kGateFd);
        pid_t pid = 0;
        const int rc = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            ADD_FAILURE() << "posix_spawn: " << std::strerror(rc);
            break;
        }
        children.push_back(pid);
    }
    ::close(gate[0]);
    ::close(gate[1]);  // opens the gate

    bool passed = children.size() == tasks.size();
    std::vector<pid_t> running = children;
    const bool allEnded = vxtest::waitUntil(
        [&] {
            for (auto it = running.begin(); it != running.end();) {
                int status = 0;
                if (::waitpid(*it, &status, WNOHANG) == *it) {
                    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
                        ADD_FAILURE() << "child " << *it << " ended with status " << status;
                        passed = false;
                    }
                    it = running.erase(it);
                } else {
                    ++it;
                }
            }
            return running.empty();
        },
        std::chrono::seconds(120));
    if (!allEnded) {
        for (pid_t pid : running) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        ADD_FAILURE() << running.size() << " children did not end";
        passed = false;
    }
    return passed;
}

TEST_F(RegistryTest, TwoProcessesIncrementingOneCounterEndAtTheSum)
{
    const std::string file = m_dir.file("shared.db");
    ASSERT_TRUE(runChildren(file, {"increment", "increment"}));

    platform::setRegistryPath(file);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnex\\Counters", &key));
    DWORD count = 0;
    DWORD size = sizeof count;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Count", nullptr, nullptr, reinterpret_cast<BYTE*>(&count), &size));
    EXPECT_EQ(static_cast<DWORD>(2 * kIncrements), count);
}

TEST_F(RegistryTest, TwoProcessesWritingOneKeyKeepEveryValue)
{
    // Neither the file nor the key exists yet: the children race to make
    // both.
    const std::string file = m_dir.file("shared.db");
    ASSERT_TRUE(runChildren(file, {"write:first-", "write:second-"}));

    platform::setRegistryPath(file);
    EXPECT_EQ(Strings{"SOFTWARE"}, subKeys(HKEY_LOCAL_MACHINE));
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnex\\Shared", &key));
    EXPECT_EQ(Strings{"Shared"}, subKeys(create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varnex")));
    const Strings names = valueNames(key);
    EXPECT_EQ(static_cast<std::size_t>(2 * kValuesEach), names.size());
    for (const char* prefix : {"first-", "second-"})
        for (int i = 0; i < kValuesEach; ++i) {
            const std::string name = prefix + std::to_string(i);
            EXPECT_EQ(name + '\0', query(key, name.c_str())) << name;
        }
}

}  // namespace
