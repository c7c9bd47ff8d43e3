// Where finished log lines go: a file, standard output, the debugger output
// or a caller's callback. Outputs are shared between loggers through the
// output registry of CLogger, which owns them; a logger never deletes one.
//
// Each output serialises its writes with its own critical section, so lines
// written through one output from several threads never interleave. The
// section is recursive: a callback that logs through the same output from
// inside itself (same thread) gets its line written instead of deadlocking.
#pragma once

#include "platform/runtime.h"
#include "platform/sync.h"

#include <string>

class CLogOutput {
public:
    CLogOutput();
    CLogOutput(const CLogOutput&) = delete;
    CLogOutput& operator=(const CLogOutput&) = delete;

    // Writes one finished line (the output adds the line end). Answers
    // whether the line was delivered.
    virtual bool write(std::string line) = 0;
    virtual ~CLogOutput();

protected:
    CRITICAL_SECTION m_lock;
};

// A log file. It is emptied when opened and then only appended to, each line
// with its line end in one write call, so that two processes logging to the
// same file never overwrite or split each other's lines. Every line reaches
// the file before write returns. The name is opened only as a regular file,
// never through a link (the current folder may be one others can write to),
// and a file that is neither made by this open nor the user's own is
// appended to without being emptied; a refused name leaves the output
// unopened, so loggers on it write nothing and answer false.
class CLogFile : public CLogOutput {
public:
    // The name used when an empty one is given.
    static constexpr const char* kDefaultFileName = "Varnex_KDR_Log.txt";

    explicit CLogFile(std::string fileName);
    ~CLogFile() override;

    // False when the file is not open or the write failed.
    bool write(std::string line) override;

    bool isOpened() const { return m_opened; }
    const std::string& getFileName() const { return m_fileName; }

private:
    std::string m_fileName;
    platform::AppendFile m_file;
    bool m_opened = false;
};

// Standard output.
class CLogConsole : public CLogOutput {
public:
    CLogConsole() = default;
    ~CLogConsole() override = default;
    bool write(std::string line) override;
};

// The debugger output (OutputDebugStringA); each line is delivered as one
// text with its line end.
class CLogDebugView : public CLogOutput {
public:
    CLogDebugView() = default;
    ~CLogDebugView() override = default;
    bool write(std::string line) override;
};

// A caller's callback. It runs on the logging thread while the output's lock
// is held; it may log again through the same logger.
using LogCustomizeCallback = void (*)(int userValue, std::string line);

class CLogCustomize : public CLogOutput {
public:
    CLogCustomize(int userValue, LogCustomizeCallback callback);
    ~CLogCustomize() override = default;

    // False when there is no callback.
    bool write(std::string line) override;

private:
    int m_userValue;
    LogCustomizeCallback m_callback;
};
