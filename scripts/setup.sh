# Sourced by ./run, ./test and .ci/run: installs the Debian packages the build
# needs when they are missing, then offers vx_build DIR [cmake options...].
set -euo pipefail

VX_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VX_JOBS=${VX_JOBS:-$(nproc 2>/dev/null || echo 2)}

VX_PACKAGES=(
  g++ cmake make pkg-config ccache
  libgtest-dev libgmock-dev libbenchmark-dev
  libsqlite3-dev libudev-dev libjpeg-dev
  clang libclang-rt-14-dev
  qt6-base-dev qt6-image-formats-plugins qt6-translations-l10n
  openjdk-17-jdk-headless
)

vx_install_missing() {
  local missing=()
  local pkg
  for pkg in "${VX_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  if ((${#missing[@]})); then
    echo "Installing missing packages: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

# Optimised, with line tables only: enough for sanitizer reports and stack
# traces, and a third less compile time than full debug information.
VX_CMAKE_FLAGS=(
  -DCMAKE_BUILD_TYPE=RelWithDebInfo
  "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
)

# vx_build DIR [extra cmake arguments]
vx_build() {
  local dir=$1; shift
  cmake -S "$VX_ROOT" -B "$dir" "${VX_CMAKE_FLAGS[@]}" "$@" >/dev/null
  cmake --build "$dir" -j "$VX_JOBS"
}
