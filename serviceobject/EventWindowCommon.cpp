#include "EventWindowCommon.h"

#include "COPOSEvent.h"
#include "CScannerEventIF.h"
#include "IEventOwner.h"
#include "debug/ZRIDbgBase.h"

#include "platform/debug.h"

#include <memory>
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

BOOL FireRecord(LPARAM lParam, ZRIDbgBase& debug, const char* tag, IEventOwner* owner, int dataType,
                const std::function<void(COPOSEvent&)>& fireData)
{
    std::unique_ptr<COPOSEvent> record(reinterpret_cast<COPOSEvent*>(lParam));
    if (record == nullptr)
        return TRUE;
    const int type = record->m_nEventType;
    if (type != dataType && type != EVT_ERROR && type != EVT_STATUS) {
        debug.LogText(tag, " Asserting on an unknown or unimplemented OPOS event type");
        return TRUE;
    }
    if (owner == nullptr)
        return TRUE;
    if (type == EVT_ERROR)
        owner->FireErrorEvent(static_cast<CErrorEvent*>(record.get()));
    else if (type == EVT_STATUS)
        owner->FireSUE(static_cast<CStatusUpdateEvent*>(record.get()));
    else
        fireData(*record);
    return TRUE;
}
