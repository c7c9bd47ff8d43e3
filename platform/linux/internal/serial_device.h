// The kernel object behind a serial-port handle: one open tty (a real port
// or the slave end of a virtual port's pty), with the side channel of a
// virtual port. The comm calls of platform/serial.h land here.
//
// Thread safety: reads, writes, event waits and the modem-line query may run
// on different threads at once; reads are serialised among themselves, and
// so are writes. CancelIo (from any thread) and the abort flags of
// PurgeComm end the waits running at that moment.
#pragma once

#include "linux/internal/device.h"
#include "linux/internal/serial_comtable.h"
#include "linux/internal/serial_tty.h"
#include "linux/internal/serial_virtual.h"
#include "platform/serial.h"

#include <atomic>
#include <memory>
#include <mutex>

namespace platform {

// The line state a port starts with: 9600 8N1, DTR and RTS on, the usual
// XON/XOFF characters and limits.
DCB defaultDcb();

// Wakes the waits that began before it fired. Each wait takes the current
// token; firing sets that token for good and puts a fresh one in its place,
// so a later wait is not woken by an old fire.
class WakeSignal {
public:
    struct Token {
        Token();
        ~Token();
        Token(const Token&) = delete;
        Token& operator=(const Token&) = delete;
        int fd;  // an eventfd, readable once fired (-1 if none could be made)
    };
    WakeSignal() : m_current(std::make_shared<Token>()) {}
    std::shared_ptr<Token> token();
    void fire();

private:
    std::mutex m_mutex;
    std::shared_ptr<Token> m_current;
};

class SerialDevice : public DeviceObject {
public:
    // Opens the port exclusively; null with `*error` set: 2 no such device,
    // 5 open already (here or in another process), 1167 a virtual port
    // whose device does not answer.
    static std::shared_ptr<SerialDevice> open(const SerialPortEntry& port, DWORD access, DWORD flags, DWORD* error);
    ~SerialDevice() override;

    BOOL read(void* buffer, DWORD size, DWORD* transferred, OVERLAPPED* overlapped) override;
    BOOL write(const void* buffer, DWORD size, DWORD* transferred, OVERLAPPED* overlapped) override;
    BOOL cancelIo() override;
    BOOL flushBuffers() override;
    BOOL ioControl(DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned) override;

    // The comm calls; each answers ERROR_SUCCESS or the code to report.
    DWORD getState(DCB* dcb);
    DWORD setState(const DCB& dcb);
    DWORD getTimeouts(COMMTIMEOUTS* timeouts);
    DWORD setTimeouts(const COMMTIMEOUTS& timeouts);
    DWORD setupQueues(DWORD input, DWORD output);
    DWORD purge(DWORD flags);
    DWORD escape(DWORD function);
    DWORD transmitChar(char character);
    DWORD modemStatus(DWORD* status);
    DWORD setMask(DWORD mask);
    DWORD getMask(DWORD* mask);
    DWORD waitEvent(DWORD* events);
    DWORD clearError(DWORD* errors, COMSTAT* status);

private:
    SerialDevice(int fd, std::string key, DWORD access, bool overlapped);
    DWORD readNow(void* buffer, DWORD size, DWORD* transferred);
    DWORD writeNow(const void* buffer, DWORD size, DWORD* transferred);
    // Applies the output lines to the tty or sends them to the device.
    DWORD applySignals(bool dtr, bool rts);
    DWORD hungUp();
    static BOOL finish(DWORD code, DWORD count, OVERLAPPED* overlapped);

    const int m_fd;
    const std::string m_key;  // the device path in the table of open ports
    const DWORD m_access;
    const bool m_overlapped;
    std::unique_ptr<VirtualSerialChannel> m_channel;  // virtual ports only

    std::mutex m_mutex;  // the settings below
    DCB m_dcb{};
    COMMTIMEOUTS m_timeouts{};
    DWORD m_mask = 0;
    DWORD m_inQueue = 0;
    DWORD m_outQueue = 0;
    bool m_dtr = false;
    bool m_rts = false;

    std::mutex m_readMutex;
    std::mutex m_writeMutex;
    WakeSignal m_abortRead;
    WakeSignal m_abortWrite;
    WakeSignal m_maskChanged;
    std::atomic<bool> m_gone{false};
};

}  // namespace platform
