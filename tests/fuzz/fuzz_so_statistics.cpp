// The statistics requests an application or a host program hands the
// service object: the names (and for an update the values) of
// ResetStatistics, UpdateStatistics and RetrieveStatistics in texts of any
// length and content, against registry counters and through the exported
// interface's character buffer. Nothing may crash, read or write past a
// buffer, or store a counter from a malformed request.
//
// Input: byte 0 picks the operation, then the request text.
#include "CCommonSO.h"
#include "CScannerWrapper.h"
#include "FuzzSupport.h"
#include "RegistrySettings.h"
#include "SOHost.h"

#include "platform/registry.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static CCommonSO* const common = [] {
        vxfuzz::usePrivateEnvironment("fuzz_so_statistics");
        // The exported interface as a host program's (its service closed);
        // the counters themselves are the registry's.
        CScannerWrapper::ScannerInit(1, "0", "", "1", "0", "", "", "2", "250");
        SetSOHost(nullptr);
        auto* created = new CCommonSO;
        created->m_strDeviceKey = DeviceKeyPath("Scanner", "Counted");
        HKEY key = nullptr;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, created->m_strDeviceKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr);
        RegCloseKey(key);
        created->m_nCapStatisticsReporting = 1;
        created->m_nCapUpdateStatistics = 1;
        return created;
    }();
    vxfuzz::Input in(data, size);
    const std::uint8_t operation = in.byte();
    std::string request = in.rest();
    switch (operation % 5) {
    case 0:
        common->UpdateStatistics(request);
        break;
    case 1:
        common->ResetStatistics(request);
        break;
    case 2:
        common->RetrieveStatistics(request);
        break;
    case 3: {
        // A host's character buffer holding its narrow request, no larger
        // than the request.
        const std::size_t length = std::strlen(request.c_str());
        auto buffer = std::make_unique<char[]>(length + 1);
        std::memcpy(buffer.get(), request.c_str(), length + 1);
        CScannerWrapper::ScannerRetrieveStatistics(reinterpret_cast<OLECHAR**>(buffer.get()));
        break;
    }
    default:
        CScannerWrapper::ScannerUpdateStatistics(request.c_str());
        CScannerWrapper::ScannerResetStatistics(request.c_str());
        break;
    }
    return 0;
}
