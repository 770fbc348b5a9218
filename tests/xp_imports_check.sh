#!/usr/bin/env bash
# xp_imports_check.sh CC OBJDUMP BINARY...: fails, naming each one, on any
# import of the binaries that Windows XP SP3 (32-bit) does not have; its loader
# would refuse the program before it starts. IMPORTS_WINNT and IMPORTS_SYSTEM
# name another oldest system: 0x0601 and "64-bit Windows 7" for the 64-bit
# program, with CC the 64-bit compiler.
#
# Every imported function is referred to in a C file compiled against the
# toolchain's headers set to that version (_WIN32_WINNT 0x0501 for XP), which
# declare only what it has; a name they do not declare is an offender. The
# headers' few errors either way are corrected by the two lists below.
set -euo pipefail
cc=$1
objdump=$2
shift 2
winnt=${IMPORTS_WINNT:-0x0501}
system=${IMPORTS_SYSTEM:-Windows XP SP3}
case $winnt in
  0x0501) ie=0x0600 ;;
  0x0601) ie=0x0800 ;;
  *) echo "xp_imports_check.sh: no Internet Explorer version known for $winnt" >&2; exit 2 ;;
esac

# Added by XP's service packs, which the headers show only for later versions.
added_by_service_packs=(
  SetDllDirectoryA SetDllDirectoryW # XP SP1
)
# Declared whatever the version, but the oldest system lacks them: the DLL
# directory functions came with Windows 8 (to Windows 7 only with an update),
# the precise system time, which newer MinGW runtimes import, with Windows 8;
# only 64-bit XP and Server 2003 SP1 and later have the redirection switches.
missing_despite_headers=(
  AddDllDirectory RemoveDllDirectory SetDefaultDllDirectories GetSystemTimePreciseAsFileTime
)
if [ "$winnt" = 0x0501 ]; then
  missing_despite_headers+=(Wow64DisableWow64FsRedirection Wow64RevertWow64FsRedirection)
fi
# The C runtime's start-up and data entries, which no public header declares;
# msvcrt.dll has exported them since long before XP.
runtime_entries=(
  __getmainargs __initenv __mb_cur_max __p__acmdln __p__commode __p__fmode
  __set_app_type __setusermatherr _amsg_exit _initterm _iob __dllonexit _onexit
  _lock _unlock _commode
)
known_dlls='^(KERNEL32|USER32|GDI32|ADVAPI32|COMDLG32|COMCTL32|SHELL32|msvcrt)\.dll$'

in_list() {
  local name=$1 item
  shift
  for item in "$@"; do [ "$item" = "$name" ] && return 0; done
  return 1
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
offenders=()

for binary in "$@"; do
  # "DLL name|function" for each import.
  "$objdump" -p "$binary" | awk '
    /^The Import Tables/ { inside = 1; next }
    /^The .* Tables|^PE File Base Relocations/ { inside = 0 }
    !inside { next }
    /DLL Name:/ { dll = $3; next }
    dll != "" && /^\t[0-9a-f]+\t +[0-9]+  [A-Za-z_]/ { print dll "|" $3 }
  ' > "$work/imports"
  if [ ! -s "$work/imports" ]; then
    echo "$binary: no imports read" >&2
    exit 2
  fi

  {
    echo "#define WINVER $winnt"
    echo "#define _WIN32_WINNT $winnt"
    echo "#define _WIN32_IE $ie"
    for header in windows.h commdlg.h commctrl.h shellapi.h shlobj.h stdio.h stdlib.h string.h wchar.h signal.h \
      locale.h setjmp.h process.h errno.h time.h io.h direct.h sys/stat.h malloc.h math.h ctype.h; do
      echo "#include <$header>"
    done
  } > "$work/refs.c"
  n=0
  while IFS='|' read -r dll name; do
    dll_upper=$(echo "$dll" | tr '[:lower:]' '[:upper:]')
    if ! echo "$dll_upper" | grep -qiE "$known_dlls"; then
      offenders+=("$(basename "$binary"): $dll!$name (not a system library)")
      continue
    fi
    if in_list "$name" "${missing_despite_headers[@]}"; then
      offenders+=("$(basename "$binary"): $dll!$name")
      continue
    fi
    if in_list "$name" "${added_by_service_packs[@]}" "${runtime_entries[@]}"; then
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
      echo "$(basename "$binary"): the references did not compile:" >&2
      cat "$work/errors" >&2
      exit 2
    fi
    for name in $undeclared; do
      dll=$(grep -m1 "|$name\$" "$work/imports" | cut -d'|' -f1)
      offenders+=("$(basename "$binary"): $dll!$name")
    done
  fi
  echo "$(basename "$binary"): $(wc -l < "$work/imports") imports read"
done

if [ ${#offenders[@]} -ne 0 ]; then
  echo "Imports that $system lacks:"
  printf '  %s\n' "${offenders[@]}" | sort
  exit 1
fi
echo "Every import is in $system."
