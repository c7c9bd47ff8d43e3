// The flash library's own diagnostic log: one formatted line per setting,
// protocol step and failure, written when its message class meets the mask.
// Classes: 2 information, 4 error, 8 settings-file detail, 0x20 protocol
// dumps; class 0 is written whenever an output is open.
//
// Threads: the cancelling thread logs while an update logs on its own
// thread, so every write (and the output's opening and closing) is
// serialised by one lock; the mask is atomic.
//
// Writing a line never throws: a line that cannot be made (for want of
// memory) is dropped.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

class Log {
public:
    Log();
    ~Log();
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;

    // Reference counting guards the logger against being closed while in
    // use; releasing a count already below 1 reports "BAD REF COUNT" on the
    // debugger output and stops the process.
    void AddRef();
    // Returns the count left.
    int Release();

    std::uint32_t mask() const { return m_mask.load(); }
    void setMask(std::uint32_t mask) { m_mask.store(mask); }
    bool isOpen() const;
    bool wants(std::uint32_t messageClass) const;

    void print(std::uint32_t messageClass, const char* format, ...) __attribute__((format(printf, 3, 4)));
    // Writes `text` as it is, when the class meets the mask.
    void write(std::uint32_t messageClass, const std::string& text);

    void openDebugger();
    // "-", "stdout", "/dev/stdout", "stderr", "/dev/stderr" are the
    // standard streams; anything else is created or truncated. False when
    // it cannot be opened.
    bool openFile(const std::string& name);
    void openConsole();
    void close();

    void timeStamp(const char* label);
    void hexDump(const std::uint8_t* bytes, std::size_t length);
    void currentDirectoryLine();

    // Debugger output lines are cut to this many characters.
    static constexpr std::size_t kDebuggerLineMax = 2047;

private:
    enum class Output { none, debugger, file, standard, console };
    void emitLocked(const std::string& text) noexcept;
    static std::string hexDumpText(const std::uint8_t* bytes, std::size_t length);
    std::string timeStampText(const char* label);

    mutable std::mutex m_mutex;
    std::atomic<std::uint32_t> m_mask{0};
    int m_refs = 1;
    Output m_output = Output::none;
    std::FILE* m_stream = nullptr;
    bool m_ownsStream = false;
    std::uint32_t m_startMark;
    std::uint32_t m_lastMark;
};

// "CWD: <dir>\n" or "CWD: Unknown CWD\n".
std::string CurrentDirectoryText();
