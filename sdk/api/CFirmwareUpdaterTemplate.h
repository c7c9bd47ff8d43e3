// What a caller fills in before a firmware update: the flash library's log
// settings, its protocol-settings file, the folder that holds the flash
// libraries and the progress callback. A plain value.
#pragma once

#include "VXFLASH02.h"

#include <string>

class CFirmwareUpdaterTemplate {
public:
    CFirmwareUpdaterTemplate() = default;
    CFirmwareUpdaterTemplate(const CFirmwareUpdaterTemplate&) = default;
    CFirmwareUpdaterTemplate& operator=(const CFirmwareUpdaterTemplate&) = default;
    virtual ~CFirmwareUpdaterTemplate() = default;

    // The library's log level (1 to 3) and target (0 debugger output, 1 file,
    // 2 console); either at -1 leaves the library's logging alone.
    int logLevel = -1;
    int logType = -1;
    // The log file of target 1.
    std::string logFile;
    // The protocol-settings text file; empty keeps the library's defaults.
    std::string protocolFile;
    // The folder in which "libVXFLASH0<flash type>.so" is looked for.
    std::string flashDllFolder;
    // Called by the library on the flashing thread with the caller's user
    // pointer, 0, the amount done and the total; may be null.
    CFS_PROGRESS_CALLBACK progressCallback = nullptr;
};
