#include "AppLog.h"

#include "platform/runtime.h"

#include <cstdio>
#include <cstdlib>

namespace {

CAppLog::Clock g_clock = nullptr;

// Process-wide: formed once, and the widest columns so far.
struct ProcessState {
    bool started = false;
    std::string startTime;
    std::size_t widths[3] = {0, 0, 0};
};

ProcessState& processState()
{
    static ProcessState state;
    return state;
}

const std::string& startTime()
{
    ProcessState& state = processState();
    if (!state.started) {
        SYSTEMTIME now{};
        if (g_clock != nullptr)
            g_clock(&now);
        else
            GetLocalTime(&now);
        char text[64];
        std::snprintf(text, sizeof text, "D%d_%d_%dT%d_%d_%d", now.wMonth, now.wDay, now.wYear, now.wHour,
                      now.wMinute, now.wSecond);
        state.startTime = text;
        state.started = true;
    }
    return state.startTime;
}

// Adds `text` padded with spaces to the column's widest width so far.
void addColumn(std::string& entry, const std::string& text, std::size_t& width, bool leadingSpace)
{
    if (text.size() > width)
        width = text.size();
    if (leadingSpace)
        entry += ' ';
    entry += text;
    entry.append(width - text.size(), ' ');
}

}  // namespace

const CAppLog::Program CAppLog::kValidation = {33046, 33044, 33045, KEY_READ, "TillProbeFrench.strings",
                                                "MultiLanguage"};
const CAppLog::Program CAppLog::kConfiguration = {32904, 32905, 32906, KEY_ALL_ACCESS, "TillSetupFrench.strings",
                                                   "TillSetupFrenchDll"};

void CAppLog::SetClockForTesting(Clock clock)
{
    g_clock = clock;
}

CAppLog::CAppLog(CLanguageManager& language, const Program& program) : m_language(language), m_program(program)
{
    m_language.ChooseUserLanguage(program.languageFile, program.languageName);
    m_startTime = startTime();
    m_fileName = m_language.GetString(program.stemId) + m_startTime + ".log";
}

bool CAppLog::switchedOn() const
{
    HKEY key = nullptr;
    const std::string path = m_language.GetString(m_program.switchKeyId);
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, m_program.switchAccess, &key) != ERROR_SUCCESS)
        return false;
    char data[256] = {};
    DWORD size = sizeof data - 1;
    DWORD type = 0;
    const std::string name = m_language.GetString(m_program.switchValueId);
    const LONG result =
        RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && std::atoi(data) == 1;
}

void CAppLog::Write(int, const std::string& className, const std::string& method, const std::string& label,
                    const std::string& value)
{
    try {
        if (!switchedOn())
            return;
        // The name is known to the second and the folder may be shared:
        // never through a link, only a regular file of the user's own with
        // no second name, made readable by the user alone.
        platform::AppendFile file;
        if (!file.open(m_fileName, false, platform::AppendFile::Readers::OwnerOnly))
            return;
        std::size_t* widths = processState().widths;
        std::string entry = "\r\n";
        addColumn(entry, className, widths[0], false);
        addColumn(entry, method, widths[1], true);
        if (!label.empty())
            addColumn(entry, label, widths[2], true);
        if (!value.empty())
            entry += " " + value;
        file.append(entry);
    } catch (...) {
        // The trace never disturbs the program.
    }
}
