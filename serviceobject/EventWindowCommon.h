// What the scanner and imager event windows share: the notice of their
// default procedure and the log of commands they pass on.
#pragma once

#include "platform/window.h"

#include <functional>

class COPOSEvent;
class IEventOwner;
class ZRIDbgBase;

// Writes "<name>.DefWindowProc() entered\r\n" to the debugger output, and
// "device connect or disconnect\r\n" for a change of the device nodes.
void NoteDefWindowProc(const char* name, UINT message, WPARAM wParam);
// Logs a command the window does not handle itself.
void LogPassedCommand(ZRIDbgBase& debug, const char* tag, WPARAM wParam);
// Takes the record of a posted event (lParam) and fires it through `owner`
// (none: nothing is fired): an error or a status update itself, a record of
// `dataType` through `fireData`; any other type is logged as unknown. The
// record is deleted afterwards whatever the owner did. Always handled.
BOOL FireRecord(LPARAM lParam, ZRIDbgBase& debug, const char* tag, IEventOwner* owner, int dataType,
                const std::function<void(COPOSEvent&)>& fireData);
