# Shared by scripts/run, scripts/test and scripts/bench: installs what this
# machine lacks (idempotent), configures and builds.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build}

# The release whose own suite a failed install is tried again from.
OS_RELEASE=${OS_RELEASE:-/etc/os-release}

export WINEDEBUG=-all
export WINEARCH=win32
export WINEDLLOVERRIDES="mscoree,mshtml="

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

ensure_packages() {
  local wanted=(cmake make wine wine32:i386 wine64 g++-mingw-w64-i686 g++-mingw-w64-x86-64 googletest xvfb xauth x11-apps imagemagick unrtf fonts-wine
    osslsigncode openssl)
  local missing=()
  for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
  fi
  # A mirror caught mid-sync fails one index ("File has unexpected size ...
  # Mirror sync in progress?"): that is said, and the install is tried anyway.
  if ! as_root apt-get update -qq; then
    echo "apt-get update failed (above); installing with the package lists there are" >&2
  fi
  install_packages "${missing[@]}" && return 0
  # Without that index, i386 packages may no longer match the amd64 versions
  # from another suite: the release's own suite resolves them.
  local codename=""
  if [ -r "$OS_RELEASE" ]; then codename=$(. "$OS_RELEASE" && echo "${VERSION_CODENAME:-}"); fi
  if [ -n "$codename" ]; then
    echo "Installing again, preferring the suite $codename" >&2
    install_packages -t "$codename" "${missing[@]}" && return 0
  fi
  echo "Could not install: ${missing[*]}" >&2
  return 1
}

# apt-get install with the options given; fonts-wine draws the title bars'
# buttons, which Wine only recommends.
install_packages() {
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" >/dev/null
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

# A hash of what a run of the suite tests: the build's programs, libraries and
# test executables, the staged package, the tests' definitions, and the
# scripts they run from the sources. The same stamp, the same suite.
build_stamp() {
  {
    (cd "$BUILD_DIR" && find . \( -name 'wineprefix*' -o -name 'demo-prefix*' -o -name _CPack_Packages \
      -o -path ./dist -o -path ./Testing \) -prune -o -type f \( -name '*.exe' -o -name '*.dll' -o -path '*/stage/*' \
      -o -name CTestTestfile.cmake -o -name CPackConfig.cmake \) -print0 | sort -z | xargs -0 sha256sum)
    (cd "$ROOT" && find tests package scripts -type f ! -name '*.cpp' ! -name '*.h' -print0 | sort -z | xargs -0 sha256sum)
  } | sha256sum | cut -d' ' -f1
}
