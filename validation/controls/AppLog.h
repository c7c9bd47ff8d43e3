// CAppLog: the dialog programs' optional trace, one line per handler call,
// with columns padded by spaces.
//
// The file is "<stem><start time>.log" in the working directory, the start
// time formed once per process ("D%d_%d_%dT%d_%d_%d": month, day, year,
// hour, minute, second). A line is written only while the registry switch
// (the string value "Application" under
// HKLM\SOFTWARE\OLEforRetail\ServiceInfo\Varnex\Debugger) reads 1 by atoi;
// it is read again on every call. Each entry begins with "\r\n"; the
// class, method and label columns are padded to the widest of each written
// so far by this process; an empty label or value leaves its column out.
// The file is opened for each entry without following a link, and only as
// a regular file of the user's own with no other name; one it makes gets
// mode 0600. Nothing is reported: an entry that cannot be written is lost.
//
// UI thread only.
#pragma once

#include "LanguageManager.h"

#include "platform/registry.h"
#include "platform/time.h"

#include <string>

class CAppLog {
public:
    // What differs between the two programs: the string ids of the stem,
    // the switch key and value, the access the key is opened with, and the
    // language file the construction loads for a French user.
    struct Program {
        UINT stemId;
        UINT switchKeyId;
        UINT switchValueId;
        REGSAM switchAccess;
        const char* languageFile;
        const char* languageName;
    };
    static const Program kValidation;
    static const Program kConfiguration;

    CAppLog(CLanguageManager& language, const Program& program);

    // `level` is carried for the callers' sake and does not change the line.
    void Write(int level, const std::string& className, const std::string& method, const std::string& label,
               const std::string& value);

    const std::string& FileName() const { return m_fileName; }

    // The clock the start time is taken from (null: GetLocalTime). Set it
    // before the first CAppLog of the process is made.
    using Clock = void (*)(SYSTEMTIME*);
    static void SetClockForTesting(Clock clock);

private:
    bool switchedOn() const;

    CLanguageManager& m_language;
    const Program& m_program;
    std::string m_fileName;
    std::string m_startTime;
};
