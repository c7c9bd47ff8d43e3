// Debugger output (the OutputDebugString stand-in).
//
// Where the text goes: nowhere by default; to standard error when the
// environment variable VX_DEBUG_OUTPUT is "stderr"; to a sink installed by
// platform::setDebugOutputSink (tests capture it that way). Each call
// delivers its text whole.
#pragma once

#include "platform/types.h"

#include <functional>
#include <string>

void OutputDebugStringA(LPCSTR text);
void OutputDebugStringW(LPCWSTR text);

namespace platform {

using DebugOutputSink = std::function<void(const std::string& text)>;

// Installs a sink that receives every debugger output text (an empty
// function removes it). Returns the sink that was installed before.
DebugOutputSink setDebugOutputSink(DebugOutputSink sink);

}  // namespace platform
