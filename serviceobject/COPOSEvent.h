// The event records of the service object. Each event (DataEvent,
// ErrorEvent, StatusUpdateEvent, the imager's image DataEvent) is one heap
// record that has exactly one owner at a time: its producer until it is
// queued, the event queue (CDataQ) while it is listed, the posted
// WM_COMMAND message (lParam) once it is posted, the event window's handler
// after it arrives, which fires it and deletes it. A record is always
// deleted through a COPOSEvent pointer.
//
// A bare COPOSEvent carries no type: it is the carrier of the "DEVICE_ENABLE"
// notice that applies AutoDisable.
#pragma once

#include "platform/window.h"

#include <cstdint>
#include <vector>

// The wParam of a posted event record.
constexpr UINT kScannerEventCommand = 1025;
constexpr UINT kImagerEventCommand = 1026;

// Event types.
constexpr int EVT_NONE = 0;
constexpr int EVT_DATA = 1;
constexpr int EVT_IMAGE = 2;
constexpr int EVT_ERROR = 4;
constexpr int EVT_STATUS = 6;

// The label buffer of a barcode handed from the scanner queue's intake to
// its AddToQ.
constexpr std::size_t kBarcodeLabelCapacity = 4096;
struct SBarcodeRecord {
    std::int32_t m_nSize = 4108;
    unsigned char m_label[kBarcodeLabelCapacity] = {};
    signed char m_cCodeId = 0;
    char m_aim[2] = {};
    std::int32_t m_nLength = 0;
};

// An image handed to the imager queue: its bytes (not owned) and three
// attributes copied into the event unchanged.
struct SImageRecord {
    const unsigned char* m_pData = nullptr;
    long m_lLength = 0;
    long m_lAttributes[3] = {};
};

class COPOSEvent {
public:
    COPOSEvent() = default;
    COPOSEvent(HWND window, UINT command) : m_hWnd(window), m_nCommand(command) {}
    virtual ~COPOSEvent() = default;
    COPOSEvent(const COPOSEvent&) = delete;
    COPOSEvent& operator=(const COPOSEvent&) = delete;

    HWND m_hWnd = nullptr;
    UINT m_nCommand = 0;
    int m_nEventType = EVT_NONE;
};

class CDataEvent : public COPOSEvent {
public:
    CDataEvent() { m_nEventType = EVT_DATA; }
    // Data: the code identifier, ']', the two AIM characters, the label.
    explicit CDataEvent(const SBarcodeRecord& record);
    ~CDataEvent() override = default;

    // Leaves the label alone in the data; the identifier fields stay.
    void StripIdentifiers();
    long DataLength() const { return static_cast<long>(m_data.size()); }

    long m_lStatus = 0;
    std::vector<unsigned char> m_data;
    signed char m_cCodeId = 0;
    char m_aim[2] = {};
};

class CImageDataEvent : public COPOSEvent {
public:
    CImageDataEvent() { m_nEventType = EVT_IMAGE; }
    explicit CImageDataEvent(const SImageRecord& record);
    ~CImageDataEvent() override = default;

    long DataLength() const { return static_cast<long>(m_data.size()); }

    long m_lStatus = 0;
    std::vector<unsigned char> m_data;
    long m_lAttributes[3] = {};
};

class CErrorEvent : public COPOSEvent {
public:
    CErrorEvent() { m_nEventType = EVT_ERROR; }
    ~CErrorEvent() override = default;

    long m_lResultCode = 111;
    long m_lResultCodeExtended = 111;
    long m_lErrorLocus = 2;      // input
    long m_lErrorResponse = 12;  // clear; the application may change it while the event is fired
    long m_lClearCount = 0;      // events a Clear response removes (0: all)
};

class CStatusUpdateEvent : public COPOSEvent {
public:
    CStatusUpdateEvent() { m_nEventType = EVT_STATUS; }
    explicit CStatusUpdateEvent(long status) : m_lStatus(status) { m_nEventType = EVT_STATUS; }
    ~CStatusUpdateEvent() override = default;

    long m_lStatus = 0;
};
