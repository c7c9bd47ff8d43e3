// One loaded flash library: its two exports and the one tool it made.
//
// The library's tool is driven only through its table of four virtual
// operations (FlashScanner, GetFileVersion, SetSetting, GetSetting, in that
// slot order); this side never links any of the library's code.
//
// Threads: not locked here. CFlashProcess serialises loading and release
// with its binding lock; the other calls run while the library stays
// loaded. The last-error text has a lock of its own.
#pragma once

#include "VXFLASH02.h"

#include "platform/module.h"

#include <mutex>
#include <string>

// The library's entries and tool, as getDllFunction hands them out.
struct FlashLibraryBinding {
    PFN_CreateFlashTool create = nullptr;
    PFN_DestroyFlashTool destroy = nullptr;
    CFlashTool* tool = nullptr;
};

class CDllWrapper {
public:
    CDllWrapper() = default;
    ~CDllWrapper();
    CDllWrapper(const CDllWrapper&) = delete;
    CDllWrapper& operator=(const CDllWrapper&) = delete;

    // Loads the library at `path`, binds both exports and makes the tool.
    // A library that does not load, lacks an export or makes no tool is
    // unloaded again: false with "Can't not load library: " and the path.
    bool setVxFlashDllFile(const std::wstring& path);
    // False (text "Flash Dll is not loaded.") when no tool exists.
    bool isDllLoaded();
    // Null (same text) when nothing is loaded.
    const FlashLibraryBinding* getDllFunction();
    bool getLastError(std::string& text);
    // Destroys the tool through the library, then unloads it.
    void release();

    // The tool's operations; the library must be loaded.
    CONST_UPGRADERETURN flashScanner(void* user, const char16_t* file);
    CONST_GETSET_RETURN getFileVersion(const char16_t* file, fileversion_type* version);
    CONST_GETSET_RETURN setSetting(CONST_FLASHTOOL_SETTING id, void* data, std::uint32_t size);
    CONST_GETSET_RETURN getSetting(CONST_FLASHTOOL_SETTING id, void* data, std::uint32_t size);

private:
    void setLastError(const std::string& text);

    HMODULE m_module = nullptr;
    FlashLibraryBinding m_binding;
    std::string m_lastError;
    std::mutex m_lastErrorLock;
    bool m_loaded = false;
};
