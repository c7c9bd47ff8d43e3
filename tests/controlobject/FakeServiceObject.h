// The fake service objects that the control tests open: one library
// (libvx_fake_so.so) serving six classes, "VX.FakeSO.0" to "VX.FakeSO.5",
// each steered by its own slot. The test reaches the slots through the
// library's export "vxFakeServiceObjects" (the same loaded library the
// control creates its service object from).
#pragma once

#include "platform/oleauto.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace fakeso {

constexpr int kSlots = 6;

// Every method name a fake can answer; its dispatch id is its place + 1.
inline const std::vector<std::string>& AllNames()
{
    static const std::vector<std::string> names = {
        "COFreezeEvents",  "GetPropertyNumber",  "SetPropertyNumber", "GetPropertyString",      "SetPropertyString",
        "OpenService",     "CheckHealth",        "ClaimDevice",       "Claim",                  "ClearInput",
        "CloseService",    "Close",              "DirectIO",          "ReleaseDevice",          "Release",
        "ResetStatistics", "RetrieveStatistics", "UpdateStatistics",  "CompareFirmwareVersion", "UpdateFirmware",
        "ClearInputProperties", "GetOpenResult"};
    return names;
}

// The 18 names of a current service object, and GetOpenResult.
inline std::vector<std::string> StandardNames()
{
    return {"COFreezeEvents", "GetPropertyNumber", "SetPropertyNumber", "GetPropertyString", "SetPropertyString",
            "OpenService", "CheckHealth", "ClaimDevice", "ClearInput", "CloseService", "DirectIO", "ReleaseDevice",
            "ResetStatistics", "RetrieveStatistics", "UpdateStatistics", "CompareFirmwareVersion", "UpdateFirmware",
            "ClearInputProperties", "GetOpenResult"};
}

struct Slot {
    // Steering, set by the test before the control opens.
    std::vector<std::string> names = StandardNames();
    LONG version = 1013000;         // ServiceObjectVersion (property 8)
    bool noFactory = false;         // DllGetClassObject refuses the class
    bool noDispatch = false;        // the object is no IDispatch
    bool openServiceFails = false;  // OpenService's Invoke fails
    LONG openServiceResult = 0;
    bool getOpenResultFails = false;
    LONG openResult = 0;
    LONG methodResult = 0;          // what other methods answer
    bool failCalls = false;         // every Invoke but CloseService fails
    std::map<LONG, LONG> numbers;   // GetPropertyNumber answers (default 0)
    std::map<LONG, std::string> strings;

    // What happened, guarded by `mutex`.
    std::mutex mutex;
    std::vector<std::string> calls;  // "Name(arg,arg)" in order
    IDispatch* control = nullptr;    // OpenService's third argument, until CloseService
    int liveObjects = 0;

    std::vector<std::string> Calls()
    {
        std::lock_guard lock(mutex);
        return calls;
    }
    // A fresh slot's steering and an empty record, for the next test in the
    // same process (objects still alive stay counted).
    void Reset()
    {
        std::lock_guard lock(mutex);
        names = StandardNames();
        version = 1013000;
        noFactory = noDispatch = openServiceFails = getOpenResultFails = failCalls = false;
        openServiceResult = openResult = methodResult = 0;
        numbers.clear();
        strings.clear();
        calls.clear();
        control = nullptr;
    }
};

struct Slots {
    Slot slot[kSlots];
};

using SlotsFunction = Slots* (*)();

inline std::string ProgId(int slot)
{
    return "VX.FakeSO." + std::to_string(slot);
}

}  // namespace fakeso
