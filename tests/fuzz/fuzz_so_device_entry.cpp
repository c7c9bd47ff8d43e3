// The service object's readers of device entries and suite settings, fed
// values of any registry type, size and content (as any program with
// write access to the registry may leave them), and the settings taken from
// what they read (time-outs, the port): nothing may read past a value,
// crash, or take a text of any length.
//
// Input: byte 0 picks the value name, byte 1 the stored type, then the
// stored bytes; the value is written under a device entry and the suite
// key, then read by every reader.
#include "CCommonSO.h"
#include "FuzzSupport.h"
#include "RegistrySettings.h"

#include "platform/registry.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

const char* const kNames[] = {"PORT", "AUTODETECT", "MAXIMUMTIMEOUT", "COMMANDTIMEOUT", "SCANDATAOPTION_01",
                              "DECODE_GS1_LTD", "GOODSCANCOUNT", "NOREADCOUNT", "CLAIMTIMEOUT_0",
                              "DEVICE_POLL_FREQUENCY", "", "MANUFACTURER"};
const DWORD kTypes[] = {REG_SZ, REG_DWORD, REG_BINARY, REG_EXPAND_SZ, REG_MULTI_SZ, 11, REG_NONE, 0x7FFF};

void store(const std::string& path, const char* name, DWORD type, const std::string& bytes)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool ready = [] {
        vxfuzz::usePrivateEnvironment("fuzz_so_device_entry");
        return true;
    }();
    (void)ready;
    vxfuzz::Input in(data, size);
    const char* name = kNames[in.byte() % std::size(kNames)];
    const DWORD type = kTypes[in.byte() % std::size(kTypes)];
    const std::string bytes = in.rest();
    const std::string device = DeviceKeyPath("Scanner", "Fuzzed");
    store(device, name, type, bytes);
    store(kSuiteKey, name, type, bytes);

    std::string text;
    ReadDeviceValue("Scanner", "Fuzzed", name, text);
    std::string suite;
    ReadSuiteValue(name, suite);
    DWORD number = 0;
    ReadDeviceDword(device, name, number);
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, device.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        std::string limited;
        ReadStringValue(key, name, 1 + bytes.size() % 300, limited);
        RegCloseKey(key);
    }
    // What the service object makes of the texts it read.
    CCommonSO common;
    common.SetTimeOuts(text, suite);
    CCommonSO::DescriptorFromPort(text, common.m_descriptor);
    return 0;
}
