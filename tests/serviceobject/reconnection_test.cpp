// The reconnection thread against a facade without a device: what Shutdown
// leaves behind.
#include "SOFixtures.h"

#include "CCommonSO.h"
#include "CConnectDisconnect.h"
#include "COPOSKestrel.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

using namespace sotest;

namespace {

class TestKestrel : public COPOSKestrel {
public:
    using COPOSKestrel::AdoptDebugOutput;
};

// The facade's debug output: holds the reconnection thread inside the
// facade's disconnect until Shutdown has returned or is seen waiting for
// the thread (its discovery cancels keep coming while it waits).
class HoldingFacadeDebug : public RecordingDebug {
public:
    std::mutex mutex;
    std::condition_variable changed;
    bool held = false;
    bool passed = false;
    bool shutdownReturned = false;
    int cancels = 0;

    void LogText(const char* tag, const char* text) override
    {
        RecordingDebug::LogText(tag, text);
        const std::string line = std::string(tag) + text;
        std::unique_lock lock(mutex);
        if (line == "Kestrel.CancelEnumerate(); entered") {
            ++cancels;
            changed.notify_all();
        } else if (line == "Kestrel.DisConnect(); entered" && !held) {
            held = true;
            changed.notify_all();
            changed.wait_for(lock, std::chrono::seconds(30),
                             [&] { return shutdownReturned || cancels >= kCancelsWhileWaiting; });
            passed = true;
        }
    }
    static constexpr int kCancelsWhileWaiting = 10;
};

TEST(Reconnection, ShutdownReturnsOnlyOnceTheThreadHasEnded)
{
    TestKestrel kestrel;
    auto* facadeDebug = new HoldingFacadeDebug;
    kestrel.AdoptDebugOutput(facadeDebug);  // owned by the facade
    RecordingDebug debug;
    CScannerDataQ queue(500, &debug);
    CCommonSO common;
    CConnectDisconnect reconnection;
    reconnection.Init(&kestrel, &debug, &queue, &common);
    reconnection.StartThread();
    ASSERT_TRUE(reconnection.IsRunning());

    std::string path;
    CConnectDisconnect::disconnect_CallBack(nullptr, path);
    {
        std::unique_lock lock(facadeDebug->mutex);
        ASSERT_TRUE(facadeDebug->changed.wait_for(lock, std::chrono::seconds(30), [&] { return facadeDebug->held; }));
    }
    bool passedAtReturn = false;
    std::thread stopper([&] {
        reconnection.Shutdown();
        std::lock_guard lock(facadeDebug->mutex);
        passedAtReturn = facadeDebug->passed;
        facadeDebug->shutdownReturned = true;
        facadeDebug->changed.notify_all();
    });
    stopper.join();
    EXPECT_TRUE(passedAtReturn) << "Shutdown returned while its thread was still inside the facade";
    EXPECT_FALSE(reconnection.HasThread());
    EXPECT_FALSE(reconnection.IsRunning());
    EXPECT_TRUE(debug.contains("CConnectDisconnect::ThreadRoutine|Disconnect event signaled"));
    // The facade's debug output goes with it: the thread must be done with it.
    std::unique_lock lock(facadeDebug->mutex);
    ASSERT_TRUE(facadeDebug->changed.wait_for(lock, std::chrono::seconds(30), [&] { return facadeDebug->passed; }));
}

}  // namespace
