// The debug output to the debugger, each line behind the local stamp.
#pragma once

#include "debug/ZRIDbgBase.h"

class DebugStd : public ZRIDbgBase {
public:
    DebugStd() : ZRIDbgBase(kDebugStd) {}
    ~DebugStd() override = default;

    // "<stamp>, <text> \r\n"
    void Log(const char* text) override;
    // "<stamp>, <tag> <text> \r\n"
    void LogText(const char* tag, const char* text) override;
    // "<stamp>, <tag> <text>, <text2> \r\n"
    void LogText2(const char* tag, const char* text, const char* text2) override;
};
