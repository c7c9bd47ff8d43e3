// A test aid behind DirectIO 5001: pushes one empty barcode record into the
// SDK facade's data path exactly as the SDK's processing thread would. With
// the device claimed the scanner queue answers it with an ErrorEvent
// (111, 2); otherwise it is discarded.
#pragma once

#include "platform/types.h"

class COPOSKestrel;

class CSdkSim {
public:
    // `facade` is not owned.
    explicit CSdkSim(COPOSKestrel* facade);
    virtual ~CSdkSim();
    CSdkSim(const CSdkSim&) = delete;
    CSdkSim& operator=(const CSdkSim&) = delete;

    void InjectBarcode();
    void Trigger();
    void RequestShutdown();

private:
    COPOSKestrel* m_pFacade;
    HANDLE m_hShutdown = nullptr;
    HANDLE m_hTrigger = nullptr;
};
