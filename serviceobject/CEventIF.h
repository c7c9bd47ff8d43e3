// The hidden event window: the event queue posts each record to it as a
// WM_COMMAND (wParam the command, lParam the record), and its thread fires
// the event. The window is made by its thread (CEventWindowThread) as a
// child of the desktop window named "ScannerEventIFWindow" with the
// control id 1234; it is never shown.
//
// Records posted to the window that it never receives (still queued when it
// is destroyed, or left when its thread ends) are deleted by the window's
// discard hook, so no record is lost or leaked. Only the window's thread
// creates, uses and destroys it.
#pragma once

#include "platform/window.h"

class ZRIDbgBase;

class CEventIF {
public:
    CEventIF() = default;
    virtual ~CEventIF();
    CEventIF(const CEventIF&) = delete;
    CEventIF& operator=(const CEventIF&) = delete;

    void SetDebug(ZRIDbgBase* debug) { m_pDebug = debug; }
    // Creates the window on the calling thread; false when that fails.
    bool Create(const wchar_t* windowName = L"ScannerEventIFWindow");
    BOOL DestroyWindow();
    HWND GetSafeHwnd() const { return m_hWnd; }

    // The WM_COMMAND handler: nonzero when handled. The base handles none.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    // Every other message, and commands OnCommand passes on.
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    static constexpr int kControlId = 1234;

protected:
    ZRIDbgBase& Debug() const;
    ZRIDbgBase* m_pDebug = nullptr;

private:
    static LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND m_hWnd = nullptr;
};
