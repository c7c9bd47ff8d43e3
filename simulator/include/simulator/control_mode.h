// The simulated scanner steered line by line from standard input, for test
// peers in other processes and languages (a JVM test, say):
//
//   vxsimulator --control (--serial-model NAME | --hid-model NAME |
//                          --flashable rs232|cdc|hid-pos|hid-lob|filter-rs232)
//               [--id NAME] [--identity NAME] [--serial-number SN]
//               [--no-wire-time]
//
// Once its device is published it prints "<id> <path>" (the pty of a serial
// port, the host path of a HID interface). Then each input line is one
// command, answered with one line: "ok <t>", where <t> is the monotonic
// clock (CLOCK_MONOTONIC, nanoseconds) taken just before the command acted,
// or "error <reason>". Bytes are written in hex ("30063006"), an empty
// field meaning none.
//
//   scan AIM CODEHEX [LABEL]   scans LABEL (the rest of the line, may be
//                              empty) with the two-character AIM identifier
//                              and the code identifier byte
//   image FORMAT HEX           sends an image packet (format digit 0-8)
//   raw HEX                    sends the bytes as they are (HID: in the data
//                              area of input reports)
//   rule COMMAND HEX           answers COMMAND (its text without the mark)
//                              with exactly these bytes from now on
//   silence [COMMAND]          answers no menu command (from COMMAND on)
//   talk                       answers again
//   unplug | replug            takes the device away and back under its name
//
// A flashable scanner takes scan only. The program ends, unplugging its
// device, when its input ends.
#pragma once

namespace vxsim {

// Runs the control mode with the options that follow "--control"; the
// program's exit code.
int runControlMode(int argc, char** argv);

}  // namespace vxsim
