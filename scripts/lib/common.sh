# Shared by scripts/run, scripts/test and scripts/bench: installs what this
# machine lacks (idempotent), configures and builds.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build}

export WINEDEBUG=-all
export WINEARCH=win32
export WINEDLLOVERRIDES="mscoree,mshtml="

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

ensure_packages() {
  local wanted=(cmake make wine wine32:i386 wine64 g++-mingw-w64-i686 g++-mingw-w64-x86-64 googletest xvfb xauth x11-apps imagemagick unrtf)
  local missing=()
  for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
  fi
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

configure_and_build() {
  local toolchain="$ROOT/cmake/mingw-i686.cmake" fresh=()
  # CMake keeps the compilers it found first: a changed toolchain file needs
  # a configuration from scratch.
  if [ "$toolchain" -nt "$BUILD_DIR/CMakeCache.txt" ]; then fresh=(--fresh); fi
  cmake "${fresh[@]}" -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$BUILD_DIR" -j"$(nproc)" "$@"
}
