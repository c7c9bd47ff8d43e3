// The library's application object: the SDK facade exists from load to
// process end. Only the shared library holds it (nothing refers to it).
#include "COPOSKestrel.h"
#include "CScannerSO.h"

#include "platform/debug.h"

namespace {

class CKestrelSOApp {
public:
    CKestrelSOApp() { InitInstance(); }
    ~CKestrelSOApp() { ExitInstance(); }
    CKestrelSOApp(const CKestrelSOApp&) = delete;
    CKestrelSOApp& operator=(const CKestrelSOApp&) = delete;

private:
    void InitInstance() { m_pFacade = COPOSKestrel::GetInstance(); }

    // Service objects still alive may have threads running in the facade:
    // it is then left as it is.
    void ExitInstance()
    {
        if (KestrelModule().canUnloadNow() == S_OK) {
            COPOSKestrel::ReleaseInstance();
            m_pFacade = nullptr;
            OutputDebugStringA("KestrelSOApp is exiting\r\n");
        } else {
            OutputDebugStringA("KestrelSOApp has open automateion service objects \r\n");
        }
    }

    COPOSKestrel* m_pFacade = nullptr;
};

CKestrelSOApp theApp;

}  // namespace
