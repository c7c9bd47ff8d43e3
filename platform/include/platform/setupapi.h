// Device-interface enumeration (the SetupAPI stand-in).
//
// A device information set is a snapshot: SetupDiGetClassDevs lists the
// interfaces of a class that are present at that moment, and the set does not
// change afterwards (a device unplugged later still appears in it; opening its
// path then fails). Interfaces are listed in a stable order, so index N names
// the same interface as long as the devices present do not change.
//
// Interface classes offered: the HID class (HidD_GetHidGuid, platform/hid.h).
// Other classes give an empty set.
//
// A set is a handle of the layer: SetupDiDestroyDeviceInfoList (or
// CloseHandle) frees it; a destroyed or made-up set fails with
// ERROR_INVALID_HANDLE (6).
//
// Thread safety: every call may run on any thread; one set may be read by
// several threads at once.
#pragma once

#include "platform/types.h"

#include <cstdint>

#ifndef GUID_DEFINED
#define GUID_DEFINED
struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
#endif

inline bool operator==(const GUID& a, const GUID& b)
{
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
        return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i])
            return false;
    return true;
}

using WCHAR = wchar_t;
using HDEVINFO = HANDLE;

// SetupDiGetClassDevs flags.
constexpr DWORD DIGCF_DEFAULT = 0x00000001u;
constexpr DWORD DIGCF_PRESENT = 0x00000002u;
constexpr DWORD DIGCF_ALLCLASSES = 0x00000004u;
constexpr DWORD DIGCF_PROFILE = 0x00000008u;
constexpr DWORD DIGCF_DEVICEINTERFACE = 0x00000010u;

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
