#!/usr/bin/env bash
# xp_imports_check.sh CC OBJDUMP BINARY...: fails, naming each one, on what
# keeps the binaries from running as they should on Windows XP SP3 (32-bit),
# or with IMPORTS_WINNT=0x0601 on 64-bit Windows 7 (the 64-bit program, with
# CC the 64-bit compiler), or on a terminal server:
# - an import that XP SP3 does not have: its loader would refuse the program;
# - a subsystem version above 5.1 (6.1), which the loader refuses as well;
# - a program (not a library) without the Terminal Server aware flag: on a
#   Remote Desktop server it would get a Windows directory of its user's own.
#
# An import from msvcrt.dll must be on xp-sp3-msvcrt-exports.txt beside this
# script (its head says where the list comes from), for Windows 7 too, whose
# msvcrt.dll is a later version. Every other imported function is referred to
# in a C file compiled against the toolchain's headers set to the system
# (_WIN32_WINNT 0x0501 for XP), which declare only what that version has; a
# name they do not declare is an offender. The headers' few errors either way
# are corrected by the two lists below.
set -euo pipefail
cc=$1
objdump=$2
shift 2
winnt=${IMPORTS_WINNT:-0x0501}

# Added by XP's service packs, which the headers show only for later versions.
added_by_service_packs=(
  SetDllDirectoryA SetDllDirectoryW # XP SP1
)
# Declared whatever the version, but 32-bit XP SP3 lacks them (some came with
# 64-bit XP and Server 2003 SP1, the rest with Vista and later); Windows 7
# lacks those of Windows 8 (the DLL directory functions it has only with an
# update), among them the precise system time, which newer MinGW runtimes
# import.
since_windows_8=(GetSystemTimePreciseAsFileTime SetDefaultDllDirectories AddDllDirectory RemoveDllDirectory)
case $winnt in
  0x0501)
    system="Windows XP SP3" subsystem="XP's 5.1" ie=0x0600
    missing_despite_headers=(
      Wow64DisableWow64FsRedirection Wow64RevertWow64FsRedirection Wow64EnableWow64FsRedirection
      GetThreadId SetThreadErrorMode RegGetValueA RegDeleteKeyExA CreateRemoteThreadEx "${since_windows_8[@]}"
    ) ;;
  0x0601)
    system="64-bit Windows 7" subsystem="Windows 7's 6.1" ie=0x0800
    missing_despite_headers=("${since_windows_8[@]}") ;;
  *) echo "xp_imports_check.sh: unknown system $winnt" >&2; exit 2 ;;
esac
known_dlls='^(KERNEL32|USER32|GDI32|ADVAPI32|COMDLG32|COMCTL32|SHELL32|MSVCRT)\.DLL$'

declare -A msvcrt_exports
while read -r name; do
  [ -n "$name" ] && [ "${name:0:1}" != '#' ] && msvcrt_exports["$name"]=1
done < "$(dirname "$0")/xp-sp3-msvcrt-exports.txt"

in_list() {
  local name=$1 item
  shift
  for item in "$@"; do [ "$item" = "$name" ] && return 0; done
  return 1
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
offenders=()
header_faults=()

for binary in "$@"; do
  base=$(basename "$binary")
  "$objdump" -p "$binary" > "$work/dump"
  # "DLL name|function" for each import.
  awk '
    /^The Import Tables/ { inside = 1; next }
    /^The .* Tables|^PE File Base Relocations/ { inside = 0 }
    !inside { next }
    /DLL Name:/ { dll = $3; next }
    dll != "" && /^\t[0-9a-f]+\t +[0-9]+  [A-Za-z_]/ { print dll "|" $3 }
  ' "$work/dump" > "$work/imports"
  read -r characteristics major minor dll_characteristics < <(awk '
    /^Characteristics / { c = $2 }
    /^MajorSubsystemVersion/ { major = $2 }
    /^MinorSubsystemVersion/ { minor = $2 }
    /^DllCharacteristics/ { d = $2 }
    END { print c, major, minor, d }
  ' "$work/dump")
  if [ ! -s "$work/imports" ] || [ -z "$dll_characteristics" ]; then
    echo "$binary: no imports or header read" >&2
    exit 2
  fi

  if [ $((major * 100 + minor)) -gt $(((winnt >> 8) * 100 + (winnt & 0xFF))) ]; then
    header_faults+=("$base: subsystem version $major.$minor, above $subsystem")
  fi
  tsaware=
  if [ $((characteristics & 0x2000)) -eq 0 ]; then # not a DLL
    if [ $((16#$dll_characteristics & 0x8000)) -ne 0 ]; then
      tsaware=", Terminal Server aware"
    else
      header_faults+=("$base: not Terminal Server aware")
    fi
  fi

  {
    echo "#define WINVER $winnt"
    echo "#define _WIN32_WINNT $winnt"
    echo "#define _WIN32_IE $ie"
    for header in windows.h commdlg.h commctrl.h shellapi.h shlobj.h; do
      echo "#include <$header>"
    done
  } > "$work/refs.c"
  n=0
  while IFS='|' read -r dll name; do
    dll_upper=$(echo "$dll" | tr '[:lower:]' '[:upper:]')
    if ! echo "$dll_upper" | grep -qE "$known_dlls"; then
      offenders+=("$base: $dll!$name (not a system library)")
      continue
    fi
    if [ "$dll_upper" = MSVCRT.DLL ]; then
      [ -n "${msvcrt_exports[$name]:-}" ] || offenders+=("$base: $dll!$name")
      continue
    fi
    if in_list "$name" "${missing_despite_headers[@]}"; then
      offenders+=("$base: $dll!$name")
      continue
    fi
    if in_list "$name" "${added_by_service_packs[@]}"; then
      continue
    fi
    n=$((n + 1))
    # A name the headers know as a macro counts as declared.
    printf '#ifndef %s\nvoid *ref%d = (void *)&%s; /* %s */\n#endif\n' "$name" "$n" "$name" "$dll" >> "$work/refs.c"
  done < "$work/imports"

  if ! LC_ALL=C "$cc" -c -fmax-errors=0 -o "$work/refs.o" "$work/refs.c" 2> "$work/errors"; then
    undeclared=$(grep -oE "'[A-Za-z0-9_]+' undeclared" "$work/errors" | cut -d"'" -f2 | sort -u || true)
    other=$(grep -E 'error:' "$work/errors" | grep -v "undeclared" || true)
    if [ -n "$other" ] || [ -z "$undeclared" ]; then
      echo "$base: the references did not compile:" >&2
      cat "$work/errors" >&2
      exit 2
    fi
    for name in $undeclared; do
      dll=$(grep -m1 "|$name\$" "$work/imports" | cut -d'|' -f1)
      offenders+=("$base: $dll!$name")
    done
  fi
  echo "$base: $(wc -l < "$work/imports") imports read, subsystem version $major.$minor$tsaware"
done

if [ ${#offenders[@]} -ne 0 ]; then
  echo "Imports that $system lacks:"
  printf '  %s\n' "${offenders[@]}" | LC_ALL=C sort
fi
if [ ${#header_faults[@]} -ne 0 ]; then
  echo "Header faults:"
  printf '  %s\n' "${header_faults[@]}" | LC_ALL=C sort
fi
if [ ${#offenders[@]} -ne 0 ] || [ ${#header_faults[@]} -ne 0 ]; then
  exit 1
fi
echo "Every import is in $system, and every header suits it."
