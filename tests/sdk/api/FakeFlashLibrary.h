// The steering of the fake flash library (fake_flash_library.cpp), shared by
// the library and the tests. A test loads the library by path once more to
// reach the block (the same file gives the same library, so the SDK's load
// and the test's see one block), chooses what the library does, and reads
// back every call it took.
#pragma once

#include "VXFLASH02.h"

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

struct FakeFlashControl {
    // SetSetting and GetSetting of this id answer `refusal` (-1: none).
    std::atomic<int> refusedSetting{-1};
    std::atomic<int> refusal{CGSRET_FAILURE};
    // What FlashScanner answers.
    std::atomic<int> flashResult{CUR_SUCCESS};
    // CreateFlashTool answers null.
    std::atomic<bool> createNull{false};
    // FlashScanner reports progress until the tool is cancelled, then
    // answers CUR_CANCELED; `flashing` is set meanwhile.
    std::atomic<bool> flashUntilCancelled{false};
    std::atomic<bool> flashing{false};
    // CFS_VERSION fills the whole buffer with 'V', without a terminator.
    std::atomic<bool> versionFillsBuffer{false};
    std::atomic<int> toolsAlive{0};

    std::mutex mutex;
    // The init string the library gives (CFS_FLASH_INITSTRING); empty: none.
    std::string initString;
    // Every call, in order: "Set <id> <value>", "Get <id>", "FlashScanner
    // <file>", "GetFileVersion <file>", "Create", "Destroy".
    std::vector<std::string> calls;

    std::vector<std::string> snapshot()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return calls;
    }
    void record(const std::string& call)
    {
        std::lock_guard<std::mutex> lock(mutex);
        calls.push_back(call);
    }
};

// Exported by the fake library.
using PFN_FakeFlashControlBlock = FakeFlashControl* (*)();

// The version text the fake library reports.
inline const char16_t* const kFakeFlashVersion = u"FAKE-FLASH 9.8.7";
