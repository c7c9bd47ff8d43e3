// Reads one item of device information per call (product name, serial
// number, terminal id, RS-232 settings, firmware revisions) by a menu query
// through the menu transport, answering repeated queries from the caller's
// reply cache without touching the port.
//
// Built on the stack by the device factories and the information workers,
// on the PORTINFO of the device being examined (not owned) and on the
// caller's cache (not owned, may be null). The caller hands on its cancel
// flag and remaining time (the CStopper base) before use. Every query runs
// on the caller's thread and reads and writes the record's port.
#pragma once

#include "CDeviceStatusChecker.h"
#include "CMenuHandler.h"
#include "CMenuMemory.h"

#include "base/CStopper.h"
#include "discovery/PORTINFO.h"

#include <string>

class CDeviceInfoFetcher : public CStopper, public CDeviceStatusChecker {
public:
    static constexpr int kDisconnected = 1167;

    CDeviceInfoFetcher();
    CDeviceInfoFetcher(PORTINFO* portInfo, CMenuMemory* menuMemory);
    ~CDeviceInfoFetcher() override = default;

    // The status of the last query's reply: 6 ACK, 21 NAK, 5 ENQ, 0 another
    // byte, -1 no usable reply; 6 before the first query.
    int getLastMenuResponseCode() const { return m_lastMenuResponseCode; }

    // One query: from the cache, else sent (two tries at most, 30 ms apart)
    // and cached when a reply came. With `echoCheck` a reply that does not
    // echo the command gets -1. The reply is then reduced to its value
    // (`cleanupFlag` non-zero: everything up to and including the echo is
    // cut). A non-empty address raises the record's read count by 3 for the
    // call. False when stopped, without a record, when the send failed, or
    // when no reply came and the port reports a disconnection (the record
    // then holds 1167 and "Device is disconnected!").
    bool getInfoViaStandardMenu(MenuResponse* reply, const std::string& command, int headerKind, int endingKind,
                                const std::string& address, bool echoCheck, int cleanupFlag);
    // A batch of ";"-separated commands as one menu command: no cache, no
    // echo check, no clean-up; the read count is raised by 8 for an
    // addressed batch. True when sent, whatever the reply's status.
    bool getInfoViaMutipleMenu(MenuResponse* reply, const std::string& command, int headerKind, int endingKind,
                               const std::string& address);

    // Texts: empty unless answered with ACK. Numbers: -1 unless answered.
    std::string getProductName(const std::string& address);
    std::string getProductDescription(const std::string& address);
    std::string getProductInfo(const std::string& address);
    std::string getSerialNum(const std::string& address);
    int getTerminalID(const std::string& address);
    int get232BaudRate();
    int get232DpsSetting();
    int get232DlyChr();
    int get232DlyMsg();
    int get232DlyFunc();
    int get232CTS();
    int get232XON();
    int get232ACK();
    int getUSBACK();
    int getUSBCTS();
    std::string getAppSoftwarePartNumberREVWA(const std::string& address);
    std::string getAppVersionREVSW(const std::string& address);
    // Words 1 to 3 of the "REV_TD?" reply with at least four words.
    std::string getFirmwareBuildDate(const std::string& address);
    // Word 0 of the "REV_TD?" reply with at least two words.
    std::string getFirmwareBuildTime(const std::string& address);

private:
    // What every query does first: the code back to "no answer", the reply
    // (or `scratch` when the caller wants none) emptied, the cancel flag
    // handed on. Null when the fetcher is stopped or has no port.
    MenuResponse* beginQuery(MenuResponse* reply, MenuResponse& scratch, const char* method);
    // The text of an ACK reply to `command`, else empty.
    std::string queryText(const std::string& command, int headerKind, const std::string& address);
    // The number of an ACK reply to `command`, else -1.
    int queryNumber(const std::string& command);
    std::string queryName(int headerKind, const std::string& address);

    PORTINFO* m_portInfo = nullptr;
    CMenuHandler m_menuHandler;
    CMenuMemory* m_menuMemory = nullptr;
    int m_lastMenuResponseCode = 6;
};
