#include "IniFile.h"

#include "platform/profile.h"

#include <vector>

void CIniFile::Read(const std::string& section, const std::string& key, std::string& output,
                    const std::string& defaultValue) const
{
    std::vector<char> buffer(m_bufferSize < 2 ? 2 : m_bufferSize, '\0');
    buffer[buffer.size() - 2] = 'x';
    buffer[buffer.size() - 1] = 'x';
    const DWORD count = GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(), buffer.data(),
                                                 static_cast<DWORD>(buffer.size()), m_path.c_str());
    output.assign(buffer.data(), count);
}
