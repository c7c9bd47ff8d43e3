// What the common properties need of two neighbours that the scanner logic
// supplies: the interactive check-health dialog and the firmware-update
// worker.
#pragma once

#include <string>

// Shown modally during CheckHealth(3).
class ICheckHealthDialog {
public:
    virtual ~ICheckHealthDialog() = default;
    // Runs the dialog until the user decides: 0 passed, 111 failed (also
    // when the dialog was closed without a decision).
    virtual int DoModal() = 0;
};

// The firmware-update thread.
class IFirmwareWorker {
public:
    virtual ~IFirmwareWorker() = default;
    virtual void SetFirmwareFile(const std::string& fileName) = 0;
    // Milliseconds for connecting the device again after a failed update.
    virtual void SetReconnectTimeout(long milliseconds) = 0;
    // 0 until the worker reports its start: 1 started, 281 file refused.
    virtual void ClearStartStatus() = 0;
    virtual int GetStartStatus() const = 0;
    // Starts the worker's thread; false when no thread could be started.
    virtual bool StartThread() = 0;
    // True once the worker's thread has ended (or while none runs).
    virtual bool ThreadEnded() const = 0;
};
