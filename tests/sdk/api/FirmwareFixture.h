// Firmware updates through the SDK's facade: firmware files, the flash
// library's short protocol timings, progress records, the fake flash
// library's steering, and the order of what a simulated scanner saw.
#pragma once

#include "ApiFixture.h"
#include "FakeFlashLibrary.h"

#include "../../flash/FlashFixtures.h"

#include "api/CFirmwareUpdater.h"
#include "api/CFirmwareUpdaterTemplate.h"
#include "base/StringUtils.h"
#include "products/CProduct.h"
#include "simulator/flashable.h"
#include "simulator/timeline.h"

#include "platform/module.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace vxtest {

// How long the flash library waits for a reply. Healthy updates wait it out
// several times (replies shorter than the reads that take them), so it is
// short; instrumented builds answer several times slower and get more.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kFlashReplyTimeoutMs = 1500;
#else
constexpr int kFlashReplyTimeoutMs = 400;
#endif

constexpr std::size_t kAppBlocks = 0x78000 / 4096;

// The progress a flash reported: every call's caller pointer and amounts.
struct ProgressLog {
    struct Call {
        void* caller;
        int zero;
        int done;
        int total;
    };
    std::mutex mutex;
    std::vector<Call> calls;

    static std::int32_t callback(void* caller, std::int32_t zero, std::int32_t done, std::int32_t total)
    {
        auto* log = static_cast<ProgressLog*>(caller);
        std::lock_guard<std::mutex> lock(log->mutex);
        log->calls.push_back({caller, zero, done, total});
        return 0;
    }
    std::vector<Call> snapshot()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return calls;
    }
    // Every call carried this log as its caller pointer and 0, the amount
    // never fell, and the last call reached the total.
    void expectWholeRun()
    {
        const std::vector<Call> all = snapshot();
        ASSERT_FALSE(all.empty());
        for (std::size_t i = 0; i < all.size(); ++i) {
            EXPECT_EQ(all[i].caller, this) << "call " << i;
            EXPECT_EQ(all[i].zero, 0) << "call " << i;
            EXPECT_EQ(all[i].total, all.front().total) << "call " << i;
            if (i > 0) {
                EXPECT_GE(all[i].done, all[i - 1].done) << "call " << i;
            }
        }
        EXPECT_EQ(all.back().done, all.back().total);
    }
};

// The fake flash library's steering block, reached by loading the library
// by path as the SDK does (one file, one library).
class FakeFlash {
public:
    explicit FakeFlash(bool withDestroy = true)
        : m_path(programDirectory() + (withDestroy ? "/libvx_fake_flash.so" : "/libvx_fake_flash_no_destroy.so"))
    {
        m_module = LoadLibraryA(m_path.c_str());
        auto block = reinterpret_cast<PFN_FakeFlashControlBlock>(GetProcAddress(m_module, "FakeFlashControlBlock"));
        m_control = block != nullptr ? block() : nullptr;
    }
    ~FakeFlash() { FreeLibrary(m_module); }
    FakeFlash(const FakeFlash&) = delete;
    FakeFlash& operator=(const FakeFlash&) = delete;

    FakeFlashControl& control() { return *m_control; }
    bool loaded() const { return m_control != nullptr; }
    const std::string& path() const { return m_path; }
    // A folder in which the fake is the library of this flash type.
    void installAs(const std::filesystem::path& folder, int flashType) const
    {
        std::filesystem::create_directories(folder);
        std::filesystem::create_symlink(m_path, folder / ("libVXFLASH0" + std::to_string(flashType) + ".so"));
    }
    // The calls since the last look that begin with `prefix`.
    std::vector<std::string> callsStartingWith(const std::string& prefix)
    {
        std::vector<std::string> found;
        for (const std::string& call : m_control->snapshot())
            if (call.rfind(prefix, 0) == 0)
                found.push_back(call);
        return found;
    }

private:
    std::string m_path;
    HMODULE m_module = nullptr;
    FakeFlashControl* m_control = nullptr;
};

// Firmware files and the protocol-settings file in a folder of the test's.
class FirmwareFiles {
public:
    FirmwareFiles()
    {
        const std::vector<std::string> appLines = flashfix::hexLines(flashfix::appImage(), false);
        m_expectedApp = flashfix::expectedAppImage(flashfix::appImage(), flashfix::firstLineIsLate(appLines));
        const flashfix::Record app{0x0B000001u, flashfix::textBytes(flashfix::joinLines(appLines))};
        m_application = flashfix::container({app});
        flashfix::writeFile(application(), m_application);
        writeProtocolFile(protocolFile(), "");
    }
    std::string application() const { return m_dir.file("application.mocf"); }
    std::string protocolFile() const { return m_dir.file("timings.txt"); }
    const std::vector<std::uint8_t>& expectedApplication() const { return m_expectedApp; }
    // The application file again, under `name` in `folder`.
    std::string copyApplication(const std::filesystem::path& folder, const std::string& name) const
    {
        std::filesystem::create_directories(folder);
        const std::string path = (folder / name).string();
        flashfix::writeFile(path, m_application);
        return path;
    }
    // Short timings for the library, and `extra` lines.
    static void writeProtocolFile(const std::string& path, const std::string& extra)
    {
        flashfix::writeText(path, "PX7700_Timeout_MenuCmd_mSecs: " + std::to_string(kFlashReplyTimeoutMs) +
                                      "\n"
                                      "PX7700_TimeDelay_MenuCmd_mSecs: 10\n"
                                      "PX7700_RETRY_max: 3\n"
                                      "PX7700_TimeDelay_TRGMOD_mSecs: 0\n"
                                      "PX7700_TimeDelay_EnumDevice_mSecs: 0\n"
                                      "PX7700_TimeDelay_USB_NEWAP2_mSecs: 50\n"
                                      "PX7700_TimeDelay_RS232_NEWAP2_mSecs: 50\n"
                                      "PX7700_TimeDelay_RS232_RESET_mSecs: 50\n"
                                      "PX7700_TimeDelay_USB_RESET_mSecs: 50\n"
                                      "PX7700_TimeDelay_DETECT_mSecs: 50\n" +
                                      extra);
    }
    const TempDir& dir() const { return m_dir; }

private:
    TempDir m_dir;
    std::vector<std::uint8_t> m_application;
    std::vector<std::uint8_t> m_expectedApp;
};

inline std::string lastErrorOf(CFirmwareUpdater& updater)
{
    std::string text;
    updater.getLastError(text);
    return text;
}

// A template for the real flash library next to the test programs.
inline CFirmwareUpdaterTemplate libraryTemplate(const FirmwareFiles& files, const std::string& folder = programDirectory())
{
    CFirmwareUpdaterTemplate updaterTemplate;
    updaterTemplate.protocolFile = files.protocolFile();
    updaterTemplate.flashDllFolder = folder;
    updaterTemplate.progressCallback = &ProgressLog::callback;
    return updaterTemplate;
}

// A gate a simulated scanner's block hook waits at until the test opens it.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool reached = false;
    bool open = false;

    // On the scanner's thread: tells the test, then waits (bounded) for it.
    void arriveAndWait()
    {
        std::unique_lock<std::mutex> lock(mutex);
        reached = true;
        changed.notify_all();
        changed.wait_for(lock, std::chrono::seconds(60), [&] { return open; });
    }
    bool waitReached()
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(60), [&] { return reached; });
    }
    void release()
    {
        std::lock_guard<std::mutex> lock(mutex);
        open = true;
        changed.notify_all();
    }
};

// --- timelines ---------------------------------------------------------------

using vxsim::TimelineEvent;
using EventTest = std::function<bool(const TimelineEvent&)>;

inline bool contains(const std::vector<unsigned char>& data, const std::string& text)
{
    return std::search(data.begin(), data.end(), text.begin(), text.end()) != data.end();
}

inline EventTest bytesWith(const std::string& text)
{
    return [text](const TimelineEvent& e) { return e.kind == TimelineEvent::Kind::bytes && contains(e.data, text); };
}
inline EventTest reportWith(const std::string& text)
{
    return [text](const TimelineEvent& e) { return e.kind == TimelineEvent::Kind::report && contains(e.data, text); };
}
inline EventTest dataWith(const std::string& text)
{
    return [text](const TimelineEvent& e) {
        return (e.kind == TimelineEvent::Kind::bytes || e.kind == TimelineEvent::Kind::report) && contains(e.data, text);
    };
}
inline EventTest feature254(int value)
{
    return [value](const TimelineEvent& e) {
        return e.kind == TimelineEvent::Kind::feature && e.data.size() >= 2 && e.data[0] == 254 && e.data[1] == value;
    };
}
inline EventTest kindOf(TimelineEvent::Kind kind, const std::string& device = std::string())
{
    return [kind, device](const TimelineEvent& e) { return e.kind == kind && (device.empty() || e.device == device); };
}
inline EventTest request(std::uint32_t code)
{
    return [code](const TimelineEvent& e) { return e.kind == TimelineEvent::Kind::request && e.code == code; };
}

inline std::string describeAll(const std::vector<TimelineEvent>& timeline)
{
    std::string text;
    for (const TimelineEvent& e : timeline) {
        std::string line = vxsim::describe(e);
        if (line.size() > 120)
            line = line.substr(0, 120) + "...";
        text += line + "\n";
    }
    return text;
}

// The steps are found in the timeline in this order (each after the one
// before); answers the index of each, or fails naming the first missing.
inline std::vector<std::size_t> expectInOrder(const std::vector<TimelineEvent>& timeline,
                                              const std::vector<std::pair<std::string, EventTest>>& steps)
{
    std::vector<std::size_t> at;
    std::size_t from = 0;
    for (const auto& [name, test] : steps) {
        std::size_t i = from;
        while (i < timeline.size() && !test(timeline[i]))
            ++i;
        if (i == timeline.size()) {
            ADD_FAILURE() << "no \"" << name << "\" after the steps before it in\n" << describeAll(timeline);
            return at;
        }
        at.push_back(i);
        from = i + 1;
    }
    return at;
}

}  // namespace vxtest

namespace vxtest {

// Simulated scanners updated with the fake flash library.
class FakeFirmwareTest : public ApiTest {
protected:
    // A template whose folder holds the fake as the library of `flashType`.
    CFirmwareUpdaterTemplate fakeTemplate(int flashType, FakeFlash* fake = nullptr)
    {
        FakeFlash& library = fake != nullptr ? *fake : m_fake;
        const std::filesystem::path folder = m_dir.path() / ("fake-" + std::to_string(flashType) +
                                                             (library.path() == m_fake.path() ? "" : "-other"));
        if (!std::filesystem::exists(folder))
            library.installAs(folder, flashType);
        CFirmwareUpdaterTemplate updaterTemplate;
        updaterTemplate.flashDllFolder = folder.string();
        updaterTemplate.progressCallback = &ProgressLog::callback;
        return updaterTemplate;
    }
    // A connected line-of-business HID scanner (no ping, no report 254).
    CDevice* connectHid(const std::string& id, bool exclusive = true, const std::string& model = "hid-pos")
    {
        vxsim::HidModel hid = hidScannerModel(model, "HIDSCANNER", "SN-" + id);
        hid.product = "Varnex Area Imager";
        m_hidScanner = &plugHid(hid, id);
        return connectFound({EIT_USB_HID_BARCODE_SCANNER}, exclusive);
    }
    CDevice* connectFound(std::vector<int> kinds, bool exclusive = true)
    {
        CDevice* device = discoverOne(std::move(kinds));
        if (device == nullptr)
            return nullptr;
        m_connection.initialize();
        HANDLE handle = nullptr;
        EXPECT_EQ(m_connection.connect(device, &handle, exclusive, false, 10000), 0) << lastErrorOf(m_connection);
        return device;
    }

    TempDir m_dir;
    FakeFlash m_fake;
    ProgressLog m_progress;
    vxsim::HidScanner* m_hidScanner = nullptr;
};

}  // namespace vxtest
