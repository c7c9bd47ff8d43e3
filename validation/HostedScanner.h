// The Basic View's ScannerControl over the hosted scanner control's
// wrapper: each member one dispatch call (a failed one throws
// ControlCallError).
#pragma once

#include "OposControls.h"
#include "ProbeHost.h"

class HostedScanner : public ScannerControl {
public:
    explicit HostedScanner(IDispatch* control = nullptr) : m_control(control) {}
    void Attach(IDispatch* control) { m_control.Attach(control); }
    COPOSScanner& Wrapper() { return m_control; }

    LONG Open(const std::string& deviceName) override { return m_control.Open(deviceName); }
    LONG ClaimDevice(LONG timeout) override { return m_control.ClaimDevice(timeout); }
    LONG ReleaseDevice() override { return m_control.ReleaseDevice(); }
    LONG Close() override { return m_control.Close(); }
    void SetDeviceEnabled(BOOL value) override { m_control.SetDeviceEnabled(value); }
    void SetDataEventEnabled(BOOL value) override { m_control.SetDataEventEnabled(value); }
    void SetDecodeData(BOOL value) override { m_control.SetDecodeData(value); }
    LONG GetResultCode() override { return m_control.GetResultCode(); }
    std::string GetScanDataLabel() override { return m_control.GetScanDataLabel(); }

private:
    COPOSScanner m_control;
};
