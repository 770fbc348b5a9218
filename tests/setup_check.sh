#!/usr/bin/env bash
# setup_check.sh: runs ensure_packages (scripts/lib/common.sh) as a user who
# is not root, with apt-get, dpkg, dpkg-query, id and sudo replaced on PATH by
# stand-ins that record each apt-get call and answer as each row says: a
# mirror mid-sync fails the update, the plain install or the install from the
# release's own suite. Nothing is installed and nothing is fetched. Fails
# naming each row whose exit code, apt-get calls or message differ.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
stand_in() { printf '#!/bin/sh\n%s\n' "$2" >"$work/bin/$1" && chmod +x "$work/bin/$1"; }
stand_in id 'echo 1000'
stand_in sudo 'VIA_SUDO=1 exec "$@"'
stand_in dpkg '[ "$1" = --print-foreign-architectures ] && echo i386'
# Of the packages asked for, those in $MISSING are not installed.
stand_in dpkg-query 'for p; do :; done
case " $MISSING " in *" $p "*) echo "unknown ok not-installed"; exit 1 ;; esac
echo "install ok installed"'
stand_in apt-get 'echo "${VIA_SUDO:+sudo }apt-get $*" >>"$CALLS"
case "$*" in update*) exit "$UPDATE_RC" ;; *" -t "*) exit "$SUITE_RC" ;; *) exit "$INSTALL_RC" ;; esac'
printf 'ID=debian\nVERSION_CODENAME=testrel\n' >"$work/os-release"

missing="wine32:i386 fonts-wine"
update="sudo apt-get update -qq"
install="sudo apt-get install -y -qq --no-install-recommends"
# missing | update's, install's and the suite's install's exit codes |
# expected exit code | expected calls, ';' apart | a line expected on stderr
rows=(
  "|0 0 0|0||"
  "$missing|100 0 0|0|$update;$install $missing|apt-get update failed (above); installing with the package lists there are"
  "$missing|100 100 0|0|$update;$install $missing;$install -t testrel $missing|Installing again, preferring the suite testrel"
  "$missing|100 100 100|1|$update;$install $missing;$install -t testrel $missing|Could not install: $missing"
)
failed=0
for row in "${rows[@]}"; do
  IFS='|' read -r MISSING codes want_rc want_calls want_line <<<"$row"
  read -r UPDATE_RC INSTALL_RC SUITE_RC <<<"$codes"
  export MISSING UPDATE_RC INSTALL_RC SUITE_RC CALLS=$work/calls
  : >"$CALLS"
  rc=0
  # A shell of its own, so that set -e holds there as it does in scripts/test.
  PATH=$work/bin:$PATH OS_RELEASE=$work/os-release bash -c 'source "$1"; ensure_packages' _ \
    "$root/scripts/lib/common.sh" >"$work/out" 2>"$work/err" || rc=$?
  calls=$(paste -sd';' "$CALLS")
  faults=()
  [ "$rc" = "$want_rc" ] || faults+=("exit code $rc, expected $want_rc")
  [ "$calls" = "$want_calls" ] || faults+=("apt-get calls: '$calls'"$'\n'"    expected: '$want_calls'")
  [ -z "$want_line" ] || grep -qxF "$want_line" "$work/err" || faults+=("no line '$want_line' on stderr")
  if [ ${#faults[@]} -gt 0 ]; then
    failed=1
    echo "missing '$MISSING', apt-get exit codes $codes:"
    printf '  %s\n' "${faults[@]}"
    sed 's/^/  stderr: /' "$work/err"
  fi
done
[ $failed -eq 0 ] && echo "ensure_packages: ${#rows[@]} rows as expected"
exit $failed
