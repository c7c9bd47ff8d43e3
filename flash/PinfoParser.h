// The scanner's P_INFO self-description: a header line beginning "fmt:",
// then "name: value" lines, and the record the engine keeps of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct PinfoEntry {
    char name[30];
    char value[100];
};

struct PinfoRecord {
    std::int32_t mode;                 // 'A', 'B', 'X', 0 before a query
    std::int32_t physical_cable_type;  // 'R', 'U', 'I', 'K', '?'
    std::uint16_t usbvid;
    std::uint16_t usbpid;
    std::uint32_t compat[32];          // 0 ends the list
    std::uint32_t incompat[33];        // 0 ends the list
    char bootRevision[16];
    char appRevision[16];
    std::int32_t entryCount;
    PinfoEntry entries[100];
};

// 0 on success, -1 for a malformed text. Entries beyond 100 are ignored;
// names and values too long for their fields are cut.
int ParsePinfo(const std::string& text, PinfoRecord* record);
// The value of the first entry with exactly that name, or null.
const char* LookupPinfo(const PinfoRecord& record, const char* name);
// Fills mode, lists, revisions, cable and USB ids from the entries. False
// when the mode is neither "app" nor "boot" (mode 'X').
bool InterpretPinfo(PinfoRecord* record);
// strtol with base 0 over the whole value; false when anything is left over.
bool PinfoNumber(const char* text, long* value);
