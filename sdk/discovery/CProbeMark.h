// The machine-wide mark that a discovery is probing one port right now.
//
// A port can be busy for two reasons: a connection holds it (it stays
// skipped), or another discovery, in this process or another, has it open
// for a moment to question the device. Every probe takes the port's mark
// before it opens the port and keeps it until the port is closed again; a
// discovery that finds the mark taken waits for it (within its budget) and
// then tries the port itself, so that two discoveries at once both find a
// scanner that no connection holds. A port that still cannot be opened
// with the mark in hand is held by something other than a discovery.
//
// The mark is a "Global\" named object: it exists while its holder keeps its
// handle, and vanishes with the holder's process, even a killed one.
// Used on one thread; not copyable.
#pragma once

#include "base/CStopper.h"

#include "platform/types.h"

#include <string>

class CProbeMark {
public:
    static constexpr DWORD kPollMs = 10;

    // `portName`: the COM name or the HID path; compared without regard to
    // case. The mark is not taken yet.
    explicit CProbeMark(const std::string& portName);
    // Releases the mark if it is held.
    ~CProbeMark();
    CProbeMark(const CProbeMark&) = delete;
    CProbeMark& operator=(const CProbeMark&) = delete;

    // Takes the mark, waiting while another probe holds it, until `owner`
    // is stopped (cancel or budget): false then. When the platform cannot
    // make the mark at all the probe goes ahead unmarked (true), as it did
    // before marks existed.
    bool take(const CStopper& owner);
    void release();

private:
    std::string m_name;
    HANDLE m_handle = nullptr;
};
