// Serial ports: the communications calls on a handle that CreateFile opened
// on "\\.\COMn", their records and constants, and the COM table.
//
// Records that cross into other libraries (the flash library copies DCB and
// COMMTIMEOUTS byte for byte) keep the platform's layout; static_asserts fix
// it.
//
// Semantics callers rely on:
// - Every call answers TRUE/FALSE (or a count) with the last error set, in
//   the platform's codes: 6 for a handle that is not a serial port, 87 for a
//   setting the line cannot take (nothing is changed then), 1167 once the
//   device is gone (unplugged, hung up), 995 for a wait that CancelIo or a
//   purge with an abort flag ended.
// - Read time-outs follow COMMTIMEOUTS: interval MAXDWORD with both totals 0
//   returns at once with what has arrived (possibly nothing); interval
//   MAXDWORD with multiplier MAXDWORD and a constant waits up to the constant
//   for the first byte and returns with what is there; otherwise a non-zero
//   multiplier or constant bounds the whole read (multiplier x size +
//   constant), a non-zero interval bounds the gap between two bytes once one
//   has arrived, and all zero waits until the full count has arrived. A read
//   that times out succeeds with the bytes that arrived. A write bounded by
//   its totals that times out also succeeds, with the bytes taken so far.
// - SetCommState takes any rate the line accepts, standard or not, and all
//   five parities. On a virtual port (a pseudo-terminal served by the
//   simulated scanner) the same settings succeed and read back as set; the
//   device receives them whole.
// - Transfers run synchronously: on a handle opened with
//   FILE_FLAG_OVERLAPPED, ReadFile and WriteFile complete the OVERLAPPED
//   record before they return (TRUE), following the same time-outs.
// - Thread safety: the calls may run on several threads on one handle (a
//   reader, a writer, a thread polling the modem lines); a read and a write
//   never block each other. Settings are changed by one thread at a time.
#pragma once

#include "platform/file.h"
#include "platform/types.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// Parity.
constexpr BYTE NOPARITY = 0;
constexpr BYTE ODDPARITY = 1;
constexpr BYTE EVENPARITY = 2;
constexpr BYTE MARKPARITY = 3;
constexpr BYTE SPACEPARITY = 4;

// Stop bits.
constexpr BYTE ONESTOPBIT = 0;
constexpr BYTE ONE5STOPBITS = 1;
constexpr BYTE TWOSTOPBITS = 2;

// DCB::fDtrControl.
constexpr DWORD DTR_CONTROL_DISABLE = 0;
constexpr DWORD DTR_CONTROL_ENABLE = 1;
constexpr DWORD DTR_CONTROL_HANDSHAKE = 2;

// DCB::fRtsControl.
constexpr DWORD RTS_CONTROL_DISABLE = 0;
constexpr DWORD RTS_CONTROL_ENABLE = 1;
constexpr DWORD RTS_CONTROL_HANDSHAKE = 2;
constexpr DWORD RTS_CONTROL_TOGGLE = 3;

// Standard rates (any other positive rate is accepted as well).
constexpr DWORD CBR_110 = 110;
constexpr DWORD CBR_300 = 300;
constexpr DWORD CBR_600 = 600;
constexpr DWORD CBR_1200 = 1200;
constexpr DWORD CBR_2400 = 2400;
constexpr DWORD CBR_4800 = 4800;
constexpr DWORD CBR_9600 = 9600;
constexpr DWORD CBR_14400 = 14400;
constexpr DWORD CBR_19200 = 19200;
constexpr DWORD CBR_38400 = 38400;
constexpr DWORD CBR_57600 = 57600;
constexpr DWORD CBR_115200 = 115200;

// PurgeComm flags.
constexpr DWORD PURGE_TXABORT = 0x0001;
constexpr DWORD PURGE_RXABORT = 0x0002;
constexpr DWORD PURGE_TXCLEAR = 0x0004;
constexpr DWORD PURGE_RXCLEAR = 0x0008;

// Communication events (SetCommMask, WaitCommEvent).
constexpr DWORD EV_RXCHAR = 0x0001;
constexpr DWORD EV_RXFLAG = 0x0002;
constexpr DWORD EV_TXEMPTY = 0x0004;
constexpr DWORD EV_CTS = 0x0008;
constexpr DWORD EV_DSR = 0x0010;
constexpr DWORD EV_RLSD = 0x0020;
constexpr DWORD EV_BREAK = 0x0040;
constexpr DWORD EV_ERR = 0x0080;
constexpr DWORD EV_RING = 0x0100;

// Modem status (GetCommModemStatus).
constexpr DWORD MS_CTS_ON = 0x0010;
constexpr DWORD MS_DSR_ON = 0x0020;
constexpr DWORD MS_RING_ON = 0x0040;
constexpr DWORD MS_RLSD_ON = 0x0080;

// Line errors (ClearCommError).
constexpr DWORD CE_RXOVER = 0x0001;
constexpr DWORD CE_OVERRUN = 0x0002;
constexpr DWORD CE_RXPARITY = 0x0004;
constexpr DWORD CE_FRAME = 0x0008;
constexpr DWORD CE_BREAK = 0x0010;

// EscapeCommFunction.
constexpr DWORD SETXOFF = 1;
constexpr DWORD SETXON = 2;
constexpr DWORD SETRTS = 3;
constexpr DWORD CLRRTS = 4;
constexpr DWORD SETDTR = 5;
constexpr DWORD CLRDTR = 6;
constexpr DWORD SETBREAK = 8;
constexpr DWORD CLRBREAK = 9;

// The device-control block: the line settings of a port.
struct DCB {
    DWORD DCBlength;
    DWORD BaudRate;
    DWORD fBinary : 1;
    DWORD fParity : 1;
    DWORD fOutxCtsFlow : 1;
    DWORD fOutxDsrFlow : 1;
    DWORD fDtrControl : 2;
    DWORD fDsrSensitivity : 1;
    DWORD fTXContinueOnXoff : 1;
    DWORD fOutX : 1;
    DWORD fInX : 1;
    DWORD fErrorChar : 1;
    DWORD fNull : 1;
    DWORD fRtsControl : 2;
    DWORD fAbortOnError : 1;
    DWORD fDummy2 : 17;
    WORD wReserved;
    WORD XonLim;
    WORD XoffLim;
    BYTE ByteSize;
    BYTE Parity;
    BYTE StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    WORD wReserved1;
};
using LPDCB = DCB*;
static_assert(sizeof(DCB) == 28, "DCB is copied byte for byte across libraries");
static_assert(offsetof(DCB, BaudRate) == 4);
static_assert(offsetof(DCB, wReserved) == 12);
static_assert(offsetof(DCB, XonLim) == 14);
static_assert(offsetof(DCB, ByteSize) == 18);
static_assert(offsetof(DCB, Parity) == 19);
static_assert(offsetof(DCB, StopBits) == 20);
static_assert(offsetof(DCB, EvtChar) == 25);

struct COMMTIMEOUTS {
    DWORD ReadIntervalTimeout;
    DWORD ReadTotalTimeoutMultiplier;
    DWORD ReadTotalTimeoutConstant;
    DWORD WriteTotalTimeoutMultiplier;
    DWORD WriteTotalTimeoutConstant;
};
using LPCOMMTIMEOUTS = COMMTIMEOUTS*;
static_assert(sizeof(COMMTIMEOUTS) == 20, "COMMTIMEOUTS is copied byte for byte across libraries");
static_assert(offsetof(COMMTIMEOUTS, ReadTotalTimeoutConstant) == 8);

// A port's default configuration. The provider data is UTF-16 (never
// wchar_t, which is 4 bytes here).
struct COMMCONFIG {
    DWORD dwSize;
    WORD wVersion;
    WORD wReserved;
    DCB dcb;
    DWORD dwProviderSubType;
    DWORD dwProviderOffset;
    DWORD dwProviderSize;
    char16_t wcProviderData[1];
};
using LPCOMMCONFIG = COMMCONFIG*;
static_assert(sizeof(COMMCONFIG) == 52, "COMMCONFIG has the platform's size");
static_assert(offsetof(COMMCONFIG, dcb) == 8);

constexpr DWORD PST_RS232 = 0x00000001;

struct COMSTAT {
    DWORD fCtsHold : 1;
    DWORD fDsrHold : 1;
    DWORD fRlsdHold : 1;
    DWORD fXoffHold : 1;
    DWORD fXoffSent : 1;
    DWORD fEof : 1;
    DWORD fTxim : 1;
    DWORD fReserved : 25;
    DWORD cbInQue;
    DWORD cbOutQue;
};
using LPCOMSTAT = COMSTAT*;
static_assert(sizeof(COMSTAT) == 12);

BOOL GetCommState(HANDLE file, LPDCB dcb);
// Validates the whole record first: a rate of 0 or above 4,000,000, a byte
// size outside 5-8, a parity above 4, a stop-bit code above 2 (or 1.5 stop
// bits with more than 5 data bits, 2 with 5), a DTR control of 3, or equal
// XON and XOFF characters with software flow control on fail with 87 and
// change nothing.
BOOL SetCommState(HANDLE file, LPDCB dcb);
BOOL GetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts);
BOOL SetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts);
// The driver's queue sizes. Accepted and remembered (the kernel sizes its
// own queues); a size above 0x7FFFFFFF fails with 87.
BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue);
// Clears the input and/or output queue; the abort flags end reads, writes
// and event waits running on the handle at the time (995).
BOOL PurgeComm(HANDLE file, DWORD flags);
BOOL EscapeCommFunction(HANDLE file, DWORD function);
BOOL SetCommBreak(HANDLE file);
BOOL ClearCommBreak(HANDLE file);
BOOL TransmitCommChar(HANDLE file, char character);
// The device's CTS, DSR, ring and carrier lines as MS_*_ON bits.
BOOL GetCommModemStatus(HANDLE file, LPDWORD status);
// Sets the event mask; a WaitCommEvent running on the handle returns TRUE
// with an event mask of 0.
BOOL SetCommMask(HANDLE file, DWORD mask);
BOOL GetCommMask(HANDLE file, LPDWORD mask);
// Blocks until an event of the mask occurs; a mask of 0 fails with 87. With
// an OVERLAPPED record the wait runs at once and completes it before
// returning. EV_RXCHAR stands while input waits to be read; on a virtual
// port the modem-line events fire on a change of the device's lines. A real
// port reports EV_RXCHAR and EV_TXEMPTY only.
BOOL WaitCommEvent(HANDLE file, LPDWORD eventMask, LPOVERLAPPED overlapped);
// Returns and clears the line errors; `status` (may be null) gets the queue
// counts.
BOOL ClearCommError(HANDLE file, LPDWORD errors, LPCOMSTAT status);
// The default configuration of a port named "COMn" (any letter case):
// 9600 baud, 8 data bits, no parity, one stop bit, DTR and RTS enabled, no
// flow control. A size below sizeof(COMMCONFIG) fails with 122 and stores
// the size needed; an unknown name, or a virtual port published without a
// default configuration, fails with 2.
BOOL GetDefaultCommConfigA(LPCSTR name, LPCOMMCONFIG config, LPDWORD size);
BOOL GetDefaultCommConfigW(LPCWSTR name, LPCOMMCONFIG config, LPDWORD size);
// Applies the configuration's DCB (as SetCommState).
BOOL SetCommConfig(HANDLE file, LPCOMMCONFIG config, DWORD size);

namespace platform {

// One serial port that exists now.
struct SerialPortInfo {
    int comNumber = 0;          // n of "COMn"
    std::string comName;        // "COM3"
    std::string kernelName;     // "\Device\Serial0", "\Device\Serial_ptvd3" ...
    std::string devicePath;     // the tty the port opens: "/dev/ttyS0", "/dev/pts/4"
    bool isVirtual = false;     // served by the simulated scanner
};

// The serial ports present now, by COM number. Real ports come from
// $VX_SYSFS_ROOT/class/tty (default /sys), virtual ones from the runtime
// directory. COM numbers are kept in a table next to the registry database,
// so a port keeps its number across runs and re-plugs.
std::vector<SerialPortInfo> listSerialPorts();

// The values of the live HKLM\HARDWARE\DEVICEMAP\SERIALCOMM key: the
// kernel-device name of each port with its "COMn" (REG_SZ data), in COM
// order.
std::vector<std::pair<std::string, std::string>> serialCommValues();

}  // namespace platform
