// What the scanner and imager event windows share: the notice of their
// default procedure and the log of commands they pass on.
#pragma once

#include "platform/window.h"

class ZRIDbgBase;

// Writes "<name>.DefWindowProc() entered\r\n" to the debugger output, and
// "device connect or disconnect\r\n" for a change of the device nodes.
void NoteDefWindowProc(const char* name, UINT message, WPARAM wParam);
// Logs a command the window does not handle itself.
void LogPassedCommand(ZRIDbgBase& debug, const char* tag, WPARAM wParam);
