#include "CImagerDataQ.h"

#include "debug/ZRIDbgBase.h"

int CImagerDataQ::AddToQ(const void* record, int kind, int)
{
    static const char* const tag = "ImgrDataQ.AddToQ(): ";
    if (kind != 1 || record == nullptr) {
        Debug().LogText(tag, "a non imager event type has been recieved");
        return 0;
    }
    HWND window = GetEventWindow();
    if (window == nullptr) {
        Debug().LogText(tag, "Image event but no window handler");
        return 0;
    }
    auto* event = new CImageDataEvent(*static_cast<const SImageRecord*>(record));
    event->m_hWnd = window;
    event->m_nCommand = m_nCommand;
    return AddToTail(event);
}
