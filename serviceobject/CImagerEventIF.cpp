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
    return FireRecord(lParam, Debug(), tag, m_pOwner, EVT_IMAGE,
                      [this](COPOSEvent& record) { m_pOwner->FireImageDataEvent(static_cast<CImageDataEvent*>(&record)); });
}

LRESULT CImagerEventIF::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    NoteDefWindowProc("ImgrEventIF", message, wParam);
    return CEventIF::DefWindowProc(message, wParam, lParam);
}
