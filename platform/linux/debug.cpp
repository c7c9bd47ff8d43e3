// Debugger output: the OutputDebugString stand-in.

#include "platform/debug.h"

#include "linux/internal/debug_once.h"
#include "linux/internal/text.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <unistd.h>

namespace {

struct SinkSlot {
    std::mutex mutex;
    platform::DebugOutputSink sink;
};

SinkSlot& sinkSlot()
{
    static SinkSlot* const instance = new SinkSlot;  // usable by threads running at exit
    return *instance;
}

// Read on every call, so a test (or a developer in a debugger) can switch it
// on without restarting anything.
bool stderrRequested()
{
    const char* value = std::getenv("VX_DEBUG_OUTPUT");
    return value != nullptr && std::strcmp(value, "stderr") == 0;
}

// One write(2) per text where the kernel takes it whole, so texts of several
// threads or processes sharing standard error do not interleave.
void writeToStderr(const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = ::write(STDERR_FILENO, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;  // nowhere to report a failure of the debugger output
        done += static_cast<std::size_t>(written);
    }
}

void deliver(const std::string& text)
{
    if (stderrRequested())
        writeToStderr(text);
    // The sink is copied and called outside the lock: a sink that itself
    // writes debugger output (or swaps the sink) must not deadlock.
    platform::DebugOutputSink sink;
    {
        SinkSlot& slot = sinkSlot();
        std::lock_guard lock(slot.mutex);
        sink = slot.sink;
    }
    if (sink)
        sink(text);
}

}  // namespace

void OutputDebugStringA(LPCSTR text)
{
    if (text != nullptr)
        deliver(text);
}

void OutputDebugStringW(LPCWSTR text)
{
    if (text != nullptr)
        deliver(platform::narrowFromWide(text));
}

namespace platform {

void outputDebugLineOnce(const std::string& line)
{
    static std::mutex* const mutex = new std::mutex;  // usable by threads running at exit
    static auto* const said = new std::set<std::string>;
    {
        std::lock_guard lock(*mutex);
        if (!said->insert(line).second)
            return;
    }
    deliver(line);
}

DebugOutputSink setDebugOutputSink(DebugOutputSink sink)
{
    SinkSlot& slot = sinkSlot();
    std::lock_guard lock(slot.mutex);
    std::swap(slot.sink, sink);
    return sink;
}

}  // namespace platform
