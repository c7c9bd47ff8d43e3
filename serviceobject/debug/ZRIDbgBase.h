// The service object's debug output: one object that every component of
// the service object (and the Java bridge) writes its trace through, held
// by pointer and owned by whoever created it (the SDK facade singleton).
//
// ZRIDbgBase is the interface and also the silent sink: its writing
// operations do nothing. The sinks DebugStd, DebugStd_TID and DebugLog
// override Log, LogText and LogText2; the number and error forms are built
// here and go through them. Texts may be null (written as empty).
//
// Threads: every operation may be called from any thread. A sink
// serialises its operations, so the stamp and the line of one call belong
// together and lines of different threads never interleave.
#pragma once

#include "platform/types.h"

#include <cstddef>
#include <mutex>
#include <string>

class ZRIDbgBase {
public:
    // Sink types.
    static constexpr int kSilent = 0;
    static constexpr int kDebugStd = 1;
    static constexpr int kDebugStdTid = 2;
    static constexpr int kDebugLog = 3;

    ZRIDbgBase() = default;
    virtual ~ZRIDbgBase() = default;
    ZRIDbgBase(const ZRIDbgBase&) = delete;
    ZRIDbgBase& operator=(const ZRIDbgBase&) = delete;

    virtual void Log(const char* text);
    // Kept empty by every sink.
    virtual void LogReserved(const char* text);
    // The number in decimal through LogText.
    virtual void LogNumber(const char* tag, long number);
    virtual void LogText(const char* tag, const char* text);
    // The number in decimal through LogText2, in the place of the second text.
    virtual void LogTextNumber(const char* tag, const char* text, long number);
    virtual void LogText2(const char* tag, const char* text, const char* text2);
    // "failed with error <code>: <the system's text>" through LogText.
    virtual void LogError(const char* tag, DWORD code);

    int GetType() const { return m_nType; }

    // A silent sink for holders that were given none; never deleted.
    static ZRIDbgBase& Silent();
    // `output` itself, or the silent sink for null.
    static ZRIDbgBase& Or(ZRIDbgBase* output) { return output != nullptr ? *output : Silent(); }

    // The local stamp "MM/DD/YY HH:MM:SS" and the UTC stamp
    // "hour:minute:second:milliseconds" without leading zeros.
    static std::string LocalStamp();
    static std::string UtcStamp();

protected:
    explicit ZRIDbgBase(int type) : m_nType(type) {}

    // Builds one line; when its memory cannot be had, "failed to create
    // temp buffer" goes to the debugger output and the result is empty.
    static std::string Line(const char* format, const char* a, const char* b, const char* c = nullptr,
                            const char* d = nullptr, const char* e = nullptr);

    const int m_nType = kSilent;
    // Held for a whole operation of a sink: its stamps and its write.
    std::mutex m_lock;
    // The last stamps written, local then UTC.
    std::string m_szTime;
    std::string m_szUtcTime;
};

// "failed with error <code>: <the system's text>" into the caller's buffer:
// at most `size` bytes (and never more than 1024) with the terminator.
// Nothing is written for a null buffer or a size of 0.
void FormatSystemError(DWORD code, char* buffer, std::size_t size);
// The same text as a string.
std::string FormatSystemError(DWORD code);
