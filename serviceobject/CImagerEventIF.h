// The imager's event window: fires image data (1026), error and status
// records through the imager service object. It has no AutoDisable branch.
#pragma once

#include "CEventIF.h"
#include "IEventOwner.h"

class CImagerEventIF : public CEventIF {
public:
    CImagerEventIF() = default;
    ~CImagerEventIF() override = default;

    void SetOwner(IImagerEventOwner* owner) { m_pOwner = owner; }

    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    IImagerEventOwner* m_pOwner = nullptr;
};
