// The engine behind a CFlashTool: the tool's settings, the protocol timings,
// the ports, what the scanner said about itself, the progress counters, and
// the update flow from FlashScanner down to the image writers.
//
// Threads: FlashScanner runs on the caller's thread. Only the cancel flag
// may be written from another thread meanwhile (atomic); the logger
// serialises its own writes.
#pragma once

#include "FirmwareImage.h"
#include "Log.h"
#include "PinfoParser.h"
#include "SerialPort.h"
#include "UsbPort.h"
#include "include/VXFLASH02.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

// The library's version text.
extern const char* const kFlashVersionText;

class MyPrivateParams {
public:
    explicit MyPrivateParams(CFlashTool* owner);
    ~MyPrivateParams();
    MyPrivateParams(const MyPrivateParams&) = delete;
    MyPrivateParams& operator=(const MyPrivateParams&) = delete;

    // Typed settings (ids from 0x10000).
    CONST_GETSET_RETURN TypedSetting(void* data, bool set, std::uint32_t size, std::int32_t id);

    CONST_UPGRADERETURN FlashScanner(const std::u16string& path);
    CONST_GETSET_RETURN GetFileVersion(const std::u16string& path, fileversion_type* version);

    // Device information and flash-mode control.
    bool Scanner_GetPinfo();
    bool CheckInputParameters();
    bool CheckCompatibleData();
    bool EnterBootMode();
    bool ExitFlashMode(std::uint32_t kind, bool check);
    bool CheckDeviceStatus();

    // Image writers: the result goes to `result`; the return is success.
    bool FlashScanner_App_RS232(int* result);
    bool FlashScanner_RS232_Boot(int* result);
    bool FlashScanner_App_USB(int* result);
    bool FlashScanner_Boot_USB(int* result);
    bool FlashScanner_Raw(std::uint32_t kind, int* result);
    bool FlashScanner_Package(int* result);

    void progress();
    bool cancelled() const { return m_cancel.load() != 0; }

    // Host settings.
    CFlashTool* m_owner;
    void* m_caller = nullptr;
    CFS_PROGRESS_CALLBACK m_callback = nullptr;
    std::atomic<std::int32_t> m_cancel{0};
    std::u16string m_version;
    std::optional<std::u16string> m_portName;
    std::u16string m_usbInitString;    // every string with its NUL, then the final NUL
    std::u16string m_rs232InitString;
    win_rs232_settings m_rs232{};
    std::int32_t m_IfaceType = CIF_USBHID_BARCODE_SCANNER;
    std::int32_t m_logTarget = 0;
    std::optional<std::u16string> m_logFileName;
    std::int32_t m_logLevel = 0;
    bool m_logConfigured = false;
    std::uint32_t m_levelMask[3] = {0x54, 0xD6, 0xFFFFFFFFu};

    // Protocol timings (ms) and retries.
    std::int32_t m_MenuCmd_Timeout_mSecs = 2000;
    std::int32_t m_MenuCmd_TimeDelay_mSecs = 500;
    std::uint32_t m_RetryMax = 5;
    std::int32_t m_TRGMOD_TimeDelay_mSecs = 2000;
    std::int32_t m_EnumDevice_TimeDelay_mSecs = 6000;
    std::int32_t m_USB_NEWAP2_TimeDelay_mSecs = 5000;
    std::int32_t m_RS232_NEWAP2_TimeDelay_mSecs = 3000;
    std::int32_t m_RS232_RESET_TimeDelay_mSecs = 10000;
    std::int32_t m_USB_RESET_TimeDelay_mSecs = 12000;
    std::int32_t m_USB_DETECT_TimeDelay_mSecs = 2000;

    Log* m_log;
    Serial m_serial;
    Usb m_usb;
    win_rs232_settings m_working{};
    PinfoRecord pinfo{};
    std::uint32_t m_bytesDone = 0;
    std::uint32_t m_bytesTotal = 0;
    bool m_deviceSearch = false;
    bool m_startedInBoot = false;

    // The images of the running update, read before the scanner is asked.
    FirmwareImage m_bootImage;
    FirmwareImage m_appImage;

private:
    bool usbReadPinfo(std::string* text, const char* prefix, const char* invalid, const char* valid);
    // Purges, sends P_INFO and reads the reply, after the 200 ms settle
    // pause when `settle`.
    bool serialPinfoQuery(std::string* reply, bool settle);
    // The running application's HID device, by the ids the scanner gave.
    bool findApplicationDevice(const char* prefix);
    // Logs `format` with the prefix and line settings (the working ones
    // unless given).
    void logWithLine(std::uint32_t messageClass, const char* format, const char* prefix);
    void logWithLine(std::uint32_t messageClass, const char* format, const char* prefix, const DCB& dcb);
    // Logs `title` and the reply's first six bytes.
    void logHeaderBytes(const char* prefix, const char* title, std::string reply);
    // Relays `n` bootloader bytes and reads the reply into `reply` (64
    // bytes); logs the reply under `label`. True when it acknowledges.
    bool sendRelay(const char* prefix, const std::uint8_t* bytes, std::size_t n, bool usb, std::uint8_t* reply,
                   const char* label = "response");
    // The boot image through the running application's relay, from NEWBLS,
    // which opens it, to leaving flash mode; `P` heads the
    // log's progress lines, `E` its error lines and the last line.
    bool writeBootThroughRelay(const char* P, const char* E, bool usb, int* result);
    bool usbCommand(std::uint32_t id, std::uint8_t* reply, bool read);
};

// Sleeps for a signed millisecond setting (negative counts as 0).
void SleepMs(std::int32_t ms);

// The protocol's fixed pauses (those no setting changes: the settle pauses
// after opening a port, the 10 ms before erase and program, the 500 ms before
// leaving flash mode, the retry pauses of the status check...) all go
// through FixedPause. Test programs that run many updates against simulated
// scanners shorten them with SetFixedPausePercent; the default is 100, and
// nothing outside the tests changes it (the function is not exported from
// the shared library, and no setting reaches it).
void FixedPause(DWORD ms);
void SetFixedPausePercent(unsigned percent);
// Milliseconds of fixed pause asked for so far in this process, before the
// percentage applies (the benchmark lists them beside the transfer time).
std::uint64_t FixedPauseAskedMs();
