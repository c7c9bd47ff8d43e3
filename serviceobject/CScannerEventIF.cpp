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
        // Deleted after the fire returns, whatever the owner did.
        std::unique_ptr<COPOSEvent> record(reinterpret_cast<COPOSEvent*>(lParam));
        if (record == nullptr)
            return TRUE;
        switch (record->m_nEventType) {
        case EVT_DATA:
            if (m_pOwner != nullptr)
                m_pOwner->FireDataEvent(static_cast<CDataEvent*>(record.get()));
            break;
        case EVT_ERROR:
            if (m_pOwner != nullptr)
                m_pOwner->FireErrorEvent(static_cast<CErrorEvent*>(record.get()));
            break;
        case EVT_STATUS:
            if (m_pOwner != nullptr)
                m_pOwner->FireSUE(static_cast<CStatusUpdateEvent*>(record.get()));
            break;
        default:
            Debug().LogText(tag, " Asserting on an unknown or unimplemented OPOS event type");
            break;
        }
        return TRUE;
    }
    LogPassedCommand(Debug(), tag, wParam);
    return FALSE;
}

LRESULT CScannerEventIF::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    NoteDefWindowProc("ScnrEventIF", message, wParam);
    return CEventIF::DefWindowProc(message, wParam, lParam);
}
