#include "CSdkSim.h"

#include "COPOSKestrel.h"

#include "base/CBarcodeData.h"

#include "platform/sync.h"

CSdkSim::CSdkSim(COPOSKestrel* facade) : m_pFacade(facade)
{
    m_hShutdown = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    m_hTrigger = CreateSemaphoreA(nullptr, 0, 300, nullptr);
}

CSdkSim::~CSdkSim()
{
    if (m_hShutdown != nullptr)
        CloseHandle(m_hShutdown);
    if (m_hTrigger != nullptr)
        CloseHandle(m_hTrigger);
}

void CSdkSim::InjectBarcode()
{
    if (m_pFacade == nullptr)
        return;
    // A barcode record with no bytes: code identifier 0, empty label.
    m_pFacade->AsynchCallBack(new CBarcodeData(0));
}

void CSdkSim::Trigger()
{
    ReleaseSemaphore(m_hTrigger, 1, nullptr);
}

void CSdkSim::RequestShutdown()
{
    SetEvent(m_hShutdown);
}
