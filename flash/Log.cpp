#include "Log.h"

#include "platform/debug.h"
#include "platform/time.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <vector>

namespace {
constexpr const char* kLabel = "Log::Log";
}

std::string CurrentDirectoryText()
{
    std::error_code error;
    const std::filesystem::path cwd = std::filesystem::current_path(error);
    return "CWD: " + (error ? std::string("Unknown CWD") : cwd.string()) + "\n";
}

Log::Log() : m_startMark(GetTickCount()), m_lastMark(m_startMark) {}

Log::~Log() { close(); }

void Log::AddRef()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_refs;
}

int Log::Release()
{
    int left;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_refs < 1) {
            char text[160];
            std::snprintf(text, sizeof text, "BAD REF COUNT: %d for %.100s\n", m_refs, kLabel);
            OutputDebugStringA(text);
            std::abort();
        }
        left = --m_refs;
    }
    return left;
}

bool Log::isOpen() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_output != Output::none;
}

bool Log::wants(std::uint32_t messageClass) const
{
    return isOpen() && (messageClass == 0 || (messageClass & m_mask.load()) != 0);
}

void Log::emitLocked(const std::string& text) noexcept
{
    switch (m_output) {
    case Output::none:
        break;
    case Output::debugger:
        if (text.size() > kDebuggerLineMax) {
            char line[kDebuggerLineMax + 1];
            std::memcpy(line, text.data(), kDebuggerLineMax);
            line[kDebuggerLineMax] = '\0';
            OutputDebugStringA(line);
        } else {
            OutputDebugStringA(text.c_str());
        }
        break;
    case Output::file:
    case Output::standard:
    case Output::console:
        std::fwrite(text.data(), 1, text.size(), m_stream);
        std::fflush(m_stream);
        break;
    }
}

void Log::write(std::uint32_t messageClass, const std::string& text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_output == Output::none)
        return;
    if (messageClass != 0 && (messageClass & m_mask.load()) == 0)
        return;
    emitLocked(text);
}

void Log::print(std::uint32_t messageClass, const char* format, ...)
{
    if (!wants(messageClass))
        return;
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    // A line that cannot be formatted for want of memory is dropped: the
    // log never changes an operation's result.
    try {
        std::string text;
        if (n > 0) {
            text.resize(static_cast<std::size_t>(n));
            std::vsnprintf(text.data(), text.size() + 1, format, args);
        }
        write(messageClass, text);
    } catch (...) {
    }
    va_end(args);
}

std::string Log::timeStampText(const char* label)
{
    const std::uint32_t now = GetTickCount();
    const std::uint32_t abs = platform::tickElapsed(m_startMark, now);
    const std::uint32_t delta = platform::tickElapsed(m_lastMark, now);
    m_lastMark = now;
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    char when[64];
    std::strftime(when, sizeof when, "%a %b %e %H:%M:%S %Y\n", &local);
    char text[256];
    std::snprintf(text, sizeof text, "%s: (Abs: %u.%03u, Delta: %u.%03u) now -> %s ", label, abs / 1000, abs % 1000,
                  delta / 1000, delta % 1000, when);
    return text;
}

void Log::timeStamp(const char* label)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_output == Output::none || (m_mask.load() & 0x2) == 0)
        return;
    try {
        emitLocked(timeStampText(label));
    } catch (...) {
    }
}

void Log::currentDirectoryLine()
{
    try {
        write(0, CurrentDirectoryText());
    } catch (...) {
    }
}

void Log::openDebugger()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_output = Output::debugger;
    }
    timeStamp("BEGIN: ");
    currentDirectoryLine();
}

bool Log::openFile(const std::string& name)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (name == "-" || name == "stdout" || name == "/dev/stdout") {
            m_stream = stdout;
            m_output = Output::standard;
            return true;
        }
        if (name == "stderr" || name == "/dev/stderr") {
            m_stream = stderr;
            m_output = Output::standard;
            return true;
        }
        std::FILE* file = std::fopen(name.c_str(), "w");
        if (file == nullptr)
            return false;
        m_stream = file;
        m_ownsStream = true;
        m_output = Output::file;
    }
    timeStamp("START ");
    currentDirectoryLine();
    return true;
}

void Log::openConsole()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stream = stdout;
        m_output = Output::console;
    }
    timeStamp("START ");
    currentDirectoryLine();
}

void Log::close()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_output == Output::file) {
        if ((m_mask.load() & 0x2) != 0) {
            try {
                emitLocked(timeStampText("END: "));
            } catch (...) {
            }
        }
        std::fflush(m_stream);
        if (m_ownsStream)
            std::fclose(m_stream);
    } else if (m_output == Output::standard || m_output == Output::console) {
        std::fflush(m_stream);
    }
    m_stream = nullptr;
    m_ownsStream = false;
    m_output = Output::none;
}

void Log::hexDump(const std::uint8_t* bytes, std::size_t length)
{
    if (length == 0 || bytes == nullptr || (m_mask.load() & 0x2) == 0)
        return;
    try {
        write(2, hexDumpText(bytes, length));
    } catch (...) {
    }
}

std::string Log::hexDumpText(const std::uint8_t* bytes, std::size_t length)
{
    std::string text;
    for (std::size_t line = 0; line < length; line += 16) {
        char piece[32];
        std::snprintf(piece, sizeof piece, "%08zx:", line);
        text += piece;
        for (std::size_t i = 0; i < 8; ++i) {
            if (line + i < length) {
                std::snprintf(piece, sizeof piece, " %02x", bytes[line + i]);
                text += piece;
            } else {
                text += "   ";
            }
        }
        text += "-";
        for (std::size_t i = 8; i < 16; ++i) {
            if (i >= 9)
                text += " ";
            if (line + i < length) {
                std::snprintf(piece, sizeof piece, "%02x", bytes[line + i]);
                text += piece;
            } else {
                text += "  ";
            }
        }
        text += " | ";
        for (std::size_t i = 0; i < 16; ++i) {
            if (line + i < length) {
                const std::uint8_t c = bytes[line + i];
                text += (c < 32 || c > 127) ? '.' : static_cast<char>(c);
            } else {
                text += ' ';
            }
            if (i == 7)
                text += '-';
        }
        text += "|\n";
    }
    return text;
}
