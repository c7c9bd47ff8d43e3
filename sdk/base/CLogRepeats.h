// Failure lines of one object (a port) that come again and again while its
// device is gone: the receiver reads every 5 ms and the disconnect monitor
// polls the lines as often, so at the default mask an unplugged device
// would bury the log under the same few lines.
//
// The first failure of a run (the same method and text) is logged as ever;
// the ones after it are only counted. The run ends when the method
// succeeds, or when end() is called (a port does at close and when it is
// destroyed); a run of more than one is then logged once more with its
// count: "<text> <n> times in a row.". Runs of different methods and texts
// are kept apart, so two failures that alternate (a read and a line poll)
// are each logged once.
//
// Thread safety: any thread. Lines are logged outside the object's lock.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

class CLogRepeats {
public:
    CLogRepeats() = default;
    ~CLogRepeats() { end(); }
    CLogRepeats(const CLogRepeats&) = delete;
    CLogRepeats& operator=(const CLogRepeats&) = delete;

    // A failure of `method`: logged at `bit` when it starts a run.
    void failed(int bit, const char* method, const std::string& text);
    // `method` succeeded: its runs end.
    void succeeded(const char* method);
    // Every run ends.
    void end();

private:
    struct Run {
        int bit;
        std::string method;
        std::string text;
        long count;
    };
    // Takes the runs of `method` (every run when null) out of the list.
    std::vector<Run> take(const char* method);
    static void logEnded(const std::vector<Run>& runs);

    std::mutex m_mutex;
    std::vector<Run> m_runs;
    // Whether m_runs holds anything: a success, the usual case, then costs
    // no lock.
    std::atomic<bool> m_running{false};
};
