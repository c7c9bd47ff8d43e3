#include "ProtocolSettingsFile.h"

#include "ScannerCommands.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

const ProtocolSetting kSettings[] = {
    {"PX7700_dbgflags", 0x10000, false},
    {"PX7700_dbgflags_L", 0x10001, false},
    {"PX7700_dbgflags_M", 0x10002, false},
    {"PX7700_dbgflags_H", 0x10003, false},
    {"PX7700_Timeout_MenuCmd_mSecs", 0x10004, false},
    {"PX7700_TimeDelay_MenuCmd_mSecs", 0x10005, false},
    {"PX7700_RETRY_max", 0x10006, false},
    {"PX7700_TimeDelay_TRGMOD_mSecs", 0x10007, false},
    {"PX7700_TimeDelay_EnumDevice_mSecs", 0x10008, false},
    {"PX7700_TimeDelay_USB_NEWAP2_mSecs", 0x10009, false},
    {"PX7700_TimeDelay_RS232_NEWAP2_mSecs", 0x10010, false},
    {"PX7700_TimeDelay_RS232_RESET_mSecs", 0x10011, false},
    {"PX7700_TimeDelay_USB_RESET_mSecs", 0x10012, false},
    {"PX7700_TimeDelay_DETECT_mSecs", 0x10013, false},
    {"test-number", 0xFFFF, false},
    {"init-string", 6, true},
    {"test-string", 0xFFFE, true},
};

bool isQuote(unsigned char c) { return c == 0x22 || c == 0x93 || c == 0x94; }

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

const ProtocolSetting* FindProtocolSetting(const std::string& name)
{
    for (const ProtocolSetting& s : kSettings)
        if (name == s.name)
            return &s;
    return nullptr;
}

void TrimSpaces(std::string& text)
{
    std::size_t start = 0;
    while (start < text.size() && std::isspace(static_cast<unsigned char>(text[start])))
        ++start;
    std::size_t end = text.size();
    while (end > start && std::isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    text = text.substr(start, end - start);
}

int DecodeStringValue(const std::string& value, char16_t* out, std::size_t capacity)
{
    std::memset(out, 0, capacity * sizeof(char16_t));
    std::size_t i = 0;
    std::size_t end = value.size();
    const bool quoted = !value.empty() && isQuote(static_cast<unsigned char>(value[0]));
    if (quoted) {
        if (value.size() < 2 || !isQuote(static_cast<unsigned char>(value.back())))
            return -1;
        i = 1;
        end = value.size() - 1;
    }
    std::size_t n = 0;
    auto put = [&](unsigned v) {
        if (n >= capacity)
            return false;
        out[n++] = static_cast<char16_t>(v);
        return true;
    };
    while (i < end) {
        const unsigned char c = static_cast<unsigned char>(value[i]);
        if (quoted && isQuote(c))
            return -1;
        if (c != '\\') {
            if (!put(c))
                return -1;
            ++i;
            continue;
        }
        if (i + 1 >= end)
            return -1;
        const char e = value[i + 1];
        unsigned v = 0;
        std::size_t used = 2;
        switch (e) {
        case '"': v = '"'; break;
        case '\\': v = '\\'; break;
        case 'n': v = '\n'; break;
        case 'r': v = '\r'; break;
        case 't': v = '\t'; break;
        case 'x':
        case 'u': {
            const std::size_t digits = e == 'x' ? 2 : 4;
            if (i + 2 + digits > end)
                return -1;
            for (std::size_t k = 0; k < digits; ++k) {
                const int d = HexDigitValue(value[i + 2 + k]);
                if (d < 0)
                    return -1;
                v = v * 16 + static_cast<unsigned>(d);
            }
            used = 2 + digits;
            break;
        }
        default:
            if (e >= '0' && e <= '3') {
                if (i + 4 > end)
                    return -1;
                for (std::size_t k = 1; k <= 3; ++k) {
                    const char d = value[i + k];
                    if (d < '0' || d > '7')
                        return -1;
                    v = v * 8 + static_cast<unsigned>(d - '0');
                }
                used = 4;
                break;
            }
            return -1;
        }
        if (!put(v))
            return -1;
        i += used;
    }
    return static_cast<int>(n);
}

int LoadProtocolSettingsFile(CFlashTool* tool, Log* log, const std::u16string& widePath)
{
    // The path as the log shows it; a name that names no file (an embedded
    // NUL, a lone surrogate) cannot be opened.
    const std::string path = LogText(widePath);
    log->print(2, "LOAD protocal file: %s\n", path.c_str());
    const std::size_t dot = widePath.rfind(u'.');
    if (dot == std::u16string::npos || !FileExtensionMatches(widePath.substr(dot), u"txt") ||
        widePath.size() - dot != 4) {
        log->print(4, "Wrong protocal file with invalid extension: %s. Expected extension: txt.\n", path.c_str());
        return 1;
    }
    std::string name;
    const std::unique_ptr<std::FILE, FileCloser> opened(FileNameText(widePath, &name) ? std::fopen(name.c_str(), "r")
                                                                                  : nullptr);
    std::FILE* file = opened.get();
    if (file == nullptr) {
        log->write(4, CurrentDirectoryText());
        log->print(4, "LOAD: %s - FAILS\n", path.c_str());
        return 2;
    }
    log->print(2, "LOAD: %s\n", path.c_str());
    int errors = 0;
    int number = 0;
    char buffer[500];
    while (std::fgets(buffer, sizeof buffer, file) != nullptr) {
        ++number;
        std::string line(buffer);
        if (line.size() == sizeof buffer - 1 && line.back() != '\n') {
            log->print(4, "%s:%d: line too long\n", path.c_str(), number);
            ++errors;
            break;
        }
        const std::size_t cut = line.find_first_of("\r\n");
        if (cut != std::string::npos)
            line.resize(cut);
        log->print(8, "%s:%d: %s\n", path.c_str(), number, line.c_str());
        bool bad = false;
        for (std::size_t i = 0; i < line.size(); ++i) {
            unsigned char& c = reinterpret_cast<unsigned char&>(line[i]);
            if (c == 0x93 || c == 0x94) {
                c = 0x22;
            } else if (c < 32 || c > 126) {
                log->print(4, "%s:%d: Syntax error - non-ascii byte: 0x%02x, column: %d\n", path.c_str(), number, c,
                           static_cast<int>(i + 1));
                ++errors;
                bad = true;
            }
        }
        if (bad)
            continue;
        TrimSpaces(line);
        if (line.empty() || line[0] == '#' || line[0] == ';' || line.compare(0, 2, "//") == 0)
            continue;
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) {
            log->print(4, "%s:%d: Syntax Error, missing <colon>\n", path.c_str(), number);
            ++errors;
            continue;
        }
        std::string name = line.substr(0, colon);
        std::string value = line.substr(colon + 1);
        TrimSpaces(name);
        TrimSpaces(value);
        log->print(8, "%s:%d: NAME: '%s', Value: '%s'\n", path.c_str(), number, name.c_str(), value.c_str());
        const ProtocolSetting* setting = FindProtocolSetting(name);
        if (setting == nullptr) {
            log->print(4, "%s:%d: ERROR: Setting '%s' not found\n", path.c_str(), number, name.c_str());
            ++errors;
            continue;
        }
        CONST_GETSET_RETURN result;
        if (setting->isString) {
            std::vector<char16_t> text(501, 0);
            const int length = DecodeStringValue(value, text.data(), 500);
            if (length < 0) {
                log->print(4, "%s:%d: ERROR: String syntax error\n", path.c_str(), number);
                ++errors;
                continue;
            }
            result = tool->SetSetting(static_cast<CONST_FLASHTOOL_SETTING>(setting->id), text.data(),
                                      static_cast<std::uint32_t>(2 * length));
        } else {
            char* end = nullptr;
            const long long v = std::strtoll(value.c_str(), &end, 0);
            if (value.empty() || *end != 0) {
                log->print(4, "%s:%d: ERROR: Not a number\n", path.c_str(), number);
                ++errors;
                continue;
            }
            std::int32_t data = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
            result = tool->SetSetting(static_cast<CONST_FLASHTOOL_SETTING>(setting->id), &data, 4);
        }
        if (result != CGSRET_SUCCESS) {
            log->print(4, "%s:%d: Cannot set value\n", path.c_str(), number);
            ++errors;
        }
    }
    log->print(8, "%s:%d: *END*OF*FILE*\n", path.c_str(), number);
    return errors == 0 ? 0 : 2;
}
