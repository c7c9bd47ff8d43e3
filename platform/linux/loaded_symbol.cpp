#include "platform/loaded_symbol.h"

#include <dlfcn.h>

namespace platform {

void* findLoadedSymbol(const char* name)
{
    return name == nullptr ? nullptr : ::dlsym(RTLD_DEFAULT, name);
}

}  // namespace platform
