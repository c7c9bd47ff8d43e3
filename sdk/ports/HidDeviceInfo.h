// The identity of one USB HID interface, kept by value: copied into and out
// of vectors and device records.
#pragma once

#include <string>

struct HidDeviceInfo {
    std::string path;  // the interface path, narrowed character by character
    int productId = 0;
    int vendorId = 0;
    int usage = 0;      // of the top-level collection
    int usagePage = 0;  // of the top-level collection
    int inputReportLength = 0;   // report-id byte included
    int outputReportLength = 0;  // report-id byte included
    std::wstring serialNumber;
    std::wstring manufacturer;
    std::wstring product;
};
