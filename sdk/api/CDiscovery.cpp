#include "api/CDiscovery.h"

#include "api/DiscoveryEnumerators.h"

#include "base/CAlarmClock.h"
#include "base/CLogHelper.h"
#include "base/CScanningSDK.h"
#include "base/CancelFlag.h"
#include "base/StringUtils.h"
#include "discovery/CDevice.h"
#include "discovery/CPortEnumerator.h"
#include "ports/CSerialPort.h"

#include "platform/error.h"
#include "platform/time.h"

#include <cstdio>
#include <exception>
#include <memory>

namespace {
const char* const kNotInitialized = "discovery not been initialized!";
}

CDiscovery::CDiscovery()
{
    // The name is unique per object: the mutex serialises the callers of
    // this object only.
    DWORD savedError = GetLastError();
    m_mutex = CreateMutexW(nullptr, FALSE, generateUniqueName().c_str());
    if (m_mutex == nullptr)
        SDK_LOG(logbit::internal, "CDiscovery::CDiscovery", "can't create the mutex object");
    SetLastError(savedError);
}

CDiscovery::~CDiscovery()
{
    m_initialized = false;
    if (m_mutex != nullptr)
        CloseHandle(m_mutex);
}

int CDiscovery::initialize()
{
    m_initialized = true;
    return 0;
}

int CDiscovery::unInitialize()
{
    m_initialized = false;
    return 0;
}

void CDiscovery::setLastError(const std::string& text)
{
    std::lock_guard<std::mutex> guard(m_lastErrorLock);
    m_lastError = text;
}

void CDiscovery::appendLastError(const std::string& text)
{
    std::lock_guard<std::mutex> guard(m_lastErrorLock);
    m_lastError += text;
}

std::string CDiscovery::lastError()
{
    std::lock_guard<std::mutex> guard(m_lastErrorLock);
    return m_lastError;
}

int CDiscovery::getLastError(std::string& text)
{
    text = lastError();
    return 0;
}

int CDiscovery::fail(const char* method, const std::string& text, int code)
{
    setLastError(text);
    SDK_LOG(logbit::error, method, text);
    return code;
}

void CDiscovery::logTimeCost(DWORD startTick)
{
    DWORD cost = GetTickCount() - startTick;
    SDK_LOG(logbit::trace, "CDiscovery::enumerate", "  @@@TIME COST@@@: - FINISH" + std::to_string(cost));
    std::printf("Total time for %s: %d\n", "FINISH", static_cast<int>(cost));
}

int CDiscovery::enumerate(CDiscoveryTemplate discoveryTemplate, std::vector<CDevice*>* devices, DWORD timeout)
{
    static const char* const kMethod = "CDiscovery::enumerate";
    CLogHelper scope(kMethod);
    DWORD startTick = GetTickCount();
    setLastError("enumerate successful!");
    if (!m_initialized)
        return fail(kMethod, kNotInitialized, 7);
    if (discoveryTemplate.method == 1) {
        setLastError("Invalid discovery method, not support Break.");
        SDK_LOG(logbit::trace, kMethod, lastError());
        return 4;
    }
    CAlarmClock clock;
    clock.setTimeout(timeout);
    clock.start();
    if (m_mutex == nullptr)
        return fail(kMethod, "the mutex object pointer is null", 6);
    // An abandoned mutex is ours now: its owner ended without a release.
    DWORD wait = WaitForSingleObject(m_mutex, timeout);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED)
        return fail(kMethod, "wait for another operation timeout!", 1);

    // From here every return releases the mutex and logs the time cost.
    auto finish = [&](int code) {
        ReleaseMutex(m_mutex);
        logTimeCost(startTick);
        if (code != 0)
            SDK_LOG(logbit::error, kMethod, lastError());
        return code;
    };
    // Time-out and cancel win over whatever code ended the run.
    auto timedOrCancelled = [&](int code) {
        if (clock.isTimeout()) {
            appendLastError(" Timeout.");
            code = 1;
        }
        if (isCancelRequested(&m_cancelFlag)) {
            appendLastError(" Cancelled.");
            code = 2;
        }
        return code;
    };

    // Without a list of the caller's the search still runs (its code tells
    // how it ended), into a list of its own whose records are freed here.
    struct OwnList {
        std::vector<CDevice*> devices;
        ~OwnList()
        {
            for (CDevice* device : devices)
                delete device;
        }
    } ownList;
    if (devices == nullptr)
        devices = &ownList.devices;

    m_template = discoveryTemplate;
    discoveryTemplate.setDefaultValues();
    clearCancel(&m_cancelFlag);
    bool rs232Done = false;
    bool usbSerialDone = false;
    bool otherSerialDone = false;
    bool usbHidDone = false;
    const char* failureText = "";
    try {
        const DiscoveryEnumeratorMaker make = discoveryEnumeratorMaker();
        const auto hidEnumerator = make(DiscoveryEnumeratorKind::usbHid, &discoveryTemplate, devices);
        const auto rs232Enumerator = make(DiscoveryEnumeratorKind::rs232, &discoveryTemplate, devices);
        const auto usbSerialEnumerator = make(DiscoveryEnumeratorKind::usbSerial, &discoveryTemplate, devices);
        const auto otherEnumerator = make(DiscoveryEnumeratorKind::otherSerial, &discoveryTemplate, devices);
        for (int kind : discoveryTemplate.interfaceTypes) {
            if (discoveryTemplate.maxCount != 0 &&
                devices->size() >= static_cast<std::size_t>(discoveryTemplate.maxCount)) {
                SDK_LOG(logbit::trace, kMethod, "Reach the maxCount....");
                return finish(0);
            }
            if (clock.isTimeout()) {
                setLastError("Enumeration is timeout.");
                return finish(1);
            }
            if (isCancelRequested(&m_cancelFlag)) {
                setLastError("Enumeration is canceled.");
                return finish(2);
            }
            CDeviceEnumerator* enumerator = nullptr;
            bool* done = nullptr;
            switch (kind) {
            case 0:
                enumerator = rs232Enumerator.get();
                done = &rs232Done;
                failureText = "Fail in RS232 scanner enumeration.";
                break;
            case 1:
                enumerator = usbSerialEnumerator.get();
                done = &usbSerialDone;
                failureText = "Fail in USB Serial scanner enumeration.";
                break;
            case 5:
                enumerator = otherEnumerator.get();
                done = &otherSerialDone;
                failureText = "Fail in Serial Other type interface enumeration.";
                break;
            case 2:
            case 3:
            case 4:
                enumerator = hidEnumerator.get();
                done = &usbHidDone;
                failureText = "Fail in USB HID scanner enumeration.";
                break;
            default:
                continue;
            }
            if (*done)
                continue;
            *done = true;
            startTick = GetTickCount();
            enumerator->setCancelFlag(&m_cancelFlag);
            enumerator->setTimeout(clock.getRemaining());
            int result = enumerator->enumerate();
            if (result != 0) {
                setLastError(failureText);
                return finish(timedOrCancelled(result));
            }
        }
    } catch (const std::exception& error) {
        // A failure of the search is never a success: the kind's failure
        // text with the exception's, then 6 unless time or cancel ended it.
        setLastError(std::string(failureText) + " Exception:" + error.what());
        return finish(timedOrCancelled(6));
    } catch (...) {
        setLastError(std::string(failureText) + " Exception:unknown");
        return finish(timedOrCancelled(6));
    }
    // Without the runtime directory no virtual device is seen: the search
    // found what it could, and the text says why the rest is missing.
    if (const std::string refused = CScanningSDK::checkRuntimeDirectory(); !refused.empty())
        setLastError(refused);
    SDK_LOG(logbit::trace, kMethod, "Exit.");
    return finish(timedOrCancelled(0));
}

int CDiscovery::cancelEnumerate()
{
    CLogHelper scope("CDiscovery::cancelEnumerate");
    setLastError("cancelEnumerate successful!");
    if (!m_initialized)
        return fail("CDiscovery::cancelEnumerate", kNotInitialized, 7);
    requestCancel(&m_cancelFlag);
    return 0;
}

int CDiscovery::getPhysicalComPorts(std::vector<std::string>* ports)
{
    static const char* const kMethod = "CDiscovery::getPhysicalComPorts";
    CLogHelper scope(kMethod);
    setLastError("getPhysicalComPorts successful!");
    if (!m_initialized)
        return fail(kMethod, kNotInitialized, 7);
    std::vector<std::string> names;
    std::vector<std::string> friendlyNames;
    CPortEnumerator enumerator;
    if (!enumerator.enumeratePhysicalCOM(names, friendlyNames))
        return fail(kMethod, "Error happens during use SetupAPI to query the serial ports.", 5);
    if (names.size() != friendlyNames.size())
        return fail(kMethod, "SDK error, the friendly name's size isn't equal to seiral port's size....", 6);
    if (ports != nullptr)
        for (std::size_t i = 0; i < names.size(); ++i)
            ports->push_back(names[i] + " - " + friendlyNames[i]);
    return 0;
}

std::vector<HidDeviceInfo> CDiscovery::listUsbHidPorts()
{
    CLogHelper scope("CDiscovery::listUsbHidPorts");
    setLastError("listUsbHidPorts successful!");
    CPortEnumerator enumerator;
    return enumerator.enumerateUsbHid();
}

std::vector<std::string> CDiscovery::listSerialPorts(bool usbSerial)
{
    CLogHelper scope("CDiscovery::listSerialPorts");
    setLastError("listSerialPorts successful!");
    CPortEnumerator enumerator;
    std::vector<std::string> candidates = usbSerial ? enumerator.enumerateUsbSerialQZT() : enumerator.enumerateSerialQZT();
    std::vector<std::string> driverPorts = usbSerial ? enumerator.enumerateFDUsbSerial() : enumerator.enumerateFDSerial();
    candidates.insert(candidates.end(), driverPorts.begin(), driverPorts.end());
    std::vector<std::string> openable;
    for (const std::string& candidate : candidates) {
        std::string path = candidate.rfind("COM", 0) == 0 ? "\\\\.\\" + candidate : candidate;
        CSerialPort port;
        if (port.open(stringToWString(path)) == 0) {
            port.close();
            openable.push_back(candidate);
        }
    }
    return openable;
}
