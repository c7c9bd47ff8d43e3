// The flash library's serial port, on the platform layer's serial calls.
// Used on the engine's thread only.
#pragma once

#include "Log.h"
#include "include/VXFLASH02.h"

#include <cstddef>
#include <cstdint>
#include <string>

class Serial {
public:
    explicit Serial(Log* log) : m_log(log) {}
    virtual ~Serial();
    Serial(const Serial&) = delete;
    Serial& operator=(const Serial&) = delete;

    // Opens "COMn" or "\\.\COMn" exclusively and applies the settings,
    // pausing `delayMs` after the time-outs and after the queue sizes. A
    // failed open leaves nothing open, so the next open can succeed.
    bool OpenPort(const std::u16string& name, const win_rs232_settings& settings, DWORD delayMs);
    bool ChangeDcbSettings(const DCB& dcb);
    // Reads up to `count` bytes, returning when they are in or when
    // `timeoutMs` has passed since the call, whatever the port's own
    // time-outs say.
    std::size_t ReadWithTimeout(std::uint8_t* buffer, std::size_t count, DWORD timeoutMs);
    bool Write(const std::uint8_t* bytes, std::size_t count);
    bool Purge();
    void Close();
    bool isOpen() const { return m_open; }

private:
    Log* m_log;
    bool m_open = false;
    HANDLE m_port = INVALID_HANDLE_VALUE;
    DWORD m_lastRead = 0;
};
