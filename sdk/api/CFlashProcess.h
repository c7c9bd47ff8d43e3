// The SDK's side of one flash library: keeps the values the update worker
// gives it, pushes them into the library's tool as settings in a fixed
// order, sends the library's init string to the device through the SDK's
// own ports, runs the flash and turns every library result into an error
// text ("API <operation>: Input[<input>] Return [<result name>]").
//
// Texts cross to the library as UTF-16, converted one unit at a time from
// the SDK's wide strings (whose units are bytes); no wchar_t buffer ever
// reaches it. The wide names the setters take belong to the caller, who
// keeps them alive while this object may push them.
//
// Threads: the update runs on one thread (the facade serialises it).
// setCancelIO may come from any thread meanwhile: it shares a small binding
// lock with loading and release, which FlashScanner never holds. Every
// FlashScanner and GetFileVersion call of the process runs under one
// process-wide lock, because a library keeps one compatibility table for all
// its tools: a second update in the process waits for the first. The
// last-error text has a lock of its own.
#pragma once

#include "api/CDllWrapper.h"

#include "ports/InterfacePort.h"

#include "VXFLASH02.h"

#include <atomic>
#include <mutex>
#include <string>

// Last step codes (getLastError's result).
constexpr int FLASH_STEP_NONE = -1;
constexpr int FLASH_STEP_DONE = 0;
constexpr int FLASH_STEP_LOGGING = 1;
constexpr int FLASH_STEP_INTERFACE = 2;
constexpr int FLASH_STEP_PORT_OR_PROTOCOL = 3;
constexpr int FLASH_STEP_CALLBACK = 4;
constexpr int FLASH_STEP_INIT_STRING_GET = 6;
constexpr int FLASH_STEP_RS232_SETTINGS = 7;
constexpr int FLASH_STEP_INIT_STRING_SEND = 8;
constexpr int FLASH_STEP_FLASH = 9;

class CFlashProcess {
public:
    CFlashProcess();
    virtual ~CFlashProcess();
    CFlashProcess(const CFlashProcess&) = delete;
    CFlashProcess& operator=(const CFlashProcess&) = delete;

    // Every value back to its start (the interface and the RS-232 block
    // stay as they are).
    void initialize();
    // Releases the library, then initialize; true.
    bool cleanUp();
    bool setVXFlashDllFile(const std::wstring& path);

    // Setters: they only store.
    void setLoggingValue(int target, const wchar_t* logFile, int level);
    void setInterfaceValue(int value);
    void setPortFileNameValue(const wchar_t* name);
    void setCallbackValue(CFS_PROGRESS_CALLBACK callback);
    void setFlashProtocolSettingsValue(const wchar_t* name);
    void setWin32Rs232SettingsValue(win_rs232_settings settings);
    void setFlashScannerValue(void* user, const wchar_t* firmwareFile);

    // Library calls: false with the last error set when the library refused.
    bool setLogging();
    bool setInterface();
    bool setPortFileName();
    bool setCallback();
    bool setCancelIO(int value);
    bool getVersion(std::wstring& version);
    bool setFlashProtocolSettings();
    bool getFlashInitstring();
    bool setWin32Rs232Settings();
    // `result` gets the library's answer; true for CUR_SUCCESS and
    // CUR_SUCCESS_RECOVERY.
    bool flashScanner(int* result);
    bool GetFileVersion(const std::wstring& file, fileversion_type* version);

    // The pushes an update needs before it runs (the RS-232 block only for
    // a serial port); the step code tells which failed.
    bool preInit(bool rs232);
    // Writes the library's init string to the device and collects its
    // reply (at most 100 reads); a port that cannot be made or opened fails.
    bool sendInitString();
    // The whole sequence on the stored values, the flash included.
    bool flash();

    // Copies the last error; answers the last step code.
    int getLastError(std::string& text);
    // The init string the library gave (narrowed).
    std::string initString() const { return m_initString; }

    // Result names ("" outside the tables) and error texts.
    static std::string getGetSetReturnString(int code);
    static std::string getUpgradeReturnString(int code);
    static std::string getApiGetSetErrMsgString(const std::string& operation, const std::string& input, int code);
    static std::string getApiUpgradeErrMsgString(const std::string& operation, const std::string& input, int code);
    // Baud rate, byte size, parity letter and stop bits ("96008N1").
    static std::string getWin32Rs232SettingString(const win_rs232_settings& settings);

protected:
    // The port the init string goes out on: a serial port for interfaces 0
    // and 2, a HID scanner port for 1; null for any other.
    virtual InterfacePort* createInitStringPort(int interfaceValue);
    // The pause between two reads of the init string's reply.
    virtual void waitBeforeNextRead(DWORD milliseconds);

private:
    void setLastError(const std::string& text);
    // The wrapper's text becomes the last error when nothing is loaded.
    bool loaded();
    // Stores the refusal's text and logs it under "CFlashProcess::<push>".
    bool refused(const char* push, const std::string& input, int code);
    bool setSetting(const char* push, CONST_FLASHTOOL_SETTING id, void* data, std::uint32_t size,
                    const std::string& input);
    bool step(bool ok, int code);

    CDllWrapper m_library;
    std::atomic<int> m_step{FLASH_STEP_NONE};
    std::string m_lastError;
    mutable std::mutex m_lastErrorLock;
    bool m_loggingSet = false;
    int m_logTarget = 1;
    const wchar_t* m_logFile = nullptr;
    int m_logLevel = 0;
    int m_interface = CIF_USBHID_BARCODE_SCANNER;
    const wchar_t* m_portFileName = nullptr;
    bool m_callbackSet = false;
    CFS_PROGRESS_CALLBACK m_callback = nullptr;
    bool m_protocolSet = false;
    const wchar_t* m_protocolFile = nullptr;
    std::string m_initString;
    win_rs232_settings m_rs232{};
    void* m_user = nullptr;
    const wchar_t* m_firmwareFile = nullptr;
    // Loading, release and setCancelIO.
    std::mutex m_bindingLock;
};
