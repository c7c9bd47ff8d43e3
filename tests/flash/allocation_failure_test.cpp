// Allocation failures inside the tool's operations. Hosts call the library
// through a C interface and a table of virtual operations, so nothing may
// leave it as an exception: every operation answers its failure result
// instead, and keeps its state sound for the next call.
//
// This program replaces the global allocation functions (below) so that a
// test can make the n-th allocation of its own thread fail; a sweep runs an
// operation with its first, second, third ... allocation failing until a run
// in which nothing failed.
#include "FlashFixtures.h"
#include "MyPrivateParams.h"
#include "TestSupport.h"
#include "include/VXFLASH02.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

namespace {

// Allocations of this thread still to succeed before one fails; -1: none
// fails. Only the test's own thread is armed.
thread_local long t_allocationsBeforeFailure = -1;
thread_local bool t_failed = false;

bool failNow() noexcept
{
    if (t_allocationsBeforeFailure < 0)
        return false;
    if (t_allocationsBeforeFailure-- > 0)
        return false;
    t_failed = true;
    return true;
}

void* allocate(std::size_t size) noexcept
{
    return failNow() ? nullptr : std::malloc(size != 0 ? size : 1);
}

void* allocateAligned(std::size_t size, std::align_val_t alignment) noexcept
{
    if (failNow())
        return nullptr;
    const std::size_t a = static_cast<std::size_t>(alignment);
    return std::aligned_alloc(a, (size + a - 1) / a * a);
}

}  // namespace

// The replacements below pair malloc with free on purpose; the compiler,
// seeing both, would warn about every container in this file.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size)
{
    if (void* p = allocate(size))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size)
{
    if (void* p = allocate(size))
        return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new(std::size_t size, std::align_val_t alignment)
{
    if (void* p = allocateAligned(size, alignment))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t alignment)
{
    if (void* p = allocateAligned(size, alignment))
        return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return allocateAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return allocateAligned(size, alignment);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

// Runs `operation` with its first, second ... allocation failing, and
// `check(result, failed)` after each run, until a run in which no
// allocation failed. `prepare` runs before each, with every allocation
// succeeding. Returns the number of runs with a failure.
template <typename Prepare, typename Operation, typename Check>
int sweep(Prepare prepare, Operation operation, Check check)
{
    for (long k = 0;; ++k) {
        prepare();
        t_failed = false;
        t_allocationsBeforeFailure = k;
        const auto result = operation();
        t_allocationsBeforeFailure = -1;
        const bool failed = t_failed;
        check(result, failed);
        if (!failed || ::testing::Test::HasFatalFailure())
            return static_cast<int>(k);
    }
}

template <typename Operation, typename Check>
int sweep(Operation operation, Check check)
{
    return sweep([] {}, operation, check);
}

// A tool whose log is on at the highest level, so that log lines allocate
// too.
CFlashTool* loggingTool(const vxtest::TempDir& dir)
{
    CFlashTool* tool = CreateFlashTool();
    const std::u16string file = flashfix::wide(dir.file("flash.log"));
    log_settings level3{CFS_LOG_FILE, file.c_str(), 3};
    EXPECT_EQ(tool->SetSetting(CFS_LOGGING, &level3, sizeof level3), CGSRET_SUCCESS);
    return tool;
}

std::u16string portName(CFlashTool* tool)
{
    std::vector<char16_t> back(64, 0);
    if (tool->GetSetting(CFS_PORTFILENAME, back.data(), 128) != CGSRET_SUCCESS)
        return u"<none>";
    return back.data();
}

TEST(AllocationFailure, CreateFlashToolAnswersNull)
{
    const int runs = sweep([] { return CreateFlashTool(); },
                           [](CFlashTool* tool, bool failed) {
                               EXPECT_EQ(tool == nullptr, failed);
                               DestroyFlashTool(tool);
                           });
    EXPECT_GE(runs, 2) << "the tool and its engine";
}

TEST(AllocationFailure, PortNameThatCannotBeStoredAnswers2AndIsGone)
{
    vxtest::TempDir dir;
    CFlashTool* tool = loggingTool(dir);
    std::u16string name = u"\\\\.\\COM1234567890";
    int refused = 0;
    sweep(
        [&] {
            tool->SetSetting(CFS_PORTFILENAME, const_cast<char16_t*>(u"COM1"), 8);
            return tool->SetSetting(CFS_PORTFILENAME, name.data(), static_cast<std::uint32_t>(2 * name.size()));
        },
        [&](CONST_GETSET_RETURN result, bool) {
            if (result == CGSRET_SUCCESS) {
                EXPECT_EQ(portName(tool), name);
            } else {
                EXPECT_EQ(result, CGSRET_FAILURE);
                EXPECT_EQ(portName(tool), u"<none>") << "the old name is gone";
                ++refused;
            }
        });
    EXPECT_GE(refused, 1);
    DestroyFlashTool(tool);
}

TEST(AllocationFailure, InitStringThatCannotBeStoredAnswers1AndEmptiesTheSlot)
{
    vxtest::TempDir dir;
    const std::u16string text(u"\x16M\rLONGER-THAN-A-SHORT-STRING.\0\0", 32);
    ASSERT_EQ(text.find(u'\0'), 30u);
    // A new tool each run: a slot that has grown once would take the text
    // without a new allocation.
    CFlashTool* tool = nullptr;
    int refused = 0;
    sweep(
        [&] {
            tool = loggingTool(dir);
            std::int32_t rs232 = CIF_RS232;
            tool->SetSetting(CFS_INTERFACE, &rs232, 4);
        },
        [&] {
            return tool->SetSetting(CFS_FLASH_INITSTRING, const_cast<char16_t*>(text.data()),
                                    static_cast<std::uint32_t>(text.size()));
        },
        [&](CONST_GETSET_RETURN result, bool failed) {
            std::vector<char16_t> back(64, 0x5A5A);
            EXPECT_EQ(tool->GetSetting(CFS_FLASH_INITSTRING, back.data(), 128), CGSRET_SUCCESS);
            if (result == CGSRET_SUCCESS) {
                EXPECT_EQ(std::u16string(back.data(), text.size()), text);
            } else {
                EXPECT_TRUE(failed);
                EXPECT_EQ(result, CGSRET_INVALID);
                EXPECT_EQ(std::u16string(back.data(), 3), std::u16string(u"\0\0\x5A5A", 3)) << "the empty string";
                ++refused;
            }
            DestroyFlashTool(tool);
        });
    EXPECT_GE(refused, 1);
}

TEST(AllocationFailure, EveryOtherOperationAnswersItsFailure)
{
    vxtest::TempDir dir;
    flashfix::writeText(dir.file("settings.txt"), "PX7700_RETRY_max: 3\ninit-string: \"ABC\\000DEF\"\n");
    const std::vector<std::uint8_t> boot = flashfix::bootImage();
    const flashfix::Record record{0x0B000000u, flashfix::textBytes(flashfix::joinLines(flashfix::hexLines(boot, true)))};
    flashfix::writeFile(dir.file("boot.mocf"), flashfix::container({record}));
    const std::u16string settings = flashfix::wide(dir.file("settings.txt"));
    const std::u16string firmware = flashfix::wide(dir.file("boot.mocf"));
    const std::u16string logFile = flashfix::wide(dir.file("other.log"));

    {
        SCOPED_TRACE("logging");
        sweep(
            [&] {
                CFlashTool* tool = CreateFlashTool();
                log_settings level3{CFS_LOG_FILE, logFile.c_str(), 3};
                const CONST_GETSET_RETURN result =
                    tool ? tool->SetSetting(CFS_LOGGING, &level3, sizeof level3) : CGSRET_FAILURE;
                DestroyFlashTool(tool);
                return result;
            },
            [](CONST_GETSET_RETURN result, bool failed) {
                EXPECT_TRUE(result == CGSRET_SUCCESS || (failed && result == CGSRET_FAILURE)) << result;
            });
    }
    CFlashTool* tool = loggingTool(dir);
    {
        SCOPED_TRACE("protocol-settings file");
        sweep([&] { return tool->SetSetting(CFS_FLASH_PROTOCOL_SETTINGS, const_cast<char16_t*>(settings.c_str()), 4); },
              [](CONST_GETSET_RETURN result, bool failed) {
                  EXPECT_TRUE(result == CGSRET_SUCCESS || (failed && result == CGSRET_FAILURE)) << result;
              });
    }
    {
        SCOPED_TRACE("file version");
        sweep(
            [&] {
                fileversion_type version;
                return tool->GetFileVersion(firmware.c_str(), &version);
            },
            [](CONST_GETSET_RETURN result, bool failed) {
                EXPECT_TRUE(result == CGSRET_SUCCESS || (failed && result == CGSRET_FAILURE)) << result;
            });
    }
    {
        SCOPED_TRACE("update");
        // No scanner query (a retry maximum of 0): the file is read whole,
        // then the update fails without touching a port.
        CFlashTool* offline = flashfix::toolWithoutScanner(0);
        const std::u16string log = flashfix::wide(dir.file("update.log"));
        log_settings level3{CFS_LOG_FILE, log.c_str(), 3};
        EXPECT_EQ(offline->SetSetting(CFS_LOGGING, &level3, sizeof level3), CGSRET_SUCCESS);
        const int runs = sweep([&] { return offline->FlashScanner(nullptr, firmware.c_str()); },
                               [](CONST_UPGRADERETURN result, bool) { EXPECT_EQ(result, CUR_FAILURE); });
        EXPECT_GT(runs, 10);
        EXPECT_FALSE(offline->engine()->m_serial.isOpen());
        EXPECT_FALSE(offline->engine()->m_usb.isOpen());
        DestroyFlashTool(offline);
    }
    DestroyFlashTool(tool);
}

}  // namespace
