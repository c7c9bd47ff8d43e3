// Where the scanner is: a port type ("RS232", "USBSER", "USBHID" or
// "IBMPOSS"), a port number (COM ports counted from 0; 256 for USB HID)
// and, for "RS232", the serial settings. A plain value.
#pragma once

#include <cstdint>
#include <string>

struct SSerialSettings {
    std::int32_t m_nSpare = 24;  // not read by the system
    std::int32_t m_nBaudRate = 115200;
    std::int32_t m_nDataBits = 8;
    std::int32_t m_nParity = 'N';  // 'N', 'O', 'E', 'M', 'S'
    std::int32_t m_nStopBits = 1;
    std::int32_t m_nHandshake = 0;  // not read by the system

    bool operator==(const SSerialSettings&) const = default;
};

class CConDescriptor {
public:
    static constexpr int kUsbHidPort = 256;

    CConDescriptor() = default;
    virtual ~CConDescriptor() = default;
    CConDescriptor(const CConDescriptor&) = default;
    CConDescriptor& operator=(const CConDescriptor&) = default;

    void SetPort(int port) { m_nPort = port; }
    int GetPort() const { return m_nPort; }
    // Keeps at most 11 characters.
    void SetType(const char* type);
    const char* GetType() const { return m_szType; }
    // Whether the type starts with `type`.
    bool IsType(const char* type) const;
    // The serial settings for "RS232" (and an unset type); null for
    // "USBSER", "USBHID" and "IBMPOSS".
    const SSerialSettings* GetSerialSettings() const;

    // "0" 300 ... "8" 57600, anything else 115200.
    void SetBaudRate(const std::string& code);
    // "ODD", "EVEN", "MARK", "SPACE" (exactly), anything else none.
    void SetParity(const std::string& name);
    // "7" or 8.
    void SetDataBits(const std::string& text);
    // "2" or 1.
    void SetStopBits(const std::string& text);
    void SetHandshake(int handshake) { m_settings.m_nHandshake = handshake; }

    // Port number, port type (for the other record's type length) and the
    // serial settings.
    bool operator==(const CConDescriptor& other) const;
    bool operator!=(const CConDescriptor& other) const { return !(*this == other); }

private:
    char m_szType[12] = {};
    int m_nPort = 0;
    SSerialSettings m_settings;
};
