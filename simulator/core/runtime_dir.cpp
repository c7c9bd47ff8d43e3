// The runtime directory, as the host's platform layer finds it.
#include "simulator/runtime_dir.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace vxsim {

std::string runtimeDirectory()
{
    std::string dir;
    if (const char* v = std::getenv("VX_RUNTIME_DIR"); v != nullptr && *v != '\0')
        dir = v;
    else if (const char* x = std::getenv("XDG_RUNTIME_DIR"); x != nullptr && *x != '\0')
        dir = std::string(x) + "/varnex";
    else
        dir = "/tmp/varnex-" + std::to_string(::getuid());
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    for (std::size_t slash = dir.find('/', 1);; slash = dir.find('/', slash + 1)) {
        const std::string prefix = dir.substr(0, slash);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
            return "";
        if (slash == std::string::npos)
            break;
    }
    return dir;
}

}  // namespace vxsim
