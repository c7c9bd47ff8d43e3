// The menu-command transport: frames a command (optional SYN 'M' CR or
// SYN 'Y' CR header, an optional hub address between colons, the menu text,
// an optional storage mark), writes it with the device's preparation bytes
// and retries, gathers the reply by polling reads until it ends with a
// status byte (ACK, NAK, ENQ) and a mark ('.', '!', '@'), and classifies it.
// The data packets of a scanner that is scanning meanwhile are stepped over:
// the reply is what arrives outside them.
//
// It reads and writes the port of its PORTINFO itself, on the caller's
// thread, so nothing else may read that port while a command runs. The owner
// sets the CStopper's cancel flag and budget before each use; both are
// tested before every write, retry and read. A stop during the reply wait
// ends the wait; the reply gathered so far and its status are stored even
// when the command then answers false.
#pragma once

#include "base/CStopper.h"
#include "discovery/PORTINFO.h"

#include <cstddef>
#include <string>
#include <vector>

// The result of one exchange.
struct MenuResponse {
    std::string text;
    // -1 no reply (or under 3 bytes), 6 ACK, 21 NAK, 5 ENQ, 0 another byte
    // before the mark; 48/49 refused: address/menu of 254 characters or more.
    int status = -1;
};

struct MenuCommand {
    std::string menu;
    MenuResponse* response = nullptr;
    // 0 SYN 'M' CR, 1 SYN 'Y' CR, anything else no header.
    int frameKind = 2;
    // 0 '!', 1 '.', 2 '@', anything else no mark.
    int storageKind = 3;
    std::string address;
    // Non-empty for the device-mode query, whose reply ("APP" or "BOOT")
    // has no status and no mark: the wait ends once the reply holds this
    // text or the boot loader's answer, else when the read budget is spent.
    std::string expected;
};

// The same request with fixed text fields, for callers that build their own
// command text. A field holds at most 256 characters; a full field needs no
// terminating zero.
struct MenuCommandRecord {
    int frameKind = 2;
    int storageKind = 3;
    char menu[256] = {};
    char address[256] = {};
    MenuResponse* response = nullptr;
    std::string expected;
};

class CMenuHandler : public CStopper {
public:
    static constexpr std::size_t kMaxTextLength = 254;
    static constexpr std::size_t kPieceLength = 32;
    static constexpr int kWriteRetries = 5;

    // The record is not owned.
    explicit CMenuHandler(PORTINFO* portInfo) : m_portInfo(portInfo) {}
    ~CMenuHandler() override = default;

    // Refuses (false, status 49/48) a menu or address of 254 characters or
    // more; otherwise the record form. True when the command went out and
    // the reply wait ran to its end.
    bool sendMenu(const MenuCommand& command);
    bool sendMenu(MenuCommandRecord command);

    // The frame's bytes, sized to fit.
    static std::string buildFrame(int frameKind, int storageKind, const std::string& menu, const std::string& address);
    // Removes the echoed command (or, with `cutThrough`, everything up to
    // and including it) and a trailing status byte with its mark.
    static void cleanupMenuResponse(std::string& reply, const std::string& menu, bool cutThrough);
    // Status of a reply by its second-last byte.
    static int classify(const std::string& reply);
    static bool isComplete(const std::string& reply);
    // True when an unterminated reply to a request with `expected` text
    // holds that text or "BOOT" (letter case ignored).
    static bool holdsExpectedReply(const std::string& reply, const std::string& expected);

    bool sendPrepareData();
    bool sendMenuData(const std::string& frame);

private:
    // One write and up to kWriteRetries more after a flush; `stopped`, when
    // given, tells whether the cancel flag or the budget ended the retries.
    bool writeWithRetries(const unsigned char* bytes, int length, bool* stopped = nullptr);

    PORTINFO* m_portInfo;
};
