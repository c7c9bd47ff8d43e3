// Scan to DataEvent on an OPOS application's thread: the scanner control
// and the service object, both loaded through the registry as an
// application loads them, an RS-232 scanner at 115200 baud, the control
// hosted on a thread that pumps its messages. The facade's own scan to
// callback (bench_facade.cpp) runs in the same program as its anchor.
// Before each scan a random pause (0-10 ms). Counters: p50 and p99 of scan
// to DataEvent on the container's thread and of the wire time the scanner
// delivered, in microseconds.
#include "BenchSupport.h"

#include "OposScanner.h"

#include "simulator/identity_model.h"
#include "simulator/serial_model.h"
#include "simulator/virtual_serial_port.h"

#include "platform/com.h"
#include "platform/dispatch.h"
#include "platform/module.h"
#include "platform/ole.h"
#include "platform/registry.h"
#include "platform/serial.h"
#include "platform/thread.h"
#include "platform/window.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

enum : DISPID { DataEventEnabled = 16, DeviceEnabled = 17, ClaimDevice = 32, Close = 35, Open = 37 };

// The application's sink: counts DataEvents (id 1) with the time of the last.
class Events final : public IDispatch {
public:
    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IUnknown || iid == IID_IDispatch) {
            *object = static_cast<IDispatch*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        if (id == 1) {
            std::lock_guard lock(m_mutex);
            ++m_count;
            m_last = Clock::now();
            m_changed.notify_all();
        }
        return S_OK;
    }
    int count()
    {
        std::lock_guard lock(m_mutex);
        return m_count;
    }
    bool waitBeyond(int seen, Clock::time_point& at)
    {
        std::unique_lock lock(m_mutex);
        const bool arrived = m_changed.wait_for(lock, std::chrono::seconds(10), [&] { return m_count > seen; });
        at = m_last;
        return arrived;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_count = 0;
    Clock::time_point m_last;
};

bool Register(const char* name)
{
    const std::string path = std::string(VX_BENCH_BIN) + "/" + name;
    HMODULE library = LoadLibraryA(path.c_str());
    const auto registerServer =
        library != nullptr ? reinterpret_cast<DllRegisterServerFunction>(GetProcAddress(library, "DllRegisterServer"))
                           : nullptr;
    return registerServer != nullptr && registerServer() == S_OK;
}

bool WriteEntry(const std::string& comName)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\OLEforRetail\\ServiceOPOS\\Scanner\\BenchContainer", 0,
                        nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    bool written = true;
    for (const auto& [name, text] : {std::pair<const char*, std::string>{nullptr, "VX.ScannerSO"},
                                     {"PORT", comName}, {"AUTODETECT", "False"}})
        written = written && RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                            static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
    RegCloseKey(key);
    return written;
}

// The application's thread: creates the control, connects the sink and
// pumps messages; work is handed to it and waited for.
class Container {
public:
    explicit Container(Events& events)
    {
        std::promise<void> started;
        m_thread = std::thread([this, &events, &started] {
            m_threadId = GetCurrentThreadId();
            MSG message{};
            PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
            CLSID clsid{};
            IDispatch* created = nullptr;
            if (SUCCEEDED(CLSIDFromProgID(u"VXOPOS.Scanner", &clsid)) &&
                SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                           reinterpret_cast<void**>(&created)))) {
                control.attach(created);
                IConnectionPointContainer* points = nullptr;
                IConnectionPoint* point = nullptr;
                DWORD cookie = 0;
                if (SUCCEEDED(created->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&points)))) {
                    if (SUCCEEDED(points->FindConnectionPoint(DIID__IOPOSScannerEvents, &point))) {
                        point->Advise(&events, &cookie);
                        point->Release();
                    }
                    points->Release();
                }
            }
            started.set_value();
            while (GetMessageW(&message, nullptr, 0, 0) > 0) {
                if (message.hwnd == nullptr && message.message == kTask) {
                    auto* task = reinterpret_cast<std::function<void()>*>(message.lParam);
                    (*task)();
                    delete task;
                    continue;
                }
                DispatchMessageW(&message);
            }
            control.release();
        });
        started.get_future().wait();
    }
    ~Container()
    {
        PostThreadMessageW(m_threadId, WM_QUIT, 0, 0);
        m_thread.join();
    }
    void run(std::function<void()> work)
    {
        std::promise<void> done;
        PostThreadMessageW(m_threadId, kTask, 0, reinterpret_cast<LPARAM>(new std::function<void()>([&] {
                               work();
                               done.set_value();
                           })));
        done.get_future().wait();
    }

    platform::DispatchDriver control;  // used on the container's thread

private:
    static constexpr UINT kTask = WM_APP + 9;
    std::thread m_thread;
    DWORD m_threadId = 0;
};

void BM_SerialScanToContainerDataEvent(benchmark::State& state)
{
    vxbench::isolate();
    vxsim::SerialModel model = *vxsim::findSerialModel("rs232");
    model.baudRate = 115200;
    model.menu = vxsim::identityMenu(*vxsim::findIdentityModel("arch0"));
    vxsim::VirtualSerialPort scanner(model, "bench-container-serial");
    if (!scanner.plug()) {
        state.SkipWithError(("cannot plug the simulated scanner: " + scanner.lastError()).c_str());
        return;
    }
    std::string comName;
    for (const auto& listed : platform::listSerialPorts())
        if (listed.devicePath == scanner.ptyPath())
            comName = listed.comName;
    if (comName.empty()) {
        state.SkipWithError("the simulated scanner's port is not listed");
        return;
    }
    if (!Register("libVXOPOSScanner.so") || !Register("libVXKestrelSO.so") || !WriteEntry(comName)) {
        state.SkipWithError("cannot register the control and the service object or write the entry");
        return;
    }
    Events events;
    Container container(events);
    LONG opened = -1;
    container.run([&] {
        if (container.control.get() == nullptr)
            return;
        container.control.callI4(Open, {platform::DispatchArg::latin1("BenchContainer")}, &opened);
        if (opened == 0)
            container.control.callI4(ClaimDevice, {platform::DispatchArg::i4(10000)}, &opened);
        if (opened == 0)
            container.control.invoke(DeviceEnabled, DISPATCH_PROPERTYPUT, {platform::DispatchArg::boolean(true)},
                                     nullptr);
    });
    if (opened != 0) {
        state.SkipWithError("the control did not open and claim the scanner");
        return;
    }
    std::mt19937 random(42);
    std::uniform_int_distribution<int> pauseUs(0, 10000);
    std::vector<double> latencies;
    std::vector<double> wires;
    for (auto _ : state) {
        container.run([&] {
            container.control.invoke(DataEventEnabled, DISPATCH_PROPERTYPUT, {platform::DispatchArg::boolean(true)},
                                     nullptr);
        });
        std::this_thread::sleep_for(std::chrono::microseconds(pauseUs(random)));
        const int seen = events.count();
        const auto start = Clock::now();
        scanner.scan("LABEL123");
        Clock::time_point at;
        if (!events.waitBeyond(seen, at)) {
            state.SkipWithError("a label never became a DataEvent");
            break;
        }
        const double latency = std::chrono::duration<double, std::micro>(at - start).count();
        state.SetIterationTime(latency / 1e6);
        latencies.push_back(latency);
        wires.push_back(std::chrono::duration<double, std::micro>(scanner.deliveredAt() - start).count());
    }
    container.run([&] {
        LONG closed = 0;
        container.control.callI4(Close, {}, &closed);
        container.control.release();
    });
    if (latencies.empty())
        return;
    state.counters["p50_us"] = vxbench::percentile(latencies, 0.50);
    state.counters["p99_us"] = vxbench::percentile(latencies, 0.99);
    state.counters["wire_p50_us"] = vxbench::percentile(wires, 0.50);
    state.counters["wire_p99_us"] = vxbench::percentile(wires, 0.99);
}
BENCHMARK(BM_SerialScanToContainerDataEvent)->Iterations(200)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace
