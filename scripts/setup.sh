# Sourced by ./run, ./test and .ci/run: installs the Debian packages the build
# needs when they are missing, then offers vx_build DIR [cmake options...].
set -euo pipefail

VX_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VX_JOBS=${VX_JOBS:-$(nproc 2>/dev/null || echo 2)}
# Most tests wait on a simulated scanner's wire (9600 baud, the pauses the
# protocol prescribes) rather than compute, so the suites run twice as many
# tests at once as there are cores; they are written to stay green on a
# machine that busy.
VX_TEST_JOBS=${VX_TEST_JOBS:-$((VX_JOBS * 2))}

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

# The sanitizer and fuzz builds compile at -O1: half the compile time of -O2
# under AddressSanitizer, and the level the sanitizers are made for.
VX_SANITIZER_CMAKE_FLAGS=(
  "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG"
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG"
  -DVX_BENCH=OFF -DVX_EXAMPLES=OFF
)

# vx_configure DIR [extra cmake arguments]
vx_configure() {
  local dir=$1; shift
  cmake -S "$VX_ROOT" -B "$dir" "${VX_CMAKE_FLAGS[@]}" "$@" >/dev/null
}

# vx_build DIR [extra cmake arguments]
vx_build() {
  vx_configure "$@"
  cmake --build "$1" -j "$VX_JOBS"
}

# vx_build_fuzzers DIR: the libFuzzer targets alone, built with clang.
vx_build_fuzzers() {
  CC=clang CXX=clang++ vx_configure "$1" -DVX_FUZZ=ON "${VX_SANITIZER_CMAKE_FLAGS[@]}"
  cmake --build "$1" -j "$VX_JOBS" --target vx_fuzzers
}

# vx_phase NAME COMMAND...: runs COMMAND, prints its wall time, and adds a
# line to $VX_PHASE_LOG (when set) for the summary that .ci/run prints.
vx_phase() {
  local name=$1; shift
  local start=$SECONDS rc=0
  echo "== $name"
  "$@" || rc=$?
  local took=$((SECONDS - start))
  local line
  line=$(printf '%-28s %5d s  (%d min %02d s)%s' "$name" "$took" $((took / 60)) $((took % 60)) \
    "$([ "$rc" -eq 0 ] || echo "  FAILED ($rc)")")
  echo "== $line"
  [ -z "${VX_PHASE_LOG:-}" ] || echo "$line" >>"$VX_PHASE_LOG"
  return "$rc"
}
