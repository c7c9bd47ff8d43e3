// The SDK logger: a level mask paired with a shared log output.
//
// Every log call names exactly one level bit; the line is written only when
// that bit is set in the mask. Loggers are small values: copying one copies
// the mask's value and the output pointer; destroying one never touches the
// output, which belongs to the process-wide output registry (one output per
// log file, one console output, one debugger output, one per callback).
//
// The mask and the output pointer are atomics, so that the level may be
// changed (CScanningSDK::setLogLevel) while other threads log.
#pragma once

#include "CLogOutput.h"

#include "platform/time.h"
#include "platform/types.h"

#include <atomic>
#include <string>
#include <vector>

// The level bits. Every SDK log call uses exactly one of them.
namespace logbit {
constexpr int trace = 0x1;  // method entry and exit, progress
constexpr int response = 0x2;  // menu responses received
constexpr int retry = 0x4;  // retries and long waits
constexpr int error = 0x8;  // failures reported to the caller
constexpr int internal = 0x10;  // internal failures that should not happen
constexpr int hexDump = 0x20;  // hexadecimal dumps of data
constexpr int portTraffic = 0x40;  // packets read and written
constexpr int portClose = 0x80;  // port close failures, write time-outs
constexpr int system = 0x100;  // port and system call errors
}  // namespace logbit

class CLogger {
public:
    // The mask of a logger that has not been given a level yet: that of SDK
    // log level 4 (errors reported to callers, internal failures, port and
    // system errors), so that a process logs its failures before the service
    // object sets the configured level.
    static constexpr DWORD kDefaultMask = 0x118;

    explicit CLogger(CLogOutput* output = nullptr);
    CLogger(const CLogger& other);
    CLogger& operator=(const CLogger& other);
    virtual ~CLogger();

    // False when the logger has no output; true without writing anything
    // when `level` has no bit in common with the mask; otherwise formats the
    // line and answers what the output's write answers. Callers test
    // isEnabled before they build a message.
    bool log(std::string message, int level);

    bool isEnabled(int level) const
    {
        return (m_mask.load(std::memory_order_relaxed) & static_cast<DWORD>(level)) != 0;
    }
    DWORD getMask() const { return m_mask.load(std::memory_order_relaxed); }
    void setMask(DWORD mask) { m_mask.store(mask, std::memory_order_relaxed); }
    CLogOutput* getOutput() const { return m_output.load(std::memory_order_acquire); }

    // One log line without its line end:
    // "month/day/year hour:minute:second.ms,tid: <tid>,<level>,<message>",
    // every number in decimal without leading zeros.
    static std::string formatLine(const SYSTEMTIME& time, DWORD threadId, int level, const std::string& message);

    // A logger on the file output for `fileName`. Only the file name is
    // lower-cased (its folders are kept as given), and outputs are shared by
    // the resulting path, so "Scan.LOG" and "scan.log" write to one file
    // "scan.log". The first logger on a file empties it. An empty name opens
    // "Varnex_KDR_Log.txt". A file that cannot be opened gives a logger
    // without output.
    static CLogger createFileLogger(std::string fileName);
    // A logger on the one console output.
    static CLogger createConsoleLogger();
    // A logger on the one debugger output.
    static CLogger createDebugViewLogger();
    // A logger on a new callback output (a null callback is accepted; such a
    // logger's log answers false).
    static CLogger createCustomizeLogger(int userValue, LogCustomizeCallback callback);

    // Destroys every registered output (closing the log files) and empties
    // the registry; the default logger of CScanningSDK loses its output, so
    // later log calls through it answer false and write nothing. Other
    // loggers made before must not be used afterwards.
    static void releaseOutputs();
    // The same as releaseOutputs.
    static void cleanup();

    // The registry keys of the outputs that exist now, in key order.
    static std::vector<std::string> outputKeys();

private:
    std::atomic<DWORD> m_mask{kDefaultMask};
    std::atomic<CLogOutput*> m_output{nullptr};
};
