#include "EventWindowCommon.h"

#include "CScannerEventIF.h"
#include "debug/ZRIDbgBase.h"

#include "platform/debug.h"

#include <string>

namespace {
constexpr WPARAM kDevNodesChanged = 7;
}

void NoteDefWindowProc(const char* name, UINT message, WPARAM wParam)
{
    OutputDebugStringA((std::string(name) + ".DefWindowProc() entered\r\n").c_str());
    if (message == WM_DEVICECHANGE && wParam == kDevNodesChanged)
        OutputDebugStringA("device connect or disconnect\r\n");
}

void LogPassedCommand(ZRIDbgBase& debug, const char* tag, WPARAM wParam)
{
    const long number = static_cast<long>(wParam);
    if (wParam == CScannerEventIF::kProgressMessage)
        debug.LogTextNumber(tag, "WM_ZRI_PROGRESS_HWND_MSG", number);
    else if (wParam == CScannerEventIF::kImagerFlashing)
        debug.LogTextNumber(tag, "WM_ZRI_IMAGER_FLASHING", number);
    else
        debug.LogTextNumber(tag, "param not processed", number);
}
