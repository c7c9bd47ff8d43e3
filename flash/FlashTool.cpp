// CFlashTool, the two exported functions and the numbered settings.
#include "include/VXFLASH02.h"

#include "MyPrivateParams.h"
#include "ProtocolSettingsFile.h"
#include "ScannerCommands.h"

#include <cstring>
#include <new>

namespace {

char parityLetter(int parity)
{
    static const char kLetters[] = {'N', 'O', 'E', 'M', 'S'};
    return parity >= 0 && parity <= 4 ? kLetters[parity] : '?';
}

const char* stopBitsText(int stopBits)
{
    if (stopBits == 0)
        return "1";
    if (stopBits == 1 || stopBits == 2)
        return "2";
    return "?";
}

// Bytes of a multi-string: every string with its NUL, then the final NUL.
std::size_t multiStringLength(const std::u16string& block) { return block.size(); }

// Hosts reach the tool through a C interface and its table of virtual
// operations: no exception may cross them. A failure inside (an allocation,
// mostly) answers the operation's failure result.
template <typename Result, typename Body>
Result guarded(Result failure, Body&& body) noexcept
{
    try {
        return body();
    } catch (...) {
        return failure;
    }
}

}  // namespace

CFlashTool::CFlashTool() : m_pParams(new MyPrivateParams(this)) {}

CFlashTool::~CFlashTool() { delete m_pParams; }

CONST_GETSET_RETURN CFlashTool::SetSetting(CONST_FLASHTOOL_SETTING id, void* data, std::uint32_t size)
{
    return guarded(CGSRET_FAILURE, [&] { return settingSwitch(id, data, size, true); });
}

CONST_GETSET_RETURN CFlashTool::GetSetting(CONST_FLASHTOOL_SETTING id, void* data, std::uint32_t size)
{
    return guarded(CGSRET_FAILURE, [&] { return settingSwitch(id, data, size, false); });
}

CONST_GETSET_RETURN CFlashTool::settingSwitch(CONST_FLASHTOOL_SETTING id, void* data, std::uint32_t size, bool set)
{
    MyPrivateParams& e = *m_pParams;
    Log& log = *e.m_log;
    if (data == nullptr) {
        log.print(4, "NULL pointer\n");
        return CGSRET_INVALID;
    }
    if (size < 4) {
        log.print(4, "Must be at least intptr_t size\n");
        return CGSRET_INVALID;
    }
    if (id >= 9 || id < 0) {
        log.print(2, "Set CONST_FLASHTOOL_SETTING -- default MY_GETSET.\n");
        return e.TypedSetting(data, set, size, id);
    }
    switch (id) {
    case CFS_CANCELIO: {
        log.print(2, "Set CONST_FLASHTOOL_SETTING -- CFS_CANCELIO\n");
        if (size != 4) {
            log.print(4, "Invalid size\n");
            return CGSRET_INVALID;
        }
        std::int32_t value;
        if (set) {
            std::memcpy(&value, data, 4);
            e.m_cancel.store(value);
        } else {
            value = e.m_cancel.load();
            std::memcpy(data, &value, 4);
        }
        return CGSRET_SUCCESS;
    }
    case CFS_FWCALLBACK: {
        // Set: the data argument is the function itself. Get: the pointer is
        // written whole, so it needs room for a pointer.
        if (set ? size != 4 : size < sizeof(CFS_PROGRESS_CALLBACK)) {
            log.print(4, "Set CONST_FLASHTOOL_SETTING -- CFS_FWCALLBACK Invalid size\n");
            return CGSRET_INVALID;
        }
        if (set) {
            e.m_callback = reinterpret_cast<CFS_PROGRESS_CALLBACK>(data);
            log.print(2, "Set CONST_FLASHTOOL_SETTING -- CFS_FWCALLBACK.\n");
        } else {
            std::memcpy(data, &e.m_callback, sizeof e.m_callback);
            log.print(2, "Get CONST_FLASHTOOL_SETTING -- CFS_FWCALLBACK.\n");
        }
        return CGSRET_SUCCESS;
    }
    case CFS_VERSION: {
        if (set)
            return CGSRET_INVALID;
        const std::size_t bytes = (e.m_version.size() + 1) * sizeof(char16_t);
        if (size < bytes)
            return CGSRET_INVALID;
        std::memcpy(data, e.m_version.c_str(), bytes);
        log.print(2, "Set CONST_FLASHTOOL_SETTING -- CFS_VERSION: %s.\n", LogText(e.m_version).c_str());
        return CGSRET_SUCCESS;
    }
    case CFS_LOGGING: {
        if (!set || size != sizeof(log_settings)) {
            if (set)
                log.print(4, "Invalid size\n");
            return CGSRET_INVALID;
        }
        if (e.m_logConfigured)
            return CGSRET_INVALID;
        e.m_logConfigured = true;
        log_settings settings;
        std::memcpy(&settings, data, sizeof settings);
        e.m_logTarget = settings.target;
        if (settings.fileName)
            e.m_logFileName = std::u16string(settings.fileName);
        e.m_logLevel = settings.level;
        if (settings.level == 0)
            return CGSRET_SUCCESS;
        if (settings.level >= 1 && settings.level <= 3)
            log.setMask(e.m_levelMask[settings.level - 1]);
        if (settings.target == CFS_LOG_DEBUGGER) {
            log.openDebugger();
        } else if (settings.target == CFS_LOG_FILE) {
            std::string name;
            if (!e.m_logFileName || !FileNameText(*e.m_logFileName, &name) || !log.openFile(name))
                return CGSRET_INVALID;
        } else if (settings.target == CFS_LOG_CONSOLE) {
            log.openConsole();
        }
        log.print(2, "FlashDLL Vers: %s\n", LogText(e.m_version).c_str());
        log.print(2, "Log Flags: 0x%08x\n", log.mask());
        return CGSRET_SUCCESS;
    }
    case CFS_PORTFILENAME: {
        if (set) {
            // The size is in bytes: the name is read no further than that,
            // terminated or not.
            const char16_t* name = static_cast<const char16_t*>(data);
            e.m_portName.reset();
            try {
                e.m_portName.emplace(name, WideLength(name, size / sizeof(char16_t)));
            } catch (const std::bad_alloc&) {
                return CGSRET_FAILURE;  // the old name is gone, no new one
            }
        } else {
            if (!e.m_portName)
                return CGSRET_INVALID;
            const std::size_t bytes = (e.m_portName->size() + 1) * sizeof(char16_t);
            if (size < bytes)
                return CGSRET_INVALID;
            std::memcpy(data, e.m_portName->c_str(), bytes);
        }
        log.print(2, "Set CONST_FLASHTOOL_SETTING -- CFS_PORTFILENAME: %s.\n", LogText(*e.m_portName).c_str());
        return CGSRET_SUCCESS;
    }
    case CFS_FLASH_PROTOCOL_SETTINGS: {
        log.print(2, "Get CONST_FLASHTOOL_SETTING -- CFS_FLASH_PROTOCOL_SETTINGS.\n");
        const char16_t* path = static_cast<const char16_t*>(data);
        return static_cast<CONST_GETSET_RETURN>(LoadProtocolSettingsFile(this, &log, std::u16string(path)));
    }
    case CFS_FLASH_INITSTRING: {
        std::u16string& slot = e.m_IfaceType == CIF_RS232 ? e.m_rs232InitString : e.m_usbInitString;
        if (set) {
            log.print(2, "Set CONST_FLASHTOOL_SETTING -- CFS_FLASH_INITSTRING, size = %d.\n", static_cast<int>(size));
            if (size >= 301) {
                log.print(4, "Invalid size\n");
                return CGSRET_INVALID;
            }
            log.hexDump(static_cast<const std::uint8_t*>(data), size);
            const char16_t* text = static_cast<const char16_t*>(data);
            std::size_t at = 0;
            for (;;) {
                const std::size_t length = WideLength(text + at, size - at);
                if (at + length >= size)
                    return CGSRET_INVALID;  // a terminator outside the size
                at += length + 1;
                if (length == 0)
                    break;
            }
            try {
                slot.assign(text, at);
            } catch (const std::bad_alloc&) {
                // The old init string is gone; the slot holds the empty one
                // (two NULs fit without an allocation).
                slot.clear();
                slot.append(2, u'\0');
                return CGSRET_INVALID;
            }
            if (slot.size() < 2)
                slot.push_back(0);
            return CGSRET_SUCCESS;
        }
        const std::size_t bytes = multiStringLength(slot) * sizeof(char16_t);
        if (size < bytes)
            return CGSRET_INVALID;
        std::memcpy(data, slot.data(), bytes);
        log.print(2, "Get CONST_FLASHTOOL_SETTING -- CFS_FLASH_INITSTRING, size = %d.\n", static_cast<int>(size));
        log.hexDump(static_cast<const std::uint8_t*>(data), std::min<std::size_t>(size, 255));
        return CGSRET_SUCCESS;
    }
    case CFS_INTERFACE: {
        if (size != 4) {
            log.print(4, "Invalid size\n");
            log.print(2, "Set CONST_FLASHTOOL_SETTING -- CFS_INTERFACE: %d.\n", e.m_IfaceType);
            return CGSRET_INVALID;
        }
        if (set)
            std::memcpy(&e.m_IfaceType, data, 4);
        else
            std::memcpy(data, &e.m_IfaceType, 4);
        log.print(2, "Set CONST_FLASHTOOL_SETTING -- CFS_INTERFACE: %d.\n", e.m_IfaceType);
        return CGSRET_SUCCESS;
    }
    case CFS_WIN32_232_SETTINGS: {
        log.print(2, "Set CONST_FLASHTOOL_SETTING -- CFS_WIN32_232_SETTINGS:\n");
        const bool ok = size == sizeof(win_rs232_settings);
        if (!ok)
            log.print(4, "Invalid size\n");
        else if (set)
            std::memcpy(&e.m_rs232, data, sizeof e.m_rs232);
        else
            std::memcpy(data, &e.m_rs232, sizeof e.m_rs232);
        const win_rs232_settings& s = e.m_rs232;
        log.print(2, "win_rs232_settings Baudrate: %d, Parity: %c, ByteSize: %d, StopBits: %s.\n",
                  static_cast<int>(s.dcb.BaudRate), parityLetter(s.dcb.Parity), s.dcb.ByteSize,
                  stopBitsText(s.dcb.StopBits));
        log.print(2,
                  "win_rs232_settings comTimeout ReadIntervalTimeout: %d, ReadTotalTimeoutMultiplier: %d, "
                  "ReadTotalTimeoutConstant: %d, WriteTotalTimeoutMultiplier: %d, WriteTotalTimeoutConstant: %d.\n",
                  static_cast<int>(s.comTimeout.ReadIntervalTimeout),
                  static_cast<int>(s.comTimeout.ReadTotalTimeoutMultiplier),
                  static_cast<int>(s.comTimeout.ReadTotalTimeoutConstant),
                  static_cast<int>(s.comTimeout.WriteTotalTimeoutMultiplier),
                  static_cast<int>(s.comTimeout.WriteTotalTimeoutConstant));
        log.print(2, "win_rs232_settings dwInQueue: %d, dwOutQueue: %d.\n", static_cast<int>(s.dwInQueue),
                  static_cast<int>(s.dwOutQueue));
        return ok ? CGSRET_SUCCESS : CGSRET_INVALID;
    }
    default:
        return CGSRET_INVALID;
    }
}

CONST_UPGRADERETURN CFlashTool::FlashScanner(void* caller, const char16_t* path)
{
    const CONST_UPGRADERETURN result = guarded(CUR_FAILURE, [&] { return flashScanner(caller, path); });
    if (result == CUR_FAILURE) {
        // An update cut short by an exception leaves no port open for the
        // next one.
        m_pParams->m_serial.Close();
        m_pParams->m_usb.Close();
    }
    return result;
}

CONST_UPGRADERETURN CFlashTool::flashScanner(void* caller, const char16_t* path)
{
    MyPrivateParams& e = *m_pParams;
    Log& log = *e.m_log;
    e.m_caller = caller;
    log.print(2, "FlashScanner: interface type: %d\n", e.m_IfaceType);
    if (!e.m_portName) {
        log.print(4, "No portname specified\n");
        return CUR_FAILURE;
    }
    const std::u16string file = path ? std::u16string(path) : std::u16string();
    if (e.m_IfaceType == CIF_RS232 || e.m_IfaceType == CIF_USBCDC) {
        log.print(2, "CFlashTool -- FlashScanner: Win Rs232 Setttings inputted:\n");
        if (e.m_rs232.dcb.BaudRate == 0) {
            log.print(4, "ZERO is an invalid baudrate\n");
            return CUR_FAILURE;
        }
        log.print(2, "Baudrate: %d, Parity: %d, ByteSize: %d, StopBits: %d.\n", static_cast<int>(e.m_rs232.dcb.BaudRate),
                  e.m_rs232.dcb.Parity, e.m_rs232.dcb.ByteSize, e.m_rs232.dcb.StopBits);
        log.print(2, "dwInQueue: %d, dwOutQueue: %d.\n", static_cast<int>(e.m_rs232.dwInQueue),
                  static_cast<int>(e.m_rs232.dwOutQueue));
        return e.FlashScanner(file);
    }
    if (e.m_IfaceType == CIF_USBHID_BARCODE_SCANNER) {
        log.print(2, "HID Device: %s\n", LogText(*e.m_portName).c_str());
        return e.FlashScanner(file);
    }
    log.print(4, "Invalid interface type\n");
    return CUR_FAILURE;
}

CONST_GETSET_RETURN CFlashTool::GetFileVersion(const char16_t* path, fileversion_type* version)
{
    return guarded(CGSRET_FAILURE, [&] { return fileVersion(path, version); });
}

CONST_GETSET_RETURN CFlashTool::fileVersion(const char16_t* path, fileversion_type* version)
{
    if (m_pParams == nullptr)
        return CGSRET_INVALID;
    if (path == nullptr || version == nullptr) {
        m_pParams->m_log->print(4, "GetFileVersion: a parameter is null\n");
        return CGSRET_INVALID;
    }
    std::memset(version, 0, sizeof *version);
    return m_pParams->GetFileVersion(std::u16string(path), version);
}

extern "C" {

VXFLASH_API CFlashTool* CreateFlashTool()
{
    return guarded(static_cast<CFlashTool*>(nullptr), [] { return new CFlashTool(); });
}

VXFLASH_API void DestroyFlashTool(CFlashTool* tool)
{
    delete tool;
}
}
