// Version, MS-DOS device names and the user's language (see platform/sysinfo.h).
#include "platform/error.h"
#include "platform/serial.h"
#include "platform/sysinfo.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Stores `text` (its NULs included) when it fits.
DWORD store(const std::string& text, LPSTR target, DWORD size)
{
    if (target == nullptr || text.size() > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(target, text.data(), text.size());
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(text.size());
}

struct Language {
    const char* locale;  // "ll_CC" or "ll"
    LANGID id;
};

// The locales a desktop commonly sets; a bare language takes its
// language's default country.
constexpr Language kLanguages[] = {
    {"en_us", 0x0409}, {"en_gb", 0x0809}, {"en_au", 0x0C09}, {"en_ca", 0x1009}, {"en", 0x0409},
    {"fr_fr", 0x040C}, {"fr_be", 0x080C}, {"fr_ca", 0x0C0C}, {"fr_ch", 0x100C}, {"fr_lu", 0x140C},
    {"fr", 0x040C},    {"de_de", 0x0407}, {"de_at", 0x0C07}, {"de_ch", 0x0807}, {"de", 0x0407},
    {"es_es", 0x0C0A}, {"es_mx", 0x080A}, {"es", 0x0C0A},    {"it_it", 0x0410}, {"it", 0x0410},
    {"nl_nl", 0x0413}, {"nl", 0x0413},    {"pt_br", 0x0416}, {"pt_pt", 0x0816}, {"pt", 0x0816},
    {"ja_jp", 0x0411}, {"ja", 0x0411},    {"zh_cn", 0x0804}, {"zh_tw", 0x0404}, {"zh", 0x0804},
};

}  // namespace

BOOL GetVersionExA(LPOSVERSIONINFOA versionInfo)
{
    if (versionInfo == nullptr || versionInfo->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    versionInfo->dwMajorVersion = 6;
    versionInfo->dwMinorVersion = 1;
    versionInfo->dwBuildNumber = 7601;
    versionInfo->dwPlatformId = VER_PLATFORM_WIN32_NT;
    std::memset(versionInfo->szCSDVersion, 0, sizeof versionInfo->szCSDVersion);
    return TRUE;
}

DWORD QueryDosDeviceA(LPCSTR deviceName, LPSTR targetPath, DWORD size)
{
    const auto ports = platform::listSerialPorts();
    if (deviceName == nullptr) {
        std::string names;
        for (const auto& port : ports) {
            names += port.comName;
            names.push_back('\0');
        }
        names.push_back('\0');
        return store(names, targetPath, size);
    }
    const std::string wanted = lower(deviceName);
    for (const auto& port : ports) {
        if (lower(port.comName) == wanted) {
            std::string target = port.kernelName;
            target.append(2, '\0');
            return store(target, targetPath, size);
        }
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
}

LANGID GetUserDefaultLangID()
{
    std::string locale;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            locale = value;
            break;
        }
    }
    // "fr_FR.UTF-8@euro": the language and country come before '.' and '@'.
    locale = lower(locale.substr(0, locale.find_first_of(".@")));
    const std::string language = locale.substr(0, locale.find('_'));
    for (const Language& entry : kLanguages)
        if (locale == entry.locale)
            return entry.id;
    for (const Language& entry : kLanguages)
        if (language == entry.locale)
            return entry.id;
    return kLangEnglishUnitedStates;
}
