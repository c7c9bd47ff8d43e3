// The firmware-update thread: takes the device away from data collection,
// drives the SDK's firmware updater with the service object's flash
// settings and the flash libraries in "FlashDLLs" beside the host
// executable, reports the percentage done as status updates, and queues the
// outcome (2205 flashed, device left disconnected; 2201 failed, device
// connected again; 2204 failed, device not connected again; a refused file
// only connects the device again).
//
// Threads: UpdateFirmware starts the thread from the host's thread and
// waits for its start status; ReleaseDevice may cancel a running flash from
// another thread and then waits for the thread (WaitForEnd), so the
// thread's own reconnection never leaves a released device connected.
#pragma once

#include "CConDescriptor.h"
#include "ICommonSOParts.h"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

class CFirmwareUpdater;
class COPOSKestrel;
class CScannerDataQ;
class ZRIDbgBase;

class CFirmwareUpgrade : public IFirmwareWorker {
public:
    CFirmwareUpgrade() = default;
    ~CFirmwareUpgrade() override;
    CFirmwareUpgrade(const CFirmwareUpgrade&) = delete;
    CFirmwareUpgrade& operator=(const CFirmwareUpgrade&) = delete;

    void Init(COPOSKestrel* facade, ZRIDbgBase* debug, CScannerDataQ* queue, const CConDescriptor& descriptor);

    // IFirmwareWorker.
    void SetFirmwareFile(const std::string& fileName) override;
    void SetReconnectTimeout(long milliseconds) override { m_nReconnectTimeout = milliseconds; }
    void ClearStartStatus() override { m_nStartStatus = 0; }
    int GetStartStatus() const override { return m_nStartStatus.load(); }
    bool StartThread() override;
    bool ThreadEnded() const override { return m_ended.load(); }

    // Waits for a thread started before to end (joins it).
    void WaitForEnd();
    bool Running() const { return !m_ended.load(); }

    int ThreadRoutine();
    void SendProgress(int done, int total);
    static int ProgressCallBack(void* user, int, int done, int total);
    int cancelFirmwareUpgrade();
    // Cancels handed to a running updater so far.
    int CancelsRequested() const { return m_cancels.load(); }
    int reConnect();
    int ReleaseUpdater();

    // The folder of the flash libraries: "FlashDLLs" beside the program.
    static std::string FlashFolder();
    // done * 100 / total, 100 at most, without overflow; -1 for no total.
    static int Percentage(long long done, long long total);

private:
    ZRIDbgBase& Debug() const;

    std::mutex m_fileLock;
    std::string m_strFirmwareFile;
    std::atomic<int> m_nStartStatus{0};
    std::atomic<long> m_nReconnectTimeout{10000};
    COPOSKestrel* m_pFacade = nullptr;
    ZRIDbgBase* m_pDebug = nullptr;
    CScannerDataQ* m_pQueue = nullptr;
    std::mutex m_updaterLock;  // the updater's life against a cancel
    CFirmwareUpdater* m_pUpdater = nullptr;
    std::mutex m_threadLock;
    std::thread m_thread;
    std::atomic<bool> m_ended{true};
    std::atomic<int> m_cancels{0};
};
