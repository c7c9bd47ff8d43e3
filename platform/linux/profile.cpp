// Private-profile files (see platform/profile.h).
#include "linux/internal/debug_once.h"
#include "platform/error.h"
#include "platform/profile.h"
#include "platform/runtime.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace platform {
namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

std::string trim(const std::string& text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

bool sameName(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

bool findProfileValue(const std::string& text, const std::string& section, const std::string& key,
                      std::string* value)
{
    const std::string wantedSection = trim(section);
    const std::string wantedKey = trim(key);
    bool inSection = false;
    bool sectionSeen = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = trim(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line[0] == ';')
            continue;
        if (line[0] == '[') {
            // Only the first section of the name counts.
            if (inSection)
                return false;
            const std::size_t close = line.find(']');
            const std::string name = trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            inSection = !sectionSeen && sameName(name, wantedSection);
            sectionSeen = sectionSeen || inSection;
            continue;
        }
        if (!inSection)
            continue;
        const std::size_t equals = line.find('=');
        const std::string name = trim(line.substr(0, equals));
        if (!sameName(name, wantedKey))
            continue;
        std::string found = equals == std::string::npos ? std::string() : trim(line.substr(equals + 1));
        if (found.size() >= 2 && (found.front() == '"' || found.front() == '\'') && found.back() == found.front())
            found = found.substr(1, found.size() - 2);
        *value = found;
        return true;
    }
    return false;
}

}  // namespace platform

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer, DWORD size,
                               LPCSTR path)
{
    std::string value = defaultValue != nullptr ? defaultValue : "";
    while (!value.empty() && value.back() == ' ')
        value.pop_back();
    if (section == nullptr || key == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
    } else if (path != nullptr) {
        std::string text;
        std::string why;
        if (platform::readRegularFile(path, platform::kProfileFileLimit, &text, &why)) {
            std::string found;
            if (platform::findProfileValue(text, section, key, &found))
                value = found;
            SetLastError(ERROR_SUCCESS);
        } else {
            const DWORD error = GetLastError();
            // A missing file is the usual case and says nothing; anything
            // else there is worth a line, once.
            if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
                platform::outputDebugLineOnce(std::string("platform: profile file ") + path +
                                              " not read, defaults used: it " + why + "\n");
            SetLastError(error);
        }
    }
    if (buffer == nullptr || size == 0)
        return 0;
    const std::size_t count = std::min<std::size_t>(value.size(), size - 1);
    std::memcpy(buffer, value.data(), count);
    buffer[count] = '\0';
    return static_cast<DWORD>(count);
}
