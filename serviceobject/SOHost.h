// What the service object's machinery needs to know about the program that
// hosts it: the application type given at initialisation (0 the COM class,
// settings from the registry and events through the control object; any
// other value a program bound to the exported interface) and, for such a
// program, its statistics callback, which replaces the registry counters.
//
// The exported interface's initialisation installs its host; until then
// (and after SetSOHost(nullptr)) the default host answers type 0 and has
// no callback. The host is process-wide; install it before service objects
// run (it is read from any thread).
#pragma once

class ISOHost {
public:
    virtual ~ISOHost() = default;
    virtual int AppType() const = 0;
    // Hands a statistics counter (1 good scan, 2 no-read, 3 communication
    // error) to the host; false when it has no callback.
    virtual bool FireUpdateStatistics(int counter) = 0;
};

ISOHost& SOHost();
// The host is not owned; null restores the default.
void SetSOHost(ISOHost* host);
