// Loading shared libraries by path, finding exports, freeing them, and the
// file-existence test.

#include "TestSupport.h"

#include "platform/error.h"
#include "platform/module.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

using Answer = int (*)();

std::string probePath() { return vxtest::programDirectory() + "/libvx_module_probe.so"; }

// A copy of the probe for one case alone: the class-creation cases register
// the shared file as a server, and servers stay loaded for the life of the
// process, so only a file of its own is sure to load fresh and unload.
std::string ownProbe(const vxtest::TempDir& dir)
{
    const std::string path = dir.file("libvx_module_probe.so");
    std::filesystem::copy_file(probePath(), path);
    return path;
}

// Every byte of a narrow text as one wide character, as the SDK widens paths.
std::wstring widened(const std::string& text)
{
    std::wstring wide;
    for (unsigned char c : text)
        wide.push_back(static_cast<wchar_t>(c));
    return wide;
}

TEST(Module, LoadsFindsAnExportAndFreesIt)
{
    vxtest::TempDir dir;
    HMODULE module = LoadLibraryW(widened(ownProbe(dir)).c_str());
    ASSERT_NE(module, nullptr) << GetLastError();
    auto answer = reinterpret_cast<Answer>(GetProcAddress(module, "vx_module_probe_answer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);

    EXPECT_EQ(GetProcAddress(module, "vx_module_probe_missing"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
    EXPECT_EQ(GetProcAddress(module, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_FALSE(FreeLibrary(module)) << "freed already";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(GetProcAddress(module, "vx_module_probe_answer"), nullptr) << "a freed module is not used";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(Module, EachLoadCountsAReferenceAndTheLastFreeUnloads)
{
    vxtest::TempDir dir;
    const std::string probe = ownProbe(dir);
    HMODULE first = LoadLibraryA(probe.c_str());
    HMODULE second = LoadLibraryW(widened(probe).c_str());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second) << "one file, one module";
    auto answer = reinterpret_cast<Answer>(GetProcAddress(first, "vx_module_probe_answer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    ASSERT_TRUE(FreeLibrary(first));
    // Still loaded through the second reference: its state is kept.
    answer = reinterpret_cast<Answer>(GetProcAddress(second, "vx_module_probe_answer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 1042);
    ASSERT_TRUE(FreeLibrary(second));

    HMODULE again = LoadLibraryA(probe.c_str());
    ASSERT_NE(again, nullptr);
    answer = reinterpret_cast<Answer>(GetProcAddress(again, "vx_module_probe_answer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42) << "loaded afresh after the last free";
    FreeLibrary(again);
}

TEST(Module, AUtf8FolderLoadsWhenItsBytesAreWidenedOneByOne)
{
    vxtest::TempDir dir;
    const std::filesystem::path folder = dir.path() / "Bibliothèk-\xc3\xbc";  // UTF-8 bytes
    std::filesystem::create_directory(folder);
    std::filesystem::copy_file(probePath(), folder / "libprobe.so");
    const std::string path = (folder / "libprobe.so").string();

    EXPECT_EQ(GetFileAttributesW(widened(path).c_str()), FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(GetFileAttributesW(widened(folder.string()).c_str()), FILE_ATTRIBUTE_DIRECTORY);
    HMODULE module = LoadLibraryW(widened(path).c_str());
    ASSERT_NE(module, nullptr) << GetLastError();
    EXPECT_NE(GetProcAddress(module, "vx_module_probe_answer"), nullptr);
    EXPECT_TRUE(FreeLibrary(module));
}

TEST(Module, FailuresCarryTheirCodes)
{
    vxtest::TempDir dir;
    const std::string text = dir.file("not-a-library.so");
    std::ofstream(text) << "plain text";
    const struct {
        const char* what;
        std::string path;
        DWORD load;
        DWORD attributes;
    } cases[] = {
        {"missing file", dir.file("missing.so"), ERROR_MOD_NOT_FOUND, ERROR_FILE_NOT_FOUND},
        {"missing folder", dir.file("gone/lib.so"), ERROR_MOD_NOT_FOUND, ERROR_FILE_NOT_FOUND},
        {"a file on the way", text + "/lib.so", ERROR_MOD_NOT_FOUND, ERROR_PATH_NOT_FOUND},
        {"not a library", text, ERROR_BAD_EXE_FORMAT, ERROR_SUCCESS},
        {"a folder", dir.path().string(), ERROR_BAD_EXE_FORMAT, ERROR_SUCCESS},
        {"empty path", "", ERROR_INVALID_PARAMETER, ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetLastError(0);
        EXPECT_EQ(LoadLibraryW(widened(c.path).c_str()), nullptr);
        EXPECT_EQ(GetLastError(), c.load);
        const DWORD attributes = GetFileAttributesW(widened(c.path).c_str());
        if (c.attributes != ERROR_SUCCESS) {
            EXPECT_EQ(attributes, INVALID_FILE_ATTRIBUTES);
            EXPECT_EQ(GetLastError(), c.attributes);
        } else {
            EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES);
        }
    }
    EXPECT_EQ(LoadLibraryW(nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(FreeLibrary(nullptr));
    EXPECT_FALSE(FreeLibrary(reinterpret_cast<HMODULE>(&dir)));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

}  // namespace
