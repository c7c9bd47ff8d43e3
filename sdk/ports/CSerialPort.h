// A serial (COM) port: one platform communications handle, opened for
// exclusive, synchronous I/O, with the SDK's line-setting codes mapped onto
// the platform's DCB and COMMTIMEOUTS.
//
// Results: 0 for success, 6 when the port is not opened, 1247 for an open by
// path of an opened port, 0x80070057 for an unknown handshaking or read
// mode, 87 for a negative size or length, otherwise the platform's code of
// the failing call (1167 once the device is gone).
//
// Threads: the disconnect monitor polls the modem lines (isSignalOn) while a
// receive thread reads and other threads write. Every operation computes its
// own result and stores it as the last error atomically, so each caller
// gets its own code; getLastError answers the latest one stored. Line
// settings are read-modify-write of the driver's state: configure a port
// from one thread. Opening, closing and destruction must not overlap other
// operations on the same port.
#pragma once

#include "base/CLogRepeats.h"
#include "ports/InterfacePort.h"

#include "platform/serial.h"
#include "platform/types.h"

#include <atomic>
#include <string>

class CSerialPort : public InterfacePort {
public:
    // Closes an owned handle on destruction.
    CSerialPort();
    // `closeOnDestroy` 0: the handle the port opened stays open after the
    // port is destroyed.
    explicit CSerialPort(int closeOnDestroy);
    ~CSerialPort() override;

    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Adopts a handle opened elsewhere (replacing the one in use); neither
    // close nor the destructor ever closes it. Always 0.
    int open(HANDLE handle) override;
    // Opens "\\.\COMn" exclusively, sets the event mask and the read mode 0
    // (reads return at once with what has arrived) and applies the port's
    // default configuration when it has one.
    int open(std::wstring path) override;
    // Cancels pending I/O and closes an owned handle. Always 0.
    int close() override;
    // One read of at most 255 bytes; the text runs from the first non-zero
    // byte to the next zero byte.
    int read(std::string& text) override;
    // One read of at most `size` bytes; `count` (may be null) gets how many.
    int read(unsigned char* buffer, int size, unsigned int* count) override;
    // Up to 12 writes of what the driver has not taken yet. 0 even when the
    // driver took less than `length` (callers compare the count).
    int write(const unsigned char* buffer, int length, unsigned int* count) override;
    // Discards both queues and aborts pending transfers (as purge).
    int flush() override;
    bool isOpened() override;
    int getLastError() override;
    HANDLE getHandle() override;

    virtual int setup(int baudRate, unsigned dps);
    virtual int setup(int baudRate, int dataBits, int parity, int stopBits);
    virtual int setupDTR(int dtrControl);
    virtual int setupRTS(int rtsControl);
    virtual int setupHandshaking(int mode);
    virtual int setupReadTimeouts(unsigned interval, unsigned totalConstant, unsigned totalMultiplier);
    virtual int setupReadTimeouts(int mode);
    virtual int setupQueueSize(int inputSize, int outputSize);
    virtual int getBaudrate();
    virtual int getDataBits();
    virtual int getParity();
    virtual int getStopBits();
    virtual int getHandshaking();
    virtual int setEventChar(char character, bool addToMask);
    virtual int setMask(unsigned mask);
    virtual int waitEvent();
    virtual unsigned getEventMask();
    virtual char getEventChar();

    int purge();
    // CancelIo on the handle: non-zero for success, 0 when not opened.
    int cancelCommIo();
    int getTimeout(COMMTIMEOUTS* timeouts);
    int setTimeout(COMMTIMEOUTS timeouts);
    int getDCB(DCB* dcb);
    int setDCB(DCB* dcb);
    bool getCTS();
    bool getDSR();
    bool getRing();
    bool getRLSD();
    int Break();
    unsigned getError();
    unsigned getEventType();
    bool isSignalOn(unsigned mask);

private:
    HANDLE handle() const { return m_handle.load(); }
    int done(int code)
    {
        m_lastError.store(code);
        return code;
    }
    // GetCommState into `dcb`; 0 or the code (6 when not opened), with the
    // failure logged under `method`.
    int readState(DCB* dcb, const char* method, const char* notOpened, const char* failed);
    // SetCommState with `dcb`; stores and answers 0 or the code, with the
    // failure logged under `method`.
    int writeState(DCB& dcb, const char* method, const char* failed);
    bool modemBit(DWORD bit, const char* method, const char* failed);

    HANDLE m_ownedHandle = nullptr;
    std::atomic<HANDLE> m_handle{nullptr};
    std::atomic<int> m_lastError{0};
    std::atomic<DWORD> m_lastEvent{0};
    std::atomic<DWORD> m_eventMask{0};
    bool m_closeOnDestroy;
    // Failures that a gone device repeats on every poll, logged once each
    // with a count.
    CLogRepeats m_repeats;
};
