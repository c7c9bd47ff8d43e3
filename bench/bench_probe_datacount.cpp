// The Advanced View's DataCount tick while a device is claimed: DataCount
// and DeviceEnabled read through the scanner control and the service
// object (both loaded through the registry, as TillProbe loads them), an
// RS-232 scanner behind them. The view's timer runs every millisecond after
// a power-online resynchronisation, so a tick is set against that period.
// Counters: p50 and p99 of a tick in microseconds, the period, and the
// ticks that took longer than it.
#include "AdvancedValidation.h"
#include "BenchSupport.h"
#include "ControlSite.h"

#include "simulator/identity_model.h"
#include "simulator/serial_model.h"
#include "simulator/virtual_serial_port.h"

#include "platform/com.h"
#include "platform/module.h"
#include "platform/registry.h"
#include "platform/serial.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kPeriodUs = 1000;

// A view with nothing around it: no dialog answers, no timers.
class SilentHost final : public AdvancedHost {
public:
    void ShowMessage(const std::string&) override {}
    bool AskYesNo(const std::string&) override { return false; }
    bool RunDirectIO(const std::string&, const std::string&, const std::string&, std::string&) override
    {
        return false;
    }
    int RunErrorEvent(LONG) override { return 12; }
    void ShowFullImage(const std::vector<BYTE>&) override {}
    bool ChooseSaveFile(std::string&) override { return false; }
    bool ChooseOpenFile(const std::string&, std::string&) override { return false; }
    void SetTimer(UINT, UINT) override {}
    void KillTimer(UINT) override {}
    void Wait(UINT) override {}
    void EndDialog(int) override {}
    void SwitchToBasicView() override {}
    bool RaiseWindow(const std::string&) override { return false; }
    void OpenHelp(const std::string&) override {}
    void CloseWindowTitled(const std::string&) override {}
    void ShowAbout() override {}
    bool LaunchProgram(const std::string&) override { return false; }
};

bool registerServer(const char* name)
{
    const std::string path = std::string(VX_BENCH_BIN) + "/" + name;
    HMODULE library = LoadLibraryA(path.c_str());
    const auto entry = library != nullptr
                           ? reinterpret_cast<DllRegisterServerFunction>(GetProcAddress(library, "DllRegisterServer"))
                           : nullptr;
    return entry != nullptr && entry() == S_OK;
}

// The device entry as TillSetup writes it for a scanner on a fixed port.
bool writeDeviceEntry(const std::string& device, const std::string& comName)
{
    HKEY key = nullptr;
    const std::string path = "SOFTWARE\\OLEforRetail\\ServiceOPOS\\Scanner\\" + device;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    bool written = true;
    const std::pair<const char*, std::string> values[] = {
        {nullptr, "VX.ScannerSO"}, {"PORT", comName}, {"AUTODETECT", "False"}};
    for (const auto& [name, text] : values)
        written = written && RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                            static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
    RegCloseKey(key);
    return written;
}

void BM_ProbeDataCountTick(benchmark::State& state)
{
    vxbench::isolate();
    vxsim::SerialModel model = *vxsim::findSerialModel("rs232");
    model.baudRate = 115200;
    model.menu = vxsim::identityMenu(*vxsim::findIdentityModel("arch0"));
    vxsim::VirtualSerialPort device(model, "bench-probe-datacount");
    if (!device.plug()) {
        state.SkipWithError(("cannot plug the simulated scanner: " + device.lastError()).c_str());
        return;
    }
    std::string comName;
    for (const auto& listed : platform::listSerialPorts())
        if (listed.devicePath == device.ptyPath())
            comName = listed.comName;
    if (comName.empty() || !registerServer("libVXOPOSScanner.so") || !registerServer("libVXKestrelSO.so") ||
        !writeDeviceEntry("BenchDataCount", comName)) {
        state.SkipWithError("cannot register the control and the service object or write the device entry");
        return;
    }

    ControlSite site;
    if (FAILED(site.Create(kScannerControlClsid))) {
        state.SkipWithError("cannot create the scanner control");
        return;
    }
    COPOSScanner scanner(site.Dispatch());
    COPOSImageScanner imageScanner;
    SilentHost host;
    CAdvancedValidation view(host, scanner, imageScanner);
    if (scanner.Open("BenchDataCount") != 0 || scanner.ClaimDevice(10000) != 0) {
        state.SkipWithError("the control did not open and claim the scanner");
        return;
    }
    scanner.SetDeviceEnabled(TRUE);
    // As after the enable the view showed: a tick finds nothing changed.
    view.m_bDeviceEnabled = 1;

    std::vector<double> ticks;
    for (auto _ : state) {
        const auto start = Clock::now();
        view.OnTimer(adv::kDataCountTimer);
        const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
        state.SetIterationTime(us / 1e6);
        ticks.push_back(us);
    }
    scanner.Close();
    if (view.Model().at(adv::IDC_STATIC_DATACOUNT).text.empty())
        state.SkipWithError("the tick showed no DataCount line");
    std::size_t over = 0;
    for (double us : ticks)
        over += us > kPeriodUs ? 1 : 0;
    state.counters["p50_us"] = vxbench::percentile(ticks, 0.50);
    state.counters["p99_us"] = vxbench::percentile(ticks, 0.99);
    state.counters["period_us"] = kPeriodUs;
    state.counters["over_period"] = static_cast<double>(over);
}
BENCHMARK(BM_ProbeDataCountTick)->Iterations(5000)->Unit(benchmark::kMicrosecond)->UseManualTime();

}  // namespace
