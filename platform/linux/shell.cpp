// Starting programs detached (see platform/shell.h).
//
// A double fork: the middle child starts a new session, forks the program
// and ends at once, so the program is adopted by init and never becomes
// our zombie. The program's exec failure comes back through a pipe that
// closes on a successful exec.
#include "platform/error.h"
#include "platform/shell.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

bool isOpenVerb(LPCSTR verb)
{
    return verb == nullptr || *verb == '\0' || std::strcmp(verb, "open") == 0;
}

std::vector<std::string> splitParameters(LPCSTR parameters)
{
    std::vector<std::string> words;
    if (parameters == nullptr)
        return words;
    std::string word;
    for (const char* p = parameters;; ++p) {
        if (*p == '\0' || *p == ' ' || *p == '\t') {
            if (!word.empty())
                words.push_back(word);
            word.clear();
            if (*p == '\0')
                break;
        } else {
            word.push_back(*p);
        }
    }
    return words;
}

// 0 on success, else the ShellExecuteA error value.
int start(LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory)
{
    if (!isOpenVerb(verb))
        return SE_ERR_NOASSOC;
    if (file == nullptr || *file == '\0')
        return SE_ERR_FNF;
    std::string path = file;
    if (path.find('/') == std::string::npos)
        path = "./" + path;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return SE_ERR_FNF;
    if (!S_ISREG(info.st_mode) || ::access(path.c_str(), X_OK) != 0)
        return SE_ERR_ACCESSDENIED;

    std::vector<std::string> words = splitParameters(parameters);
    words.insert(words.begin(), path);
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const std::string workDir = directory != nullptr ? directory : "";

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return SE_ERR_ACCESSDENIED;
    const pid_t middle = ::fork();
    if (middle < 0) {
        ::close(report[0]);
        ::close(report[1]);
        return SE_ERR_ACCESSDENIED;
    }
    if (middle == 0) {
        // Only async-signal-safe calls from here on.
        ::setsid();
        const pid_t program = ::fork();
        if (program == 0) {
            ::close(report[0]);
            // Our own descriptors (sockets, locks, the toolkit's) stay ours.
            ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
            int error = 0;
            if (!workDir.empty() && ::chdir(workDir.c_str()) != 0)
                error = errno;
            if (error == 0) {
                ::execv(argv[0], argv.data());
                error = errno;
            }
            [[maybe_unused]] auto n = ::write(report[1], &error, sizeof error);
            ::_exit(127);
        }
        if (program < 0) {
            const int error = errno;
            [[maybe_unused]] auto n = ::write(report[1], &error, sizeof error);
        }
        ::_exit(0);
    }
    ::close(report[1]);
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    if (got == static_cast<ssize_t>(sizeof error))
        return error == ENOENT || error == ENOTDIR ? SE_ERR_FNF : SE_ERR_ACCESSDENIED;
    return 0;
}

HINSTANCE asInstance(int value)
{
    return reinterpret_cast<HINSTANCE>(static_cast<std::uintptr_t>(value));
}

}  // namespace

HINSTANCE ShellExecuteA(HWND, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory, int)
{
    const int error = start(verb, file, parameters, directory);
    return asInstance(error == 0 ? 42 : error);
}

BOOL ShellExecuteExA(LPSHELLEXECUTEINFOA info)
{
    if (info == nullptr || info->cbSize != sizeof(SHELLEXECUTEINFOA)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const int error = start(info->lpVerb, info->lpFile, info->lpParameters, info->lpDirectory);
    info->hInstApp = asInstance(error == 0 ? 42 : error);
    info->hProcess = nullptr;
    if (error == 0)
        return TRUE;
    SetLastError(error == SE_ERR_FNF ? ERROR_FILE_NOT_FOUND
                 : error == SE_ERR_NOASSOC ? ERROR_NO_ASSOCIATION
                                           : ERROR_ACCESS_DENIED);
    return FALSE;
}
