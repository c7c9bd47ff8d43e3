// What the event windows need of their owners. The scanner logic implements
// IScannerEventOwner, the imager service object IImagerEventOwner. Every
// call comes on the event-window thread, one at a time; a fire operation
// may block while the application handles the event. The window deletes
// the record after the call returns: an owner never keeps it.
#pragma once

class CDataEvent;
class CErrorEvent;
class CImageDataEvent;
class CStatusUpdateEvent;

// What both owners fire.
class IEventOwner {
public:
    virtual ~IEventOwner() = default;
    virtual void FireErrorEvent(CErrorEvent* event) = 0;
    virtual void FireSUE(CStatusUpdateEvent* event) = 0;
};

class IScannerEventOwner : public IEventOwner {
public:
    // The numeric property AutoDisable (index 10).
    virtual long GetAutoDisable() = 0;
    // Sets DeviceEnabled to false, as AutoDisable asks once a barcode was
    // queued.
    virtual void DisableDevice() = 0;
    virtual void FireDataEvent(CDataEvent* event) = 0;
};

class IImagerEventOwner : public IEventOwner {
public:
    virtual void FireImageDataEvent(CImageDataEvent* event) = 0;
};
