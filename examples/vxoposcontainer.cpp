// An OPOS application in miniature: hosts the scanner control on its own
// thread, opens a configured device through it, and prints each DataEvent
// until it has seen as many as asked for.
//
//   vxoposcontainer DEVICE-TTY COUNT
//
// The control and the service object must be registered (vxregsvr); the
// program writes the device entry "MainJobScanner" for the serial port
// whose tty is DEVICE-TTY. Exits 0 after COUNT DataEvents, 1 otherwise.
#include "OposScanner.h"

#include "platform/com.h"
#include "platform/dispatch.h"
#include "platform/ole.h"
#include "platform/registry.h"
#include "platform/serial.h"
#include "platform/time.h"
#include "platform/window.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr char kDevice[] = "MainJobScanner";
// The control's dispatch ids this program uses.
enum : DISPID { DataEventEnabled = 16, DeviceEnabled = 17, ResultCode = 22, ClaimDevice = 32, Close = 35,
                Open = 37, DecodeData = 50, ScanDataLabel = 52, ScanDataType = 53 };

bool WriteText(HKEY key, const char* name, const std::string& text)
{
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

bool WriteEntry(const std::string& comName)
{
    const std::string path = std::string("SOFTWARE\\OLEforRetail\\ServiceOPOS\\Scanner\\") + kDevice;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const bool written = WriteText(key, nullptr, "VX.ScannerSO") && WriteText(key, "PORT", comName) &&
                         WriteText(key, "AUTODETECT", "False");
    RegCloseKey(key);
    return written;
}

// The application's event sink: DataEvent only (id 1).
class Events final : public IDispatch {
public:
    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID__IOPOSScannerEvents) {
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
        if (id == 1)
            ++dataEvents;
        return S_OK;
    }
    std::atomic<int> dataEvents{0};
};

std::string Text(const platform::DispatchDriver& control, DISPID id)
{
    VARIANT value{};
    std::string text;
    if (SUCCEEDED(control.invoke(id, DISPATCH_PROPERTYGET, {}, &value)))
        platform::variantToLatin1(value, &text);
    VariantClear(&value);
    return text;
}

LONG Number(const platform::DispatchDriver& control, DISPID id)
{
    VARIANT value{};
    LONG number = -1;
    if (SUCCEEDED(control.invoke(id, DISPATCH_PROPERTYGET, {}, &value)))
        platform::variantToI4(value, &number);
    VariantClear(&value);
    return number;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: vxoposcontainer DEVICE-TTY COUNT\n");
        return 1;
    }
    const std::string tty = argv[1];
    const int wanted = std::atoi(argv[2]);
    std::string comName;
    for (const auto& port : platform::listSerialPorts())
        if (port.devicePath == tty)
            comName = port.comName;
    if (comName.empty() || !WriteEntry(comName)) {
        std::fprintf(stderr, "vxoposcontainer: no serial port for %s\n", tty.c_str());
        return 1;
    }

    CLSID clsid{};
    IDispatch* created = nullptr;
    if (FAILED(CLSIDFromProgID(u"VXOPOS.Scanner", &clsid)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(&created)))) {
        std::fprintf(stderr, "vxoposcontainer: the scanner control is not registered\n");
        return 1;
    }
    platform::DispatchDriver control(created);
    Events events;
    IConnectionPointContainer* points = nullptr;
    IConnectionPoint* point = nullptr;
    DWORD cookie = 0;
    if (FAILED(created->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&points))) ||
        FAILED(points->FindConnectionPoint(DIID__IOPOSScannerEvents, &point)) ||
        FAILED(point->Advise(&events, &cookie))) {
        std::fprintf(stderr, "vxoposcontainer: no event connection\n");
        return 1;
    }
    points->Release();

    LONG result = -1;
    control.callI4(Open, {platform::DispatchArg::latin1(kDevice)}, &result);
    std::printf("Open: %ld\n", static_cast<long>(result));
    if (result == 0)
        control.callI4(ClaimDevice, {platform::DispatchArg::i4(1000)}, &result);
    std::printf("ClaimDevice: %ld\n", static_cast<long>(result));
    if (result == 0) {
        for (DISPID id : {DeviceEnabled, DecodeData, DataEventEnabled})
            control.invoke(id, DISPATCH_PROPERTYPUT, {platform::DispatchArg::boolean(true)}, nullptr);
        std::printf("enabled: %ld\n", static_cast<long>(Number(control, ResultCode)));
    }
    std::fflush(stdout);

    // The application's message loop: events arrive through it.
    int printed = 0;
    const DWORD start = GetTickCount();
    while (result == 0 && printed < wanted && GetTickCount() - start < 30000) {
        MSG message{};
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        if (events.dataEvents.load() > printed) {
            ++printed;
            std::printf("DataEvent %d: %s (type %ld)\n", printed, Text(control, ScanDataLabel).c_str(),
                        static_cast<long>(Number(control, ScanDataType)));
            std::fflush(stdout);
            control.invoke(DataEventEnabled, DISPATCH_PROPERTYPUT, {platform::DispatchArg::boolean(true)}, nullptr);
        }
        Sleep(5);
    }
    control.callI4(Close, {}, &result);
    point->Unadvise(cookie);
    point->Release();
    control.release();
    std::printf("%d of %d DataEvents\n", printed, wanted);
    return printed == wanted ? 0 : 1;
}
