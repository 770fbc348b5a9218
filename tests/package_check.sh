#!/usr/bin/env bash
# package_check.sh BUILD_DIR VERSION PACKAGE_TEST [DIST]: makes the package as
# scripts/package ships it (cpack, into DIST or BUILD_DIR/dist) and checks what
# a user unpacks, then again signed with a throwaway certificate (calling
# itself without PACKAGE_TEST); fails naming each fault:
# - the zip's name carries VERSION and it holds exactly both programs,
#   README.txt and SHA256SUMS; the debug zip beside it holds the debug file of
#   each, which the program's debug link names, with the file's CRC;
# - each program is under 500 KB, has no debug sections and matches its line
#   in SHA256SUMS; with CODESIGN_PFX its SHA-256 signature from it is intact,
#   without it is unsigned and cpack says so; a silent time-stamp server fails;
# - README.txt ends each line with CR LF;
# - PACKAGE_TEST (tests/package_test.cpp) finds VERSION in each program's
#   version block and manifest and runs the programs' /report: in the XP
#   prefix the 32-bit one, in the Windows 10 prefix both.
set -euo pipefail
build=$1
version=$2
package_test=$3
root=$(cd "$(dirname "$0")/.." && pwd)
objdump=(i686-w64-mingw32-objdump x86_64-w64-mingw32-objdump)
programs=(UsbInstallationTest.exe UsbInstallationTest64.exe)
max_size=$((500 * 1024))

faults=()
fault() { faults+=("$*"); }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dist=${4:-$build/dist}
rm -rf "$dist"
if ! (cd "$build" && cpack --config CPackConfig.cmake -B "$dist") >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  echo "cpack failed" >&2
  exit 1
fi
zip=$dist/UsbInstallationTest-$version.zip
debug_zip=$dist/UsbInstallationTest-$version-debug.zip
unpack() { # unpack ZIP DIR EXPECTED...: the files of ZIP, which must be EXPECTED
  local zip=$1 dir=$2 listed
  shift 2
  mkdir -p "$dir"
  if [ ! -f "$zip" ]; then
    fault "no ${zip##*/}, only: $(ls "$dist" | tr '\n' ' ')"
    return 0
  fi
  (cd "$dir" && cmake -E tar xf "$zip")
  listed=$(cd "$dir" && find . -type f -printf '%P\n' | sort | tr '\n' ' ')
  [ "$listed" = "$* " ] || fault "${zip##*/} holds: $listed; expected: $* "
}
unpack "$zip" "$work/unpacked" README.txt SHA256SUMS "${programs[@]}"
unpack "$debug_zip" "$work/debug" "${programs[@]/%/.debug}"
[ ${#faults[@]} -eq 0 ] || { printf '%s\n' "${faults[@]}" >&2; exit 1; }
cd "$work/unpacked"
if [ -z "${CODESIGN_PFX:-}" ]; then
  grep -qx 'Not signed: no code-signing certificate given (CODESIGN_PFX)' "$work/cpack.log" ||
    fault "packaged without a certificate, but cpack does not say that the programs are not signed"
else # Trusted for the check: the file's certificates, and the system's roots for one a CA issued.
  { CODESIGN_PASSWORD=${CODESIGN_PASSWORD:-} openssl pkcs12 -in "$CODESIGN_PFX" -nokeys -passin env:CODESIGN_PASSWORD
    cat /etc/ssl/certs/ca-certificates.crt 2>/dev/null || true; } >"$work/trusted.pem"
fi

# The zlib CRC-32 of a file, as a debug link holds it: gzip ends with it.
crc32() { gzip -c <"$1" | tail -c 8 | head -c 4 | od -An -tx4 | tr -d ' \n'; }
for i in 0 1; do
  program=${programs[$i]}
  size=$(stat -c %s "$program")
  [ "$size" -lt "$max_size" ] || fault "$program: $size bytes, not under $max_size"
  headers=$("${objdump[$i]}" -h "$program" 2>&1) || fault "$program: $headers"
  debug_sections=$(awk '$2 ~ /^\.z?debug/ {print $2}' <<<"$headers" | tr '\n' ' ')
  [ -z "$debug_sections" ] || fault "$program: debug sections $debug_sections"
  # The link: the file's name, zeros to a multiple of 4, its CRC (little-endian).
  if "${objdump[$i]/objdump/objcopy}" --dump-section .gnu_debuglink="$work/link" "$program" "$work/copy" 2>/dev/null; then
    link_name=$(head -c -4 "$work/link" | tr -d '\0')
    link_crc=$(tail -c 4 "$work/link" | od -An -tx4 | tr -d ' \n')
    if [ "$link_name" != "$program.debug" ]; then
      fault "$program: the debug link names '$link_name', not $program.debug"
    elif [ "$link_crc" != "$(crc32 "$work/debug/$program.debug")" ]; then
      fault "$program: the debug link's CRC $link_crc is not that of $program.debug in the debug zip"
    fi
  else
    fault "$program: no debug link"
  fi
  listed=$(awk -v p="$program" '$2 == p || $2 == "*" p {print $1}' SHA256SUMS)
  actual=$(sha256sum "$program" | cut -d' ' -f1)
  [ "$listed" = "$actual" ] || fault "$program: SHA-256 $actual, SHA256SUMS says '$listed'"
  verified=$(osslsigncode verify ${CODESIGN_PFX:+-CAfile "$work/trusted.pem"} -in "$program" 2>&1) && signed=1 || signed=0
  if [ -z "${CODESIGN_PFX:-}" ]; then
    grep -q 'No signature found' <<<"$verified" || fault "$program: signed without a certificate:"$'\n'"$verified"
  elif [ $signed = 0 ] || ! grep -q 'Message digest algorithm *: SHA256' <<<"$verified"; then
    fault "$program: no intact SHA-256 signature with a chain to $CODESIGN_PFX:"$'\n'"$verified"
  fi
done

lines=$(wc -l <README.txt)
crlf_lines=$(grep -c $'\r$' README.txt || true)
if [ "$lines" -eq 0 ] || [ "$crlf_lines" -ne "$lines" ] || [ -n "$(tail -c 1 README.txt)" ]; then
  fault "README.txt: $((lines - crlf_lines)) of $lines lines end without CR LF, or its last line has no line end"
fi

# The programs themselves, in a prefix of each kind.
run_package_test() { # run_package_test PREFIX ARCH WINE FILTER
  local log=$work/package_test-${1##*/}.log
  if ! PACKAGE_DIR=$work/unpacked PACKAGE_VERSION=$version WINEPREFIX=$1 WINEARCH=$2 WINEDEBUG=-all \
    WINEDLLOVERRIDES="mscoree,mshtml=" "$3" "$package_test" --gtest_brief=1 --gtest_filter="$4" >"$log" 2>&1; then
    fault "package_test in ${1##*/}:"$'\n'"$(cat "$log")"
  else
    echo "package_test in ${1##*/}: $(grep '^\[  PASSED  \]' "$log")"
  fi
}
[ -z "$package_test" ] || run_package_test "$build/wineprefix" win32 wine '*'
[ -z "$package_test" ] || run_package_test "$build/wineprefix-win10" win64 "$root/scripts/lib/wine64" 'Package.ProgramsRun*'

if [ -z "${CODESIGN_THROWAWAY:-}" ]; then # Signed with a certificate whose chain no system trusts.
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
    -subj "/CN=Throwaway signer" -addext extendedKeyUsage=codeSigning >/dev/null 2>&1
  openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/signer.pfx" -passout pass:throwaway
  again() { CODESIGN_THROWAWAY=1 CODESIGN_PFX=$work/signer.pfx CODESIGN_PASSWORD=throwaway "$0" "$build" "$version" "" "$@" 2>&1; }
  output=$(CODESIGN_TIMESTAMP_URL='' again "$work/signed") || fault "signed with a throwaway certificate:"$'\n'"$output"
  grep -q "^Could not sign" <<<"$(CODESIGN_TIMESTAMP_URL=http://127.0.0.1:9/ again "$work/unstamped")" ||
    fault "packaged although the time-stamp server http://127.0.0.1:9/ did not answer"
fi

if [ ${#faults[@]} -gt 0 ]; then
  printf '%s\n' "${faults[@]}" >&2
  exit 1
fi
echo "UsbInstallationTest-$version.zip: $(stat -c %s "$zip") bytes; programs: $(stat -c '%n %s' "${programs[@]}" | tr '\n' ' ')"
