#include "CScannerEventIF.h"

#include "COPOSEvent.h"
#include "EventWindowCommon.h"
#include "SOMessages.h"
#include "debug/ZRIDbgBase.h"

#include <memory>

BOOL CScannerEventIF::OnCommand(WPARAM wParam, LPARAM lParam)
{
    static const char* const tag = "ScnrEventIF.OnCommand() ";
    Debug().LogText(tag, " entered");
    if (wParam == DeviceEnableMessage()) {
        std::unique_ptr<COPOSEvent> carrier(reinterpret_cast<COPOSEvent*>(lParam));
        if (m_pOwner != nullptr && m_pOwner->GetAutoDisable() == 1)
            m_pOwner->DisableDevice();
        return TRUE;
    }
    if (wParam == kScannerEventCommand) {
        return FireRecord(lParam, Debug(), tag, m_pOwner, EVT_DATA,
                          [this](COPOSEvent& record) { m_pOwner->FireDataEvent(static_cast<CDataEvent*>(&record)); });
    }
    LogPassedCommand(Debug(), tag, wParam);
    return FALSE;
}

LRESULT CScannerEventIF::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    NoteDefWindowProc("ScnrEventIF", message, wParam);
    return CEventIF::DefWindowProc(message, wParam, lParam);
}
