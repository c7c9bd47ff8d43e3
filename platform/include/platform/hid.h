// HID class calls (the HidD_ and HidP_ stand-ins) on handles that CreateFile
// opened on a HID interface path.
//
// Where interfaces come from:
// - real devices: /sys/class/hidraw (identity, usages and report lengths
//   from sysfs and the report descriptor) and the hidraw nodes for I/O;
// - virtual devices: sockets published in the runtime directory by a device
//   stand-in (the simulated scanner); platform/virtual/WIRE.md has their
//   format.
// Both are listed through SetupAPI (platform/setupapi.h) with the class
// HidD_GetHidGuid answers.
//
// Paths: "\\?\hid#vid_XXXX&pid_XXXX&mi_NN#<location>#{<hid class>}", where
// the location names the USB port chain ("usb-1-2.3") or the virtual device
// ("virtual-<id>"). A path stays the same while the device sits on the same
// port, whatever hidraw number it gets; CreateFile accepts it in any letter
// case. No path contains white space.
//
// Report lengths always count the report-id byte, also for a device that
// does not number its reports: ReadFile gives such a device's reports with a
// 0 byte in front, padded with zeros to InputReportByteLength, so a report's
// bytes sit at the same positions on every device.
//
// Opening (CreateFile): access 0 opens a probe, which always succeeds on a
// present interface and allows only the queries below (attributes,
// preparsed data, strings); it never touches the device node. A read/write
// open with share mode 0 is exclusive: it fails with
// ERROR_SHARING_VIOLATION (32) while another read/write handle of the same
// interface is open (in any process), and a shared open fails while an
// exclusive one is. An unknown path fails with ERROR_FILE_NOT_FOUND (2).
//
// Input: every read/write handle has its own queue of input reports, filled
// as reports arrive whether or not a read is waiting. It holds 32 reports
// until HidD_SetNumInputBuffers changes that (2 to 512); when it is full the
// oldest report is dropped (and a line goes to the debugger output).
// ReadFile takes one report: buffer size below InputReportByteLength fails
// with ERROR_INVALID_PARAMETER (87); an empty queue on an overlapped handle
// answers FALSE with ERROR_IO_PENDING (997) and completes when a report
// arrives, when the device goes (ERROR_DEVICE_NOT_CONNECTED, 1167) or when
// CancelIo aborts it (ERROR_OPERATION_ABORTED, 995). Reports that arrived
// before the device went are still delivered; after them every read fails
// with 1167. Only one read may be pending per handle (a second: ERROR_BUSY).
//
// Output: WriteFile sends OutputReportByteLength bytes (buffer smaller: 87)
// and completes before it returns; its OVERLAPPED record, when given, is
// completed too. A device without output reports refuses with
// ERROR_INVALID_FUNCTION (1). After removal: 1167.
//
// Thread safety: one read and one write (and any of the queries) may run at
// once on one handle, from different threads.
#pragma once

#include "platform/setupapi.h"
#include "platform/types.h"

#include <cstddef>
#include <cstdint>
#include <string>

using USHORT = std::uint16_t;
using BOOLEAN = BYTE;
using NTSTATUS = LONG;
using USAGE = USHORT;
using PVOID = void*;

struct HIDD_ATTRIBUTES {
    ULONG Size;
    USHORT VendorID;
    USHORT ProductID;
    USHORT VersionNumber;
};
using PHIDD_ATTRIBUTES = HIDD_ATTRIBUTES*;
static_assert(sizeof(HIDD_ATTRIBUTES) == 12, "callers pass a size of 12");

// The capabilities of an interface's first top-level collection. Report
// lengths include the report-id byte; 0 means the device has no report of
// that kind.
struct HIDP_CAPS {
    USAGE Usage;
    USAGE UsagePage;
    USHORT InputReportByteLength;
    USHORT OutputReportByteLength;
    USHORT FeatureReportByteLength;
    USHORT Reserved[17];
    USHORT NumberLinkCollectionNodes;
};
using PHIDP_CAPS = HIDP_CAPS*;

struct HidpPreparsedData;
using PHIDP_PREPARSED_DATA = HidpPreparsedData*;

constexpr NTSTATUS HIDP_STATUS_SUCCESS = 0x00110000;
constexpr NTSTATUS HIDP_STATUS_INVALID_PREPARSED_DATA = static_cast<NTSTATUS>(0xC0110001u);

// The HID interface class.
void HidD_GetHidGuid(GUID* hidGuid);

// Vendor id, product id and release number. FALSE (1167) once the device is
// gone: this is how a holder of a handle notices a removal.
BOOLEAN HidD_GetAttributes(HANDLE device, PHIDD_ATTRIBUTES attributes);

// The parsed report descriptor, freed with HidD_FreePreparsedData.
BOOLEAN HidD_GetPreparsedData(HANDLE device, PHIDP_PREPARSED_DATA* preparsedData);
BOOLEAN HidD_FreePreparsedData(PHIDP_PREPARSED_DATA preparsedData);
NTSTATUS HidP_GetCaps(PHIDP_PREPARSED_DATA preparsedData, PHIDP_CAPS capabilities);

// The device's strings, NUL-terminated, into a buffer of `bufferLength`
// bytes (a longer string is cut to fit). A string the device does not have:
// FALSE with ERROR_GEN_FAILURE (31).
BOOLEAN HidD_GetSerialNumberString(HANDLE device, PVOID buffer, ULONG bufferLength);
BOOLEAN HidD_GetManufacturerString(HANDLE device, PVOID buffer, ULONG bufferLength);
BOOLEAN HidD_GetProductString(HANDLE device, PVOID buffer, ULONG bufferLength);

// The size of the handle's input queue: 2 to 512 (else FALSE with 87).
// Shrinking drops the oldest queued reports.
BOOLEAN HidD_SetNumInputBuffers(HANDLE device, ULONG numberBuffers);
BOOLEAN HidD_GetNumInputBuffers(HANDLE device, ULONG* numberBuffers);

// Empties the handle's input queue.
BOOLEAN HidD_FlushQueue(HANDLE device);

// Feature reports: byte 0 is the report id (0 for a device that does not
// number its reports). Needs a read/write handle (a probe: FALSE with 5).
// A device that refuses the report: FALSE with ERROR_GEN_FAILURE (31); no
// answer within a few seconds: ERROR_TIMEOUT (1460); gone: 1167.
// HidD_GetFeature reads into the buffer with byte 0 set to the wanted id.
BOOLEAN HidD_SetFeature(HANDLE device, PVOID reportBuffer, ULONG reportBufferLength);
BOOLEAN HidD_GetFeature(HANDLE device, PVOID reportBuffer, ULONG reportBufferLength);

namespace platform {

// Where real HID interfaces are looked for: the sysfs root ("/sys") and the
// folder of the hidraw nodes ("/dev"). The environment variables
// VX_SYSFS_ROOT and VX_DEV_ROOT override the defaults; these setters
// override both (an empty text returns to the environment or the default),
// so a test can point enumeration at a fixture tree. Read at every
// enumeration and open.
void setHidSysfsRoot(const std::string& root);
void setHidDeviceRoot(const std::string& root);

// Number of HID handles (probes included) open in this process now; a
// caller that must not leak handles can compare it before and after.
std::size_t openHidHandleCount();

}  // namespace platform
