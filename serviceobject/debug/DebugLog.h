// The debug output to a file. The configured name gets the local stamp
// ("D" and MM_DD_YYTHH_MM_SS) in front of its extension: the first '.'
// after the last '/' (or at its end without one), so a folder with a dot
// in its name keeps it. The file is opened for appending; every line is one
// write, so several processes may append to it at once. A file that cannot
// be opened, or a stamped name over 1024 characters, leaves the sink
// writing nothing.
#pragma once

#include "debug/ZRIDbgBase.h"

#include "platform/runtime.h"

#include <string>

class DebugLog : public ZRIDbgBase {
public:
    // `option` is kept with the name and not read.
    explicit DebugLog(const char* fileName, char option = 0);
    ~DebugLog() override;

    // "<stamp>, <text>, \r\n"
    void Log(const char* text) override;
    // "<stamp>, <tag> <text> \r\n"
    void LogText(const char* tag, const char* text) override;
    // "<stamp>, <tag> <text>, <text2> \r\n"
    void LogText2(const char* tag, const char* text, const char* text2) override;

    // The name the file was opened under (stamped); empty when refused.
    const std::string& FileName() const { return m_fileName; }
    bool IsOpen() const { return m_file.isOpen(); }

    // The configured name with the stamp of `localStamp` (the
    // "MM/DD/YY HH:MM:SS" form) put in.
    static std::string StampedName(const std::string& configured, const std::string& localStamp);
    static constexpr std::size_t kMaxName = 1024;

private:
    void Write(const std::string& line);

    std::string m_fileName;
    char m_option;
    platform::AppendFile m_file;
};
