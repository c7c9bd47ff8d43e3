// Device and device-interface enumeration (the SetupAPI stand-in).
//
// A device information set is a snapshot: SetupDiGetClassDevs lists the
// devices of a class that are present at that moment, and the set does not
// change afterwards (a device unplugged later still appears in it; opening its
// path then fails). Devices are listed in a stable order, so index N names
// the same device as long as the devices present do not change. Every device
// has exactly one interface, at the device's own index.
//
// Interface classes offered: the HID class (HidD_GetHidGuid, platform/hid.h)
// and the COM-port class GUID_DEVINTERFACE_COMPORT (every serial port, by COM
// number). Other classes give an empty set.
//
// Each device has an instance id, a device key (SetupDiOpenDevRegKey) and a
// description (SPDRP_DEVICEDESC). A COM port's key holds "PortName" ("COM3").
// A device that the remote-management filter driver presents is the
// driver's child: its instance id begins with the driver's bus
// "{91e7af5c-8de2-4342-806a-c87cd5541e9d}\{2b78b334-a58f-4e88-8926-74aecf3219e8}\"
// and its key holds "Uniquifier" as well; its management path
// "\\.\{2ce3d77e-89ef-4ea6-9730-6fdf2a69508c}:" + (id less the bus) +
// uniquifier opens, with CreateFile in any letter case, the port or HID
// interface it belongs to. A filter-driver HID interface's path carries the
// bus before its "vid_" part.
//
// A set is a handle of the layer: SetupDiDestroyDeviceInfoList (or
// CloseHandle) frees it; a destroyed or made-up set fails with
// ERROR_INVALID_HANDLE (6).
//
// Thread safety: every call may run on any thread; one set may be read by
// several threads at once.
#pragma once

#include "platform/guid.h"
#include "platform/registry.h"
#include "platform/types.h"

#include <cstdint>

using WCHAR = wchar_t;
using HDEVINFO = HANDLE;

// SetupDiGetClassDevs flags.
constexpr DWORD DIGCF_DEFAULT = 0x00000001u;
constexpr DWORD DIGCF_PRESENT = 0x00000002u;
constexpr DWORD DIGCF_ALLCLASSES = 0x00000004u;
constexpr DWORD DIGCF_PROFILE = 0x00000008u;
constexpr DWORD DIGCF_DEVICEINTERFACE = 0x00000010u;

// The COM-port device-interface class {86E0D1E0-8089-11D0-9CE4-08003E301F73}.
inline constexpr GUID GUID_DEVINTERFACE_COMPORT = {0x86E0D1E0, 0x8089, 0x11D0,
                                                   {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

// SetupDiOpenDevRegKey.
constexpr DWORD DICS_FLAG_GLOBAL = 0x00000001u;
constexpr DWORD DICS_FLAG_CONFIGSPECIFIC = 0x00000002u;
constexpr DWORD DIREG_DEV = 0x00000001u;
constexpr DWORD DIREG_DRV = 0x00000002u;

// A device that has no such property.
constexpr DWORD ERROR_INVALID_DATA = 13;

// SetupDiGetDeviceRegistryProperty.
constexpr DWORD SPDRP_DEVICEDESC = 0x00000000u;
constexpr DWORD SPDRP_FRIENDLYNAME = 0x0000000Cu;

// Interface flags.
constexpr DWORD SPINT_ACTIVE = 0x00000001u;

struct SP_DEVINFO_DATA {
    DWORD cbSize;
    GUID ClassGuid;
    DWORD DevInst;
    ULONG_PTR Reserved;
};
using PSP_DEVINFO_DATA = SP_DEVINFO_DATA*;

struct SP_DEVICE_INTERFACE_DATA {
    DWORD cbSize;
    GUID InterfaceClassGuid;
    DWORD Flags;
    ULONG_PTR Reserved;  // the interface's index in its set
};
using PSP_DEVICE_INTERFACE_DATA = SP_DEVICE_INTERFACE_DATA*;

// Variable-length records: the caller allocates the size that the first
// call reports and sets cbSize to the size of the fixed part. Accepted
// cbSize values: sizeof the record, or the packed sizes 6 (wide) and 5
// (narrow) that code written for the 32-bit desktop platform passes.
struct SP_DEVICE_INTERFACE_DETAIL_DATA_W {
    DWORD cbSize;
    WCHAR DevicePath[1];
};
using PSP_DEVICE_INTERFACE_DETAIL_DATA_W = SP_DEVICE_INTERFACE_DETAIL_DATA_W*;

struct SP_DEVICE_INTERFACE_DETAIL_DATA_A {
    DWORD cbSize;
    CHAR DevicePath[1];
};
using PSP_DEVICE_INTERFACE_DETAIL_DATA_A = SP_DEVICE_INTERFACE_DETAIL_DATA_A*;

// Lists the interfaces of `classGuid` (DIGCF_DEVICEINTERFACE; every class
// with DIGCF_ALLCLASSES). Only present devices exist here, so DIGCF_PRESENT
// changes nothing. A set made without DIGCF_DEVICEINTERFACE holds no
// interfaces. Failure: INVALID_HANDLE_VALUE with the last error set
// (87 for a null class without DIGCF_ALLCLASSES). The enumerator and window
// arguments are accepted and ignored.
HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, LPCWSTR enumerator, void* hwndParent, DWORD flags);
HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, LPCSTR enumerator, void* hwndParent, DWORD flags);

// The interface at `memberIndex` among those of `interfaceClassGuid` in the
// set. Past the last one: FALSE with ERROR_NO_MORE_ITEMS (259). `data`'s
// cbSize must be sizeof(SP_DEVICE_INTERFACE_DATA) (else 87). The device
// information argument is accepted and ignored.
BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo, const GUID* interfaceClassGuid,
                                 DWORD memberIndex, PSP_DEVICE_INTERFACE_DATA data);

// The interface's device path. `requiredSize` (may be null) receives the
// bytes the whole record needs. A null detail with size 0, or a size below
// the need: FALSE with ERROR_INSUFFICIENT_BUFFER (122). A detail whose
// cbSize is not accepted: FALSE with 87. `deviceInfo`, when given, receives
// the interface's class.
BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD detailSize,
                                      LPDWORD requiredSize, PSP_DEVINFO_DATA deviceInfo);
BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD detailSize,
                                      LPDWORD requiredSize, PSP_DEVINFO_DATA deviceInfo);

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set);

// The device at `memberIndex`. Past the last one: FALSE with
// ERROR_NO_MORE_ITEMS (259). `data`'s cbSize must be sizeof(SP_DEVINFO_DATA)
// (else 87); DevInst receives the device's index in the set.
BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD memberIndex, PSP_DEVINFO_DATA data);

// The device's instance id with its NUL; `size` in characters. Too small:
// FALSE with 122 and `requiredSize` (may be null) set. A device record that
// does not name a device of the set: FALSE with 87.
BOOL SetupDiGetDeviceInstanceIdW(HDEVINFO set, PSP_DEVINFO_DATA device, LPWSTR id, DWORD size, LPDWORD requiredSize);
BOOL SetupDiGetDeviceInstanceIdA(HDEVINFO set, PSP_DEVINFO_DATA device, LPSTR id, DWORD size, LPDWORD requiredSize);

// Opens the device's hardware key (DIREG_DEV; scope and profile are
// accepted and ignored) as a registry handle that RegCloseKey closes. Its
// values are those the device has now. Failure (DIREG_DRV, a record not of
// the set): INVALID_HANDLE_VALUE as an HKEY, last error set.
HKEY SetupDiOpenDevRegKey(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD scope, DWORD hwProfile, DWORD keyType,
                          REGSAM access);

// SPDRP_DEVICEDESC and SPDRP_FRIENDLYNAME (the same text) as REG_SZ; `size`
// in bytes. Too small: FALSE with 122 and the size needed. Another property:
// FALSE with ERROR_INVALID_DATA (13).
BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property, LPDWORD type,
                                       LPBYTE buffer, DWORD size, LPDWORD requiredSize);
BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property, LPDWORD type,
                                       LPBYTE buffer, DWORD size, LPDWORD requiredSize);

// Wide reading of a registry value, as device keys are read: a REG_SZ (or
// REG_EXPAND_SZ) value comes back as wchar_t text with its NUL, `size` in
// bytes; other types come back as stored. Results as RegQueryValueExA.
LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size);
