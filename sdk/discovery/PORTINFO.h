// The port-information record that every exchange with a device is given:
// the open port and how to talk to it. A plain record, created zero-filled
// by whoever is about to talk to a device and handed by pointer to the
// helpers that do the talking (the sync ping, the menu transport, the
// information queries). It owns nothing.
#pragma once

#include "ports/InterfacePort.h"

struct PORTINFO {
    // The open port of the device; not owned. Helpers refuse to work when it
    // is null.
    InterfacePort* port;
    // Bytes written before every menu command, NUL-terminated; empty (first
    // byte 0) sends nothing.
    unsigned char prepareData[64];
    // Milliseconds between two reads while a response is collected.
    int readDelay;
    // How many reads without data end the wait for a response. Signed: a
    // negative count means that nothing is read at all.
    int readCount;
    // Non-zero: the menu transport writes a command one byte at a time.
    unsigned char writeByteByByte;
    int reserved;
    // Result of the last port operation made on the record's behalf; 1167
    // means the device is disconnected.
    int errorCode;
    // Text that goes with errorCode, NUL-terminated.
    char errorText[256];
};
