// Requests to the remote-management filter driver that may sit in front of
// a serial port, sent as device requests on the port's open handle
// (CSerialPort::getHandle). Every request is buffered; those with an input
// record begin it with the driver's interface GUID and the record's size.
//
// A port without the driver refuses every request: the setters answer
// false, the queries false or an empty text. The system's error code is not
// kept. Each request is one synchronous call on the caller's thread; no lock
// is taken, not even around the three steps of resetTransTimeout.
//
// The class is the base of the port lookups behind the driver, which
// override getFDQoxPort.
#pragma once

#include "platform/types.h"

#include <string>

class CFilterDriver {
public:
    virtual ~CFilterDriver() = default;

    // The driver's management port that belongs to `port`; empty here.
    virtual std::string getFDQoxPort(std::string port);

    // Enters (1) or leaves (0) the driver's transaction mode.
    static bool setTransMode(HANDLE handle, int mode);
    // Sets the transaction time-out: two requests with the same record; the
    // second is not sent when the first fails. True only when both succeed.
    static bool setTransTimeOut(HANDLE handle, int milliseconds);
    // Leaves transaction mode, sets the time-out, enters the mode again;
    // stops at the first step that fails.
    static bool resetTransTimeout(HANDLE handle, int milliseconds);
    static bool setWrapper(HANDLE handle, bool wrapper);
    static bool isInTransMode(HANDLE handle);
    static bool isWrapper(HANDLE handle);
    // The port the driver sits on, and its line-of-business port, as the
    // driver names them; empty when it does not answer.
    static std::string getOrigPortString(HANDLE handle);
    static std::string getFDLOBPortString(HANDLE handle);
};
