#include "CImagerEventIF.h"

#include "COPOSEvent.h"
#include "EventWindowCommon.h"
#include "debug/ZRIDbgBase.h"

#include <memory>

BOOL CImagerEventIF::OnCommand(WPARAM wParam, LPARAM lParam)
{
    static const char* const tag = "ImgrEventIF.OnCommand() ";
    Debug().LogText(tag, " entered");
    if (wParam != kImagerEventCommand) {
        LogPassedCommand(Debug(), tag, wParam);
        return FALSE;
    }
    std::unique_ptr<COPOSEvent> record(reinterpret_cast<COPOSEvent*>(lParam));
    if (record == nullptr)
        return TRUE;
    switch (record->m_nEventType) {
    case EVT_IMAGE:
        if (m_pOwner != nullptr)
            m_pOwner->FireImageDataEvent(static_cast<CImageDataEvent*>(record.get()));
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

LRESULT CImagerEventIF::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    NoteDefWindowProc("ImgrEventIF", message, wParam);
    return CEventIF::DefWindowProc(message, wParam, lParam);
}
