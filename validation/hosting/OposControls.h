// Thin wrappers over the two hosted OPOS controls: every member is one
// synchronous IDispatch call with a compiled-in dispatch id, invoke kind and
// argument types; nothing is looked up by name, except the image scanner's
// CompareFirmwareVersion, whose id is that control's own.
//
// Types: I4 is LONG; a boolean property reads as a BOOL (0 false, nonzero
// true) and is written as a variant boolean; text results are ISO-8859-1
// strings (bytes 0x80-0xFF kept); text arguments are taken the same way.
// By-reference arguments are the caller's own variables, which the control
// may change (a BSTR may be replaced: the caller owns whatever it finds
// there afterwards). A method answers the control's ResultCode; a property
// write answers nothing, so callers read ResultCode after it.
//
// A failed dispatch call throws ControlCallError; the wrappers catch nothing.
#pragma once

#include "platform/dispatch.h"

#include <stdexcept>
#include <string>
#include <vector>

// A dispatch call on a hosted control failed: the HRESULT and a text (the
// control's exception description when it gave one).
class ControlCallError : public std::runtime_error {
public:
    ControlCallError(HRESULT code, const std::string& text) : std::runtime_error(text), m_code(code) {}
    HRESULT code() const { return m_code; }

private:
    HRESULT m_code;
};

// The members both controls share. The IDispatch is borrowed: the site
// that hosts the control owns it and outlives the wrapper's use.
class COPOSCommonControl {
public:
    COPOSCommonControl() = default;
    explicit COPOSCommonControl(IDispatch* control) { Attach(control); }
    COPOSCommonControl(const COPOSCommonControl&) = delete;
    COPOSCommonControl& operator=(const COPOSCommonControl&) = delete;

    void Attach(IDispatch* control) { m_driver.attach(control, false); }
    IDispatch* Dispatch() const { return m_driver.get(); }

    BOOL GetAutoDisable();
    void SetAutoDisable(BOOL value);
    LONG GetBinaryConversion();
    void SetBinaryConversion(LONG value);
    LONG GetCapPowerReporting();
    std::string GetCheckHealthText();
    BOOL GetClaimed();
    LONG GetDataCount();
    BOOL GetDataEventEnabled();
    void SetDataEventEnabled(BOOL value);
    BOOL GetDeviceEnabled();
    void SetDeviceEnabled(BOOL value);
    BOOL GetFreezeEvents();
    void SetFreezeEvents(BOOL value);
    LONG GetPowerNotify();
    void SetPowerNotify(LONG value);
    LONG GetPowerState();
    LONG GetResultCode();
    LONG GetResultCodeExtended();
    LONG GetState();
    std::string GetControlObjectDescription();
    LONG GetControlObjectVersion();
    std::string GetServiceObjectDescription();
    LONG GetServiceObjectVersion();
    std::string GetDeviceDescription();
    std::string GetDeviceName();
    BOOL GetCapStatisticsReporting();
    BOOL GetCapUpdateStatistics();
    BOOL GetCapCompareFirmwareVersion();
    BOOL GetCapUpdateFirmware();
    LONG GetOpenResult();

    LONG CheckHealth(LONG level);
    LONG ClaimDevice(LONG timeout);
    LONG ClearInput();
    LONG Close();
    LONG Open(const std::string& deviceName);
    LONG ReleaseDevice();
    LONG UpdateFirmware(const std::string& firmwareFileName);
    LONG ClearInputProperties();

protected:
    LONG GetNumber(DISPID id);
    BOOL GetBool(DISPID id);
    std::string GetText(DISPID id);
    void PutNumber(DISPID id, LONG value);
    void PutBool(DISPID id, BOOL value);
    LONG Call(DISPID id, const std::vector<platform::DispatchArg>& args = {});
    // Invokes and throws ControlCallError on failure; `result` may be null.
    void Invoke(DISPID id, WORD kind, const std::vector<platform::DispatchArg>& args, VARIANT* result);

    platform::DispatchDriver m_driver;
};

// The OPOS scanner control.
class COPOSScanner : public COPOSCommonControl {
public:
    using COPOSCommonControl::COPOSCommonControl;

    BOOL GetDecodeData();
    void SetDecodeData(BOOL value);
    std::string GetScanData();
    std::string GetScanDataLabel();
    LONG GetScanDataType();

    LONG DirectIO(LONG command, LONG* pData, BSTR* pString);
    LONG ResetStatistics(const std::string& statisticsBuffer);
    LONG RetrieveStatistics(BSTR* pStatisticsBuffer);
    LONG UpdateStatistics(const std::string& statisticsBuffer);
    LONG CompareFirmwareVersion(const std::string& firmwareFileName, LONG* pResult);
};

// The OPOS image-scanner control.
class COPOSImageScanner : public COPOSCommonControl {
public:
    using COPOSCommonControl::COPOSCommonControl;

    BOOL GetCapAim();
    BOOL GetCapDecodeData();
    BOOL GetCapHostTriggered();
    BOOL GetCapIlluminate();
    BOOL GetCapImageData();
    BOOL GetCapImageQuality();
    BOOL GetCapVideoData();
    BOOL GetAimMode();
    void SetAimMode(BOOL value);
    LONG GetBitsPerPixel();
    std::string GetFrameData();
    LONG GetFrameType();
    BOOL GetIlluminateMode();
    void SetIlluminateMode(BOOL value);
    LONG GetImageHeight();
    LONG GetImageLength();
    LONG GetImageMode();
    void SetImageMode(LONG value);
    LONG GetImageQuality();
    void SetImageQuality(LONG value);
    LONG GetImageType();
    LONG GetImageWidth();
    LONG GetVideoCount();
    void SetVideoCount(LONG value);
    LONG GetVideoRate();
    void SetVideoRate(LONG value);

    LONG StartSession();
    LONG StopSession();
    // Bound by name: this control's id for it is its own.
    LONG CompareFirmwareVersion(const std::string& firmwareFileName, LONG* pResult);
};
