#include "PinfoParser.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>

int ParsePinfo(const std::string& text, PinfoRecord* record)
{
    if (text.compare(0, 4, "fmt:") != 0)
        return -1;
    std::size_t pos = 0;
    record->entryCount = 0;
    while (record->entryCount < 100) {
        const std::string_view rest = std::string_view(text).substr(pos);
        if (rest == "\r\n" || rest == "\r" || rest == "\n")
            return 0;
        const std::size_t lineEnd = rest.find_first_of("\r\n");
        if (lineEnd == std::string_view::npos)
            return -1;
        const std::size_t colon = rest.find(':');
        if (colon == std::string_view::npos || colon == 0 || colon >= lineEnd || colon + 1 >= rest.size() ||
            rest[colon + 1] != ' ')
            return -1;
        PinfoEntry& entry = record->entries[record->entryCount];
        const std::size_t nameLength = std::min<std::size_t>(colon, sizeof entry.name - 1);
        std::memcpy(entry.name, rest.data(), nameLength);
        entry.name[nameLength] = 0;
        const std::size_t valueStart = colon + 2;
        const std::size_t valueLength =
            valueStart <= lineEnd ? std::min<std::size_t>(lineEnd - valueStart, sizeof entry.value - 1) : 0;
        std::memcpy(entry.value, rest.data() + valueStart, valueLength);
        entry.value[valueLength] = 0;
        std::size_t next = lineEnd;
        if (rest[next] == '\r' && next + 1 < rest.size() && rest[next + 1] == '\n')
            next += 2;
        else
            next += 1;
        pos += next;
        ++record->entryCount;
    }
    return 0;
}

const char* LookupPinfo(const PinfoRecord& record, const char* name)
{
    for (int i = 0; i < record.entryCount && i < 100; ++i)
        if (std::strcmp(record.entries[i].name, name) == 0)
            return record.entries[i].value;
    return nullptr;
}

bool PinfoNumber(const char* text, long* value)
{
    if (text == nullptr || *text == 0)
        return false;
    char* end = nullptr;
    const long v = std::strtol(text, &end, 0);
    if (*end != 0)
        return false;
    *value = v;
    return true;
}

namespace {

void appendCodes(const char* list, std::uint32_t* codes, std::size_t capacity)
{
    if (list == nullptr)
        return;
    std::size_t used = 0;
    while (used < capacity && codes[used] != 0)
        ++used;
    std::string_view rest(list);
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        const std::string token(rest.substr(0, comma));
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        if (token == "0")
            continue;
        if (used < 32 && used < capacity)
            codes[used++] = static_cast<std::uint32_t>(std::atoi(token.c_str()));
    }
}

bool present(const PinfoRecord& record, const char* key)
{
    long v = 0;
    return PinfoNumber(LookupPinfo(record, key), &v) && v == 1;
}

void keepRevision(const char* value, char* field)
{
    if (value == nullptr)
        return;
    std::strncpy(field, value, 11);
    field[11] = 0;
}

}  // namespace

bool InterpretPinfo(PinfoRecord* record)
{
    const char* mode = LookupPinfo(*record, "mode");
    if (mode && std::strcmp(mode, "app") == 0)
        record->mode = 'A';
    else if (mode && std::strcmp(mode, "boot") == 0)
        record->mode = 'B';
    else {
        record->mode = 'X';
        return false;
    }
    if (present(*record, "app-present")) {
        keepRevision(LookupPinfo(*record, "app-sw-rev"), record->appRevision);
        appendCodes(LookupPinfo(*record, "app-compat"), record->compat, 32);
        appendCodes(LookupPinfo(*record, "app-incompat"), record->incompat, 33);
    }
    if (present(*record, "boot-present")) {
        keepRevision(LookupPinfo(*record, "boot-sw-rev"), record->bootRevision);
        appendCodes(LookupPinfo(*record, "boot-compat"), record->compat, 32);
        appendCodes(LookupPinfo(*record, "boot-incompat"), record->incompat, 33);
    }
    long cable = -1;
    char letter = '?';
    if (PinfoNumber(LookupPinfo(*record, "cbl"), &cable)) {
        switch (cable) {
        case 2: case 3: letter = 'R'; break;
        case 4: case 5: letter = 'U'; break;
        case 8: case 9: letter = 'I'; break;
        case 16: case 17: letter = 'K'; break;
        default: break;
        }
    }
    record->physical_cable_type = letter;
    long id = 0;
    record->usbvid = PinfoNumber(LookupPinfo(*record, "usbvid"), &id) ? static_cast<std::uint16_t>(id) : 0xFFFF;
    record->usbpid = PinfoNumber(LookupPinfo(*record, "usbpid"), &id) ? static_cast<std::uint16_t>(id) : 0xFFFF;
    return true;
}
