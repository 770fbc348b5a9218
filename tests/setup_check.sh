#!/usr/bin/env bash
# setup_check.sh: ensure_packages (scripts/lib/common.sh) with apt-get, dpkg and dpkg-query
# replaced on PATH by stand-ins that end as each row says; names each row that differs.
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
stand_in() { printf '#!/bin/sh\n%s\n' "$2" >"$work/bin/$1" && chmod +x "$work/bin/$1"; }
stand_in id 'echo 0' # root, so that no sudo asks for a password
stand_in dpkg '[ "$1" = --print-foreign-architectures ] && echo i386'
stand_in dpkg-query 'for p; do :; done; case " $MISSING " in *" $p "*) exit 1 ;; esac; echo "install ok installed"'
stand_in apt-get 'echo "apt-get $*" >>"$CALLS"
case "$*" in update*) exit "$UPDATE_RC" ;; *" -t "*) exit "$SUITE_RC" ;; *) exit "$INSTALL_RC" ;; esac'
printf 'VERSION_CODENAME=testrel\n' >"$work/os-release"

missing="wine32:i386 fonts-wine"
update="apt-get update -qq" install="apt-get install -y -qq --no-install-recommends"
# missing | exit codes of update, install, install -t | exit code | apt-get calls | a line on stderr
rows=(
  "|0|0|0|0||"
  "$missing|100|0|0|0|$update;$install $missing|apt-get update failed (above); installing with the package lists there are"
  "$missing|100|100|0|0|$update;$install $missing;$install -t testrel $missing|Installing again, preferring the suite testrel"
  "$missing|100|100|100|1|$update;$install $missing;$install -t testrel $missing|Could not install: $missing"
)
failed=0
for row in "${rows[@]}"; do
  IFS='|' read -r MISSING UPDATE_RC INSTALL_RC SUITE_RC want_rc want_calls want_line <<<"$row"
  export MISSING UPDATE_RC INSTALL_RC SUITE_RC CALLS=$work/calls
  : >"$CALLS"
  rc=0 # In a shell of its own, so that set -e holds as in scripts/test.
  PATH=$work/bin:$PATH OS_RELEASE=$work/os-release bash -c 'source "$1"; ensure_packages' _ \
    "$(dirname "$0")/../scripts/lib/common.sh" >/dev/null 2>"$work/err" || rc=$?
  calls=$(paste -sd';' "$CALLS")
  if [ "$rc" != "$want_rc" ] || [ "$calls" != "$want_calls" ] || { [ -n "$want_line" ] && ! grep -qxF "$want_line" "$work/err"; }; then
    failed=1
    printf "missing '%s', update/install/install -t ending %s: exit code %s, expected %s\n  calls:    %s\n  expected: %s\n  expected on stderr: '%s'\n" \
      "$MISSING" "$UPDATE_RC/$INSTALL_RC/$SUITE_RC" "$rc" "$want_rc" "$calls" "$want_calls" "$want_line" && sed 's/^/  stderr: /' "$work/err"
  fi
done
[ $failed -eq 1 ] || echo "ensure_packages: ${#rows[@]} rows as expected"
exit $failed
