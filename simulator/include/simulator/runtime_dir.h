// Where the simulated devices publish themselves: the same runtime directory
// the host looks in ($VX_RUNTIME_DIR, else $XDG_RUNTIME_DIR/varnex, else
// /tmp/varnex-<uid>), created with mode 0700.
#pragma once

#include <string>

namespace vxsim {

// The folder, created when missing ("" when it cannot be made).
std::string runtimeDirectory();

}  // namespace vxsim
