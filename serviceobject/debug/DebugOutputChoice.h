// The choice of the debug output from the words a user configures.
#pragma once

#include "debug/ZRIDbgBase.h"

#include <string>

// "DEFAULT" DebugStd, "THREAD ID" DebugStd_TID, "LOG FILE" DebugLog on
// `logFile` (the silent sink when it is empty), compared as whole words
// without regard to case; anything else the silent sink. Never null; the
// caller owns the result.
ZRIDbgBase* CreateDebugOutput(const std::string& debugType, const std::string& logFile);

// The kinds the words select, for callers that create the sink later.
enum class DebugOutputKind { silent, debugger, debuggerWithThread, logFile };
DebugOutputKind DebugOutputKindOf(const std::string& debugType);
