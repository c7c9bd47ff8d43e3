// Watches a serial port's modem lines: the device counts as gone when none
// of the lines in the mask is on (a failed status read counts the same).
// Polls every 5 ms on its own thread.
#pragma once

#include "discovery/CDisconnectMonitor.h"

#include <atomic>
#include <memory>

class CThread;

class CSerialDisconnectMonitor : public CDisconnectMonitor {
public:
    CSerialDisconnectMonitor();
    explicit CSerialDisconnectMonitor(std::string portName);
    // Ends the monitor thread (within one poll) and waits for it; never
    // waits for a callback, and a callback not yet begun is not made.
    ~CSerialDisconnectMonitor() override;

    int setCallback(DisconnectCallback callback) override;
    // `port` must be a CSerialPort, or the thread ends at once.
    int startThread(InterfacePort* port) override;
    // CTS 0x10, DSR 0x20, ring 0x40, carrier 0x80; read by the next poll.
    void setMonitorMask(unsigned int mask) { m_mask.store(mask); }

private:
    int threadRoutine();

    std::atomic<bool> m_running{true};
    std::unique_ptr<CThread> m_thread;
    std::atomic<DisconnectCallback> m_callback{nullptr};
    InterfacePort* m_port = nullptr;
    std::string m_portName;
    std::atomic<unsigned int> m_mask{0xF0};
};
