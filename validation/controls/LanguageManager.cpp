#include "LanguageManager.h"

#include "platform/debug.h"
#include "platform/error.h"
#include "platform/runtime.h"
#include "platform/sysinfo.h"

#include <filesystem>

namespace {

constexpr std::size_t kMaxText = 1023;
// Far above a full table of the programs' texts.
constexpr std::size_t kMaxStringsFile = 1024 * 1024;

std::string unescape(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out.push_back(text[i]);
            continue;
        }
        switch (text[i + 1]) {
        case 'n':
            out.push_back('\n');
            break;
        case 'r':
            out.push_back('\r');
            break;
        case 't':
            out.push_back('\t');
            break;
        case '\\':
            out.push_back('\\');
            break;
        default:
            out.push_back('\\');
            out.push_back(text[i + 1]);
            break;
        }
        ++i;
    }
    return out;
}

// Cuts UTF-8 text to at most `limit` bytes without splitting a character.
std::string cutUtf8(const std::string& text, std::size_t limit)
{
    if (text.size() <= limit)
        return text;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

}  // namespace

CLanguageManager& CLanguageManager::GetInstance()
{
    static CLanguageManager instance;
    return instance;
}

void CLanguageManager::SetProgramStrings(StringTable strings)
{
    m_program = std::move(strings);
}

void CLanguageManager::Configure(const std::string& extension, const std::string& defaultName)
{
    m_extension = extension;
    m_defaultName = defaultName;
}

bool CLanguageManager::LoadLanguageDll(const std::string& path, const std::string& name)
{
    FreeLanguageDll();
    m_currentName = name;
    // The file lies in the working folder, which others may share: it is
    // read only as a regular file of bounded size, never through a link and
    // never waiting on a FIFO.
    std::string text;
    std::string why;
    if (!platform::readRegularFile(path, kMaxStringsFile, &text, &why)) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            m_currentName = m_defaultName;
            return false;
        }
        OutputDebugStringA(("language: strings file " + path + " not loaded, the program's own texts used: it " +
                            why + "\n")
                               .c_str());
        return true;
    }
    m_library = ParseStrings(text);
    m_loaded = true;
    return true;
}

int CLanguageManager::FreeLanguageDll()
{
    const bool wasLoaded = m_loaded;
    m_library.clear();
    m_loaded = false;
    return wasLoaded ? 1 : 0;
}

std::string CLanguageManager::GetString(UINT id) const
{
    std::string text;
    if (m_loaded) {
        const auto found = m_library.find(id);
        if (found != m_library.end())
            text = found->second;
    }
    if (text.empty()) {
        const auto found = m_program.find(id);
        if (found != m_program.end())
            text = found->second;
    }
    return cutUtf8(text, kMaxText);
}

bool CLanguageManager::ChooseUserLanguage(const std::string& file, const std::string& name,
                                          const std::string& defaultName)
{
    Configure("lng", defaultName);
    if (GetUserDefaultLangID() == kLangFrenchFrance) {
        std::error_code ec;
        const std::string folder = std::filesystem::current_path(ec).string();
        LoadLanguageDll(folder + "/" + file, name);
        return true;
    }
    FreeLanguageDll();
    return false;
}

CLanguageManager::StringTable CLanguageManager::ParseStrings(const std::string& text)
{
    StringTable table;
    std::size_t start = 0;
    // A byte-order mark some editors put first.
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        start = 3;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos || tab == 0 || tab > 5)
            continue;
        UINT id = 0;
        bool digits = true;
        for (std::size_t i = 0; i < tab; ++i) {
            if (line[i] < '0' || line[i] > '9') {
                digits = false;
                break;
            }
            id = id * 10 + static_cast<UINT>(line[i] - '0');
        }
        if (!digits || id > 65535)
            continue;
        table.emplace(id, unescape(line.substr(tab + 1)));
    }
    return table;
}

void CLanguageManager::ResetForTesting()
{
    m_program.clear();
    m_library.clear();
    m_loaded = false;
    m_currentName.clear();
    m_defaultName = "english";
    m_extension = "lng";
}
