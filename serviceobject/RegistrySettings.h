// The registry readers of the service object: device values under
// "SOFTWARE\OLEforRetail\ServiceOPOS\<category>\<device>", suite values
// under "SOFTWARE\OLEforRetail\ServiceInfo\Varnex", both below
// HKEY_LOCAL_MACHINE, and the DWORD reader and counter writer of a device
// key. Every reader answers false when the key or the value cannot be read;
// the caller then keeps its default. A value that should be a DWORD but is
// of another type counts as missing; `debug` (when given) is told so once.
#pragma once

#include "platform/registry.h"
#include "platform/types.h"

#include <string>

class ZRIDbgBase;

extern const char* const kServiceOposKey;    // "SOFTWARE\OLEforRetail\ServiceOPOS"
extern const char* const kSuiteKey;          // "SOFTWARE\OLEforRetail\ServiceInfo\Varnex"
extern const char* const kDebuggerKey;       // the suite key's "Debugger" sub-key

// The path of a device's key below HKEY_LOCAL_MACHINE.
std::string DeviceKeyPath(const std::string& category, const std::string& device);

// "SCANDATAOPTION_01", "GOODSCANCOUNT", "NOREADCOUNT" and "DECODE_GS1_LTD"
// (any case) are DWORDs, returned in decimal; every other value is a
// string of up to 256 bytes.
bool ReadDeviceValue(const std::string& category, const std::string& device, const std::string& valueName,
                     std::string& text, ZRIDbgBase* debug = nullptr);
// "DEVICE_POLL_FREQUENCY" is a DWORD, returned in decimal; others strings
// of up to 256 bytes.
bool ReadSuiteValue(const std::string& valueName, std::string& text, ZRIDbgBase* debug = nullptr);

// A REG_DWORD value of the key `keyPath` (below HKEY_LOCAL_MACHINE).
bool ReadDeviceDword(const std::string& keyPath, const std::string& valueName, DWORD& value,
                     ZRIDbgBase* debug = nullptr);
// Writes a REG_DWORD, only for the counters "GOODSCANCOUNT",
// "COMMERRORCOUNT" and "NOREADCOUNT" (any case); false for other names.
bool WriteDeviceCounter(const std::string& keyPath, const std::string& valueName, DWORD value);

// A string value of an open key, of up to `limit` bytes with its NUL.
bool ReadStringValue(HKEY key, const char* valueName, std::size_t limit, std::string& text);
