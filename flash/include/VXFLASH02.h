// The binary interface of the firmware flash library libVXFLASH02.so.
//
// Hosts (the scanning SDK's firmware update, the Java bridge) load the
// library by path, resolve "CreateFlashTool" and "DestroyFlashTool" and drive
// the tool through its table of virtual operations. Both sides include this
// header, so every record that crosses the boundary is fixed here by
// static_asserts for this platform: pointers are 8 bytes and wide texts are
// UTF-16 (char16_t, never wchar_t, which is 4 bytes here).
//
// Threads: every operation runs on the caller's thread. The one value that
// another thread may change while FlashScanner runs is CFS_CANCELIO. Two
// tools must not run updates at the same time: the firmware file's
// compatibility list is one table for the whole library.
#pragma once

#include "platform/serial.h"

#include <cstddef>
#include <cstdint>

#define VXFLASH_API __attribute__((visibility("default")))

enum CONST_FLASHTOOL_SETTING : std::int32_t {
    CFS_CANCELIO = 0,
    CFS_FWCALLBACK = 1,
    CFS_VERSION = 2,
    CFS_LOGGING = 3,
    CFS_PORTFILENAME = 4,
    CFS_FLASH_PROTOCOL_SETTINGS = 5,
    CFS_FLASH_INITSTRING = 6,
    CFS_INTERFACE = 7,
    CFS_WIN32_232_SETTINGS = 8,
    // The engine's typed settings (32-bit values). 0x1000A-0x1000F are not
    // settings.
    CFS_DBGFLAGS = 0x10000,
    CFS_DBGFLAGS_L = 0x10001,
    CFS_DBGFLAGS_M = 0x10002,
    CFS_DBGFLAGS_H = 0x10003,
    CFS_TIMEOUT_MENUCMD = 0x10004,
    CFS_TIMEDELAY_MENUCMD = 0x10005,
    CFS_RETRY_MAX = 0x10006,
    CFS_TIMEDELAY_TRGMOD = 0x10007,
    CFS_TIMEDELAY_ENUMDEVICE = 0x10008,
    CFS_TIMEDELAY_USB_NEWAP2 = 0x10009,
    CFS_TIMEDELAY_RS232_NEWAP2 = 0x10010,
    CFS_TIMEDELAY_RS232_RESET = 0x10011,
    CFS_TIMEDELAY_USB_RESET = 0x10012,
    CFS_TIMEDELAY_DETECT = 0x10013,
};

enum CONST_GETSET_RETURN : std::int32_t {
    CGSRET_SUCCESS = 0,
    CGSRET_INVALID = 1,
    CGSRET_FAILURE = 2,
    CGSRET_NOTSET = 3,
    CGSRET_UNSUPPORTED = 4,
};

enum CONST_UPGRADERETURN : std::int32_t {
    CUR_SUCCESS = 0,
    CUR_FAILURE = 1,
    CUR_CANCELED = 2,
    CUR_FILEBAD = 3,
    CUR_FILE_INCOMPATIBLE = 4,
    CUR_FAILURE_BRICK = 5,
    CUR_SUCCESS_RECOVERY = 6,
    CUR_SCANNER_NOT_IN_BASE = 7,
    CUR_SCANNER_LOW_BATTERY = 8,
};

// Interfaces (CFS_INTERFACE).
constexpr std::int32_t CIF_RS232 = 0;
constexpr std::int32_t CIF_USBHID_BARCODE_SCANNER = 1;
constexpr std::int32_t CIF_USBCDC = 2;

// Log targets and levels (CFS_LOGGING).
constexpr std::int32_t CFS_LOG_DEBUGGER = 0;
constexpr std::int32_t CFS_LOG_FILE = 1;
constexpr std::int32_t CFS_LOG_CONSOLE = 2;

// The data of CFS_LOGGING; its size is sizeof(log_settings) (24 here).
struct log_settings {
    std::int32_t target;         // 0 debugger output, 1 file, 2 console
    const char16_t* fileName;    // target 1; the tool keeps its own copy
    std::int32_t level;          // 0 none, 1 errors, 2 and information, 3 everything
};
static_assert(sizeof(log_settings) == 24);
static_assert(offsetof(log_settings, target) == 0);
static_assert(offsetof(log_settings, fileName) == 8);
static_assert(offsetof(log_settings, level) == 16);

// The progress callback (CFS_FWCALLBACK): the caller handle given to
// FlashScanner, 0, bytes sent so far, bytes in total. Called on the thread
// that runs FlashScanner; its result is ignored. The callback is set by
// passing the function itself as the data argument with size 4; getting it
// needs room for a pointer (8 bytes) and writes it there.
using CFS_PROGRESS_CALLBACK = std::int32_t (*)(void* caller, std::int32_t zero, std::int32_t done,
                                               std::int32_t total);

// A broken-down calendar time in the standard library's tm order, as nine
// 32-bit fields (not the C library's struct tm, whose size differs).
struct fileversion_time {
    std::int32_t tm_sec;
    std::int32_t tm_min;
    std::int32_t tm_hour;
    std::int32_t tm_mday;
    std::int32_t tm_mon;   // 0-11
    std::int32_t tm_year;  // years since 1900
    std::int32_t tm_wday;  // left 0
    std::int32_t tm_yday;  // left 0
    std::int32_t tm_isdst; // left 0
};
static_assert(sizeof(fileversion_time) == 36);

// Versions inside a firmware file (GetFileVersion); zero where the file holds
// no image of that kind.
struct fileversion_type {
    char appVersion[32];
    fileversion_time appDate;
    char bootVersion[32];
    fileversion_time bootDate;
};
static_assert(sizeof(fileversion_type) == 136);
static_assert(offsetof(fileversion_type, appVersion) == 0);
static_assert(offsetof(fileversion_type, appDate) == 32);
static_assert(offsetof(fileversion_type, bootVersion) == 68);
static_assert(offsetof(fileversion_type, bootDate) == 100);

// The host's serial settings (CFS_WIN32_232_SETTINGS), copied byte for byte.
struct win_rs232_settings {
    DCB dcb;
    COMMTIMEOUTS comTimeout;
    DWORD dwInQueue;
    DWORD dwOutQueue;
};
static_assert(sizeof(win_rs232_settings) == 56);
static_assert(offsetof(win_rs232_settings, dcb) == 0);
static_assert(offsetof(win_rs232_settings, comTimeout) == 28);
static_assert(offsetof(win_rs232_settings, dwInQueue) == 48);
static_assert(offsetof(win_rs232_settings, dwOutQueue) == 52);

class MyPrivateParams;

// One firmware update. Create and destroy it only through the two exported
// functions: the class has no virtual destructor, and its four virtual
// operations keep this slot order (hosts call through the table). Copies are
// refused, since a copy would share (and free twice) the engine.
class VXFLASH_API CFlashTool final {
public:
    CFlashTool();
    ~CFlashTool();
    CFlashTool(const CFlashTool&) = delete;
    CFlashTool& operator=(const CFlashTool&) = delete;

    // Runs a whole update of the device named by CFS_PORTFILENAME with the
    // firmware file `path` (UTF-16, NUL-terminated). Blocks for the whole
    // update; the progress callback runs on this thread with `caller`.
    virtual CONST_UPGRADERETURN FlashScanner(void* caller, const char16_t* path);
    // Fills `version` (zero-filled first) with the versions in the file.
    virtual CONST_GETSET_RETURN GetFileVersion(const char16_t* path, fileversion_type* version);
    // Sizes are in bytes, with one exception: a CFS_FLASH_INITSTRING set
    // counts wide characters (the protocol-settings file passes twice the
    // text's length, and the multi-string's terminators must lie within the
    // first `size` characters). A CFS_PORTFILENAME set reads at most
    // size / 2 characters, terminated or not. Texts read back (CFS_VERSION,
    // CFS_PORTFILENAME, CFS_FLASH_INITSTRING) are copied only when they fit
    // in `size` bytes.
    virtual CONST_GETSET_RETURN SetSetting(CONST_FLASHTOOL_SETTING id, void* data, std::uint32_t size);
    virtual CONST_GETSET_RETURN GetSetting(CONST_FLASHTOOL_SETTING id, void* data, std::uint32_t size);

    MyPrivateParams* engine() const { return m_pParams; }

private:
    // The operations' bodies; the public ones catch what these throw.
    CONST_UPGRADERETURN flashScanner(void* caller, const char16_t* path);
    CONST_GETSET_RETURN fileVersion(const char16_t* path, fileversion_type* version);
    CONST_GETSET_RETURN settingSwitch(CONST_FLASHTOOL_SETTING id, void* data, std::uint32_t size, bool set);
    MyPrivateParams* m_pParams;
};
static_assert(sizeof(CFlashTool) == 16, "a table pointer and the engine pointer");

extern "C" {
// A new tool with its engine; null when it cannot be allocated.
VXFLASH_API CFlashTool* CreateFlashTool();
// Destroys the engine and frees the tool; does nothing for null.
VXFLASH_API void DestroyFlashTool(CFlashTool* tool);
}

using PFN_CreateFlashTool = CFlashTool* (*)();
using PFN_DestroyFlashTool = void (*)(CFlashTool*);
