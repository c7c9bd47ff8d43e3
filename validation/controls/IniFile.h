// CIniFile: reads one value of the results file ("resultsProperty.ini").
// A missing file, section or key gives the default; a value is at most
// the buffer size less one (1223 characters for the programs' 1224).
#pragma once

#include <string>

class CIniFile {
public:
    CIniFile(std::string path, unsigned bufferSize) : m_path(std::move(path)), m_bufferSize(bufferSize) {}

    void SetPath(const std::string& path) { m_path = path; }
    const std::string& Path() const { return m_path; }

    void Read(const std::string& section, const std::string& key, std::string& output,
              const std::string& defaultValue) const;

private:
    std::string m_path;
    unsigned m_bufferSize;
};
