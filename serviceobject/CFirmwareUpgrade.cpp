#include "CFirmwareUpgrade.h"

#include "COPOSKestrel.h"
#include "CScannerDataQ.h"
#include "debug/ZRIDbgBase.h"

#include "api/CFirmwareUpdater.h"

#include "platform/module_path.h"

#include <cstdlib>

CFirmwareUpgrade::~CFirmwareUpgrade()
{
    WaitForEnd();
    ReleaseUpdater();
}

ZRIDbgBase& CFirmwareUpgrade::Debug() const
{
    return ZRIDbgBase::Or(m_pDebug);
}

void CFirmwareUpgrade::Init(COPOSKestrel* facade, ZRIDbgBase* debug, CScannerDataQ* queue, const CConDescriptor&)
{
    m_pFacade = facade;
    m_pDebug = debug;
    m_pQueue = queue;
}

void CFirmwareUpgrade::SetFirmwareFile(const std::string& fileName)
{
    std::lock_guard lock(m_fileLock);
    m_strFirmwareFile = fileName;
}

bool CFirmwareUpgrade::StartThread()
{
    std::lock_guard lock(m_threadLock);
    if (m_thread.joinable())
        m_thread.join();
    m_ended = false;
    try {
        m_thread = std::thread([this] {
            ThreadRoutine();
            m_ended = true;
        });
    } catch (...) {
        m_ended = true;
        return false;
    }
    return true;
}

void CFirmwareUpgrade::WaitForEnd()
{
    std::lock_guard lock(m_threadLock);
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
}

std::string CFirmwareUpgrade::FlashFolder()
{
    std::string path = platform::executablePath();
    const std::size_t slash = path.rfind('/');
    path = slash == std::string::npos ? std::string() : path.substr(0, slash);
    return path + "/FlashDLLs";
}

int CFirmwareUpgrade::Percentage(long long done, long long total)
{
    if (total <= 0)
        return -1;
    if (done <= 0)
        return 0;
    const long long percent = done * 100 / total;
    return percent > 100 ? 100 : static_cast<int>(percent);
}

int CFirmwareUpgrade::ThreadRoutine()
{
    static const char* const tag = "CFirmwareUpgrade.ThreadRoutine(): ";
    Debug().LogText(tag, "entered");
    if (m_pFacade == nullptr || m_pFacade->GetConnection() == nullptr) {
        // The start status stays 0: the caller sees the thread end without
        // a start and fails the call.
        return 1012;
    }
    m_pQueue->SetState(3);
    int result = 1;
    try {
        const std::string folder = FlashFolder();
        Debug().LogText2(tag, "FlashDLLs path", folder.c_str());
        ReleaseUpdater();
        {
            std::lock_guard lock(m_updaterLock);
            m_pUpdater = new CFirmwareUpdater;
        }
        CFirmwareUpdaterTemplate settings;
        settings.logLevel = std::atoi(m_pFacade->FWDebugLevel().c_str());
        settings.logType = std::atoi(m_pFacade->FWDebugType().c_str());
        settings.logFile = m_pFacade->FWDebugFile();
        settings.protocolFile = m_pFacade->FWProtocolFile();
        settings.flashDllFolder = folder;
        settings.progressCallback = &CFirmwareUpgrade::ProgressCallBack;
        int r = 1;
        if (m_pFacade->ShutDownDataCollection() == 0) {
            std::lock_guard sdk(m_pFacade->SdkLock());
            r = m_pUpdater->intialize(m_pFacade->GetConnection(), settings);
        }
        std::string text;
        if (r != 0) {
            m_pUpdater->getLastError(text);
            Debug().LogText2(tag, "Error in Firmware initialization", text.c_str());
            result = r;
        } else {
            Debug().LogText(tag, "FW initialize successful");
            std::string file;
            {
                std::lock_guard lock(m_fileLock);
                file = m_strFirmwareFile;
            }
            result = m_pUpdater->flashFirmware(this, file);
            m_pUpdater->getLastError(text);
            Debug().LogText2(tag, "flashFirmware", text.c_str());
        }
        Debug().LogText(tag, "exiting");
        ReleaseUpdater();
        switch (result) {
        case 0:
            m_nStartStatus = 1;
            m_pQueue->ProcessSUE(2205);
            break;
        case 2:
        case 3:
            m_nStartStatus = 281;
            reConnect();
            break;
        case 1:
        case 4:
        case 5:
            m_nStartStatus = 1;
            m_pQueue->ProcessSUE(reConnect() == 0 ? 2201 : 2204);
            break;
        default:
            if (m_nStartStatus.load() == 0)
                m_nStartStatus = 1;
            break;
        }
    } catch (...) {
        ReleaseUpdater();
        Debug().LogText(tag, "Exception in Update firmware");
    }
    m_pQueue->SetState(2);
    return result;
}

int CFirmwareUpgrade::ProgressCallBack(void* user, int, int done, int total)
{
    if (user != nullptr)
        static_cast<CFirmwareUpgrade*>(user)->SendProgress(done, total);
    return 0;
}

void CFirmwareUpgrade::SendProgress(int done, int total)
{
    static const char* const tag = "CFirmwareUpgrade.SendProgress() ";
    Debug().LogTextNumber(tag, "Progress", done);
    Debug().LogTextNumber(tag, "TotalSize", total);
    const int percent = Percentage(done, total);
    if (percent < 0)
        return;  // no total: no percentage to report
    if (done != 0)
        m_nStartStatus = 1;
    m_pQueue->ProcessSUE(percent);
}

int CFirmwareUpgrade::cancelFirmwareUpgrade()
{
    static const char* const tag = "CFirmwareUpgrade.cancelFirmwareUpgrade() ";
    std::lock_guard lock(m_updaterLock);
    if (m_pUpdater == nullptr)
        return 0;
    int r = 1;
    try {
        r = m_pUpdater->cancelFlash();
        ++m_cancels;
        if (r != 0) {
            std::string text;
            m_pUpdater->getLastError(text);
            Debug().LogText2(tag, "Error in cancelFlash", text.c_str());
        } else {
            Debug().LogText(tag, "successful");
        }
    } catch (...) {
        Debug().LogText2(tag, "Error in cancelFlash", "Exception in cancelFlash");
    }
    return r;
}

int CFirmwareUpgrade::reConnect()
{
    static const char* const tag = "CFirmwareUpgrade.reConnect() ";
    m_pFacade->SetInUse(false);
    if (m_pFacade->DisConnect() != 0)
        Debug().LogText(tag, "failed to disconnect the device");
    const int r = m_pFacade->Connect(static_cast<int>(m_nReconnectTimeout.load()), false);
    if (r != 0)
        Debug().LogText(tag, "failed to connect the device");
    else
        m_pFacade->SetInUse(true);
    return r;
}

int CFirmwareUpgrade::ReleaseUpdater()
{
    std::lock_guard lock(m_updaterLock);
    if (m_pUpdater == nullptr)
        return 0;
    const int r = m_pUpdater->unInitialize();
    Debug().Log(r != 0 ? "failed to shudown firmware module" : "firmware module shutdown successful");
    delete m_pUpdater;
    m_pUpdater = nullptr;
    return r;
}
