#include "debug/DebugOutputChoice.h"

#include "debug/DebugLog.h"
#include "debug/DebugStd.h"
#include "debug/DebugStd_TID.h"

#include <cctype>

DebugOutputKind DebugOutputKindOf(const std::string& debugType)
{
    std::string upper = debugType;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper == "DEFAULT")
        return DebugOutputKind::debugger;
    if (upper == "THREAD ID")
        return DebugOutputKind::debuggerWithThread;
    if (upper == "LOG FILE")
        return DebugOutputKind::logFile;
    return DebugOutputKind::silent;
}

ZRIDbgBase* CreateDebugOutput(const std::string& debugType, const std::string& logFile)
{
    switch (DebugOutputKindOf(debugType)) {
    case DebugOutputKind::debugger:
        return new DebugStd;
    case DebugOutputKind::debuggerWithThread:
        return new DebugStd_TID;
    case DebugOutputKind::logFile:
        if (!logFile.empty())
            return new DebugLog(logFile.c_str());
        break;
    case DebugOutputKind::silent:
        break;
    }
    return new ZRIDbgBase;
}
