// The SDK's version, its current logger and its log level.
//
// Every SDK log call goes through CScanningSDK::getLogger at the moment of
// the call: the logger set with SetLogger, or the default logger, which
// writes to "scanningsdk.log" in the process's current folder (created and
// emptied when the library is loaded).
#pragma once

#include "CLogger.h"

#include <string>

class CScanningSDK {
public:
    virtual ~CScanningSDK() = default;

    // "3.1.04".
    static std::string getVersion();

    // The current logger; never null.
    static CLogger* getLogger();

    // Sets the current logger's mask from an SDK log level:
    // 1 0x1FF, 2 0x1BE, 3 0x19C, 4 0x118, 5 0x10, 6 0xFFFFFFFF, any other 0.
    static void setLogLevel(int level);
    // The level whose mask the current logger has; 0 for any other mask.
    static int getLogLevel();

    // Makes `logger` the current logger (null returns to the default one) and
    // logs the SDK version through it. The caller keeps the logger alive for
    // as long as it stays current.
    static void SetLogger(CLogger* logger);

    // Empty while the platform's runtime directory (virtual devices, device
    // locks) serves; otherwise the line saying which folder is refused and
    // why, which is also written to the SDK log at the error bit.
    static std::string checkRuntimeDirectory();

    // The mask of an SDK log level, and the level of a mask (0 when none).
    static DWORD maskForLevel(int level);
    static int levelForMask(DWORD mask);

private:
    friend class CLogger;
    static CLogger& defaultLogger();
};

// Logs "<method>, <text>" at `bit` through the current logger. The text is
// built only when the bit is on, and an empty text logs nothing.
#define SDK_LOG(bit, method, text)                                         \
    do {                                                                   \
        CLogger* sdkLogger_ = CScanningSDK::getLogger();                   \
        if (sdkLogger_->isEnabled(bit)) {                                  \
            std::string sdkText_ = (text);                                 \
            if (!sdkText_.empty()) {                                       \
                sdkLogger_->log(std::string(method) + ", " + sdkText_, (bit)); \
            }                                                              \
        }                                                                  \
    } while (0)
