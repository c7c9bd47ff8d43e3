// The debug output to the debugger, each line behind "TID:", the calling
// thread's identifier and the UTC stamp.
#pragma once

#include "debug/ZRIDbgBase.h"

class DebugStd_TID : public ZRIDbgBase {
public:
    DebugStd_TID() : ZRIDbgBase(kDebugStdTid) {}
    ~DebugStd_TID() override = default;

    // "TID:<thread>, <utc>, <text>, \r\n"
    void Log(const char* text) override;
    // "TID:<thread>, <utc>, <tag> <text> \r\n"
    void LogText(const char* tag, const char* text) override;
    // "TID:<thread>, <utc>, <tag> <text> <text2>\r\n"
    void LogText2(const char* tag, const char* text, const char* text2) override;
};
