// Shared libraries through dlopen, and the file-existence test.

#include "platform/module.h"

#include "platform/error.h"

#include "linux/internal/text.h"

#include <cerrno>
#include <dlfcn.h>
#include <map>
#include <mutex>
#include <string>
#include <sys/stat.h>

namespace {

// Modules this process loaded and not yet freed, with their reference
// counts: dlopen's handles are only ever passed back to dlsym and dlclose
// after this check, so a stale or made-up module fails instead of crashing.
struct ModuleTable {
    std::mutex mutex;
    std::map<void*, unsigned> references;
};

ModuleTable& modules()
{
    static ModuleTable* const table = new ModuleTable;  // outlives every static destructor
    return *table;
}

bool isLoaded(HMODULE module)
{
    ModuleTable& table = modules();
    std::lock_guard lock(table.mutex);
    return table.references.count(module) != 0;
}

HMODULE load(const std::string& path)
{
    if (path.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        platform::setLastErrorFromErrno();
        if (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND)
            SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    ModuleTable& table = modules();
    // dlopen and the count change together, so a concurrent FreeLibrary of
    // the same file never unloads what this call is about to hand out.
    std::lock_guard lock(table.mutex);
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    ++table.references[handle];
    SetLastError(ERROR_SUCCESS);
    return static_cast<HMODULE>(handle);
}

DWORD attributes(const std::string& path)
{
    if (path.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_FILE_ATTRIBUTES;
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        platform::setLastErrorFromErrno();
        return INVALID_FILE_ATTRIBUTES;
    }
    SetLastError(ERROR_SUCCESS);
    return S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
}

}  // namespace

HMODULE LoadLibraryW(LPCWSTR path)
{
    return load(platform::narrowFromWide(path));
}

HMODULE LoadLibraryA(LPCSTR path)
{
    return load(path != nullptr ? std::string(path) : std::string());
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name)
{
    if (module == nullptr || !isLoaded(module)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    void* address = ::dlsym(module, name);
    if (address == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    SetLastError(ERROR_SUCCESS);
    return reinterpret_cast<FARPROC>(address);
}

BOOL FreeLibrary(HMODULE module)
{
    ModuleTable& table = modules();
    std::lock_guard lock(table.mutex);
    const auto found = table.references.find(module);
    if (module == nullptr || found == table.references.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (--found->second == 0)
        table.references.erase(found);
    ::dlclose(module);
    return TRUE;
}

DWORD GetFileAttributesW(LPCWSTR path)
{
    return attributes(platform::narrowFromWide(path));
}

DWORD GetFileAttributesA(LPCSTR path)
{
    return attributes(path != nullptr ? std::string(path) : std::string());
}
