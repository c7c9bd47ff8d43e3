// Looking up a symbol among the libraries the process has loaded already
// (the program and everything it linked), without loading anything.
#pragma once

namespace platform {

// The symbol's address, or null when no loaded library defines it.
void* findLoadedSymbol(const char* name);

}  // namespace platform
