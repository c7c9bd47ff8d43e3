// vxregsvr: registers an in-process server, or with /u unregisters it, by
// calling its DllRegisterServer or DllUnregisterServer.
//   vxregsvr [/u] LIBRARY
// Exit status 0 on success, 1 on bad usage, 2 when the library cannot be
// loaded or lacks the export, 3 when the export answers a failed HRESULT.
#include "platform/com.h"
#include "platform/error.h"
#include "platform/module.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    bool unregister = false;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "/u") == 0 || std::strcmp(argv[i], "-u") == 0)
            unregister = true;
        else
            paths.emplace_back(argv[i]);
    }
    if (paths.size() != 1) {
        std::fprintf(stderr, "usage: vxregsvr [/u] LIBRARY\n");
        return 1;
    }
    // A bare file name would be looked for on the library path, not here.
    std::error_code ignored;
    const std::string absolute = std::filesystem::absolute(paths.front(), ignored).string();
    const char* path = absolute.c_str();
    HMODULE module = LoadLibraryA(path);
    if (module == nullptr) {
        std::fprintf(stderr, "vxregsvr: cannot load %s (error %u)\n", path, static_cast<unsigned>(GetLastError()));
        return 2;
    }
    const char* exportName = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    const auto entry = reinterpret_cast<DllRegisterServerFunction>(GetProcAddress(module, exportName));
    if (entry == nullptr) {
        std::fprintf(stderr, "vxregsvr: %s has no %s\n", path, exportName);
        return 2;
    }
    const HRESULT result = entry();
    if (FAILED(result)) {
        std::fprintf(stderr, "vxregsvr: %s of %s failed: 0x%08X\n", exportName, path, static_cast<unsigned>(result));
        return 3;
    }
    std::printf("vxregsvr: %s of %s succeeded\n", exportName, path);
    return 0;
}
