// The scanner's event window: fires the queued records through its owner
// (the scanner logic) on the window's thread, and applies AutoDisable when
// the queue reports a new barcode ("DEVICE_ENABLE").
#pragma once

#include "CEventIF.h"
#include "IEventOwner.h"

class CScannerEventIF : public CEventIF {
public:
    CScannerEventIF() = default;
    ~CScannerEventIF() override = default;

    // Not owned; set before the window receives anything.
    void SetOwner(IScannerEventOwner* owner) { m_pOwner = owner; }

    // wParam "DEVICE_ENABLE" (lParam its carrier) or 1025 (lParam the
    // record): handled, the record deleted. 15559 and 15560 are logged and
    // passed on, as is anything else.
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    static constexpr WPARAM kProgressMessage = 15559;  // "WM_ZRI_PROGRESS_HWND_MSG"
    static constexpr WPARAM kImagerFlashing = 15560;   // "WM_ZRI_IMAGER_FLASHING"

private:
    IScannerEventOwner* m_pOwner = nullptr;
};
