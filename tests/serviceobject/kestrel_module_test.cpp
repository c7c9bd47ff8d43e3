// The service-object library as COM loads it: registration, the class
// objects, the unload answer and the application object's last line.
#include "TestSupport.h"

#include "platform/com.h"
#include "platform/dispatch.h"
#include "platform/module.h"
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

// {6C6C8ADD-B4D1-467E-A69C-5CBE2CA37860}, {8C769425-C751-4E6B-8FD9-1E9D73A055AC}
constexpr CLSID kScanner{0x6C6C8ADD, 0xB4D1, 0x467E, {0xA6, 0x9C, 0x5C, 0xBE, 0x2C, 0xA3, 0x78, 0x60}};
constexpr CLSID kImager{0x8C769425, 0xC751, 0x4E6B, {0x8F, 0xD9, 0x1E, 0x9D, 0x73, 0xA0, 0x55, 0xAC}};
constexpr char kScannerKey[] = "CLSID\\{6C6C8ADD-B4D1-467E-A69C-5CBE2CA37860}";
constexpr char kImagerKey[] = "CLSID\\{8C769425-C751-4E6B-8FD9-1E9D73A055AC}";

std::string LibraryPath()
{
    return vxtest::programDirectory() + "/libVXKestrelSO.so";
}

HMODULE Library()
{
    static HMODULE library = LoadLibraryA(LibraryPath().c_str());
    return library;
}

template <typename F>
F Export(const char* name)
{
    return reinterpret_cast<F>(GetProcAddress(Library(), name));
}

std::string Text(const std::string& key, const char* name = nullptr)
{
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return "<no key>";
    char buffer[600] = {};
    DWORD size = sizeof buffer - 1;
    const LONG status = RegQueryValueExA(handle, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(handle);
    return status == ERROR_SUCCESS ? std::string(buffer) : "<no value>";
}

HRESULT Register()
{
    return Export<DllRegisterServerFunction>("DllRegisterServer")();
}

TEST(KestrelModule, RegistrationWritesBothClassesAndRemovesThem)
{
    ASSERT_NE(Library(), nullptr);
    ASSERT_EQ(Register(), S_OK);
    const std::string library = std::filesystem::canonical(LibraryPath()).string();
    const struct {
        std::string key;
        const char* name;
        std::string value;
    } expected[] = {
        {"VX.ScannerSO\\CLSID", nullptr, "{6C6C8ADD-B4D1-467E-A69C-5CBE2CA37860}"},
        {"VX.ImagerSO\\CLSID", nullptr, "{8C769425-C751-4E6B-8FD9-1E9D73A055AC}"},
        {std::string(kScannerKey) + "\\ProgID", nullptr, "VX.ScannerSO"},
        {std::string(kImagerKey) + "\\ProgID", nullptr, "VX.ImagerSO"},
        {std::string(kScannerKey) + "\\InprocServer32", nullptr, library},
        {std::string(kImagerKey) + "\\InprocServer32", nullptr, library},
        {std::string(kScannerKey) + "\\InprocServer32", "ThreadingModel", "Apartment"},
        {std::string(kImagerKey) + "\\InprocServer32", "ThreadingModel", "<no value>"},
    };
    for (const auto& e : expected)
        EXPECT_EQ(Text(e.key, e.name), e.value) << e.key << " " << (e.name ? e.name : "");

    CLSID found{};
    EXPECT_EQ(CLSIDFromProgID(u"VX.ScannerSO", &found), S_OK);
    EXPECT_EQ(found, kScanner);

    ASSERT_EQ(Export<DllRegisterServerFunction>("DllUnregisterServer")(), S_OK);
    for (const char* key : {"VX.ScannerSO", "VX.ImagerSO", kScannerKey, kImagerKey})
        EXPECT_EQ(Text(key), "<no key>") << key;

    // A registry that cannot be written fails registration.
    vxtest::TempDir dir;
    std::ofstream(dir.file("plain-file")) << "not a folder";
    platform::setRegistryPath(dir.file("plain-file") + "/registry.db");
    EXPECT_EQ(Register(), static_cast<HRESULT>(0x80040201u));
    platform::setRegistryPath("");
}

TEST(KestrelModule, UnloadWaitsForObjectsAndLocks)
{
    ASSERT_EQ(Register(), S_OK);
    const auto canUnload = Export<DllCanUnloadNowFunction>("DllCanUnloadNow");
    ASSERT_NE(canUnload, nullptr);
    EXPECT_EQ(canUnload(), S_OK);

    for (const CLSID& clsid : {kScanner, kImager}) {
        IDispatch* object = nullptr;
        ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                   reinterpret_cast<void**>(&object)),
                  S_OK);
        EXPECT_EQ(canUnload(), S_FALSE);
        object->Release();
        EXPECT_EQ(canUnload(), S_OK);
    }

    IClassFactory* factory = nullptr;
    ASSERT_EQ(CoGetClassObject(kScanner, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)),
              S_OK);
    factory->LockServer(TRUE);
    EXPECT_EQ(canUnload(), S_FALSE);
    factory->LockServer(FALSE);
    EXPECT_EQ(canUnload(), S_OK);
    factory->Release();
}

// The child half of the exit test: creates a scanner service object, keeps
// it when asked to, and ends the process normally.
TEST(KestrelExitChild, EndTheProcess)
{
    const char* mode = std::getenv("VX_KESTREL_EXIT_CHILD");
    if (mode == nullptr)
        GTEST_SKIP() << "runs only as the child of TheLastLineSaysWhetherObjectsAreLeft";
    IDispatch* object = nullptr;
    if (FAILED(CoCreateInstance(kScanner, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(&object))))
        std::exit(3);
    if (std::string(mode) != "live")
        object->Release();
    std::exit(0);
}

TEST(KestrelModule, TheLastLineSaysWhetherObjectsAreLeft)
{
    ASSERT_EQ(Register(), S_OK);
    vxtest::TempDir dir;
    const std::string program = vxtest::programDirectory() + "/kestrel_module_tests";
    for (const auto& [mode, line] : {std::pair<std::string, std::string>{"live", "KestrelSOApp has open automateion service objects \r\n"},
                                     {"released", "KestrelSOApp is exiting\r\n"}}) {
        const std::string output = dir.file(mode + ".txt");
        const std::string command = "VX_DEBUG_OUTPUT=stderr VX_KESTREL_EXIT_CHILD=" + mode + " '" + program +
                                    "' --gtest_filter=KestrelExitChild.EndTheProcess >/dev/null 2>'" + output + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << mode;
        const std::string written = vxtest::readFile(output);
        EXPECT_NE(written.find(line), std::string::npos) << mode << ": " << written;
        const std::string other = mode == "live" ? "KestrelSOApp is exiting" : "automateion";
        EXPECT_EQ(written.find(other), std::string::npos) << mode << ": " << written;
    }
}

}  // namespace
