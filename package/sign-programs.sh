#!/usr/bin/env bash
# sign-programs.sh DIR: signs the programs that DIR/SHA256SUMS lists with
# Authenticode (SHA-256) when a code-signing certificate is given, and then
# writes SHA256SUMS again for the signed files. Without a certificate the
# programs stay as they are, unsigned, and it says so. The certificate:
#   CODESIGN_PFX            its PKCS#12 file (.pfx, .p12), with the key
#   CODESIGN_PASSWORD       the file's password, if it has one
#   CODESIGN_TIMESTAMP_URL  an RFC 3161 time-stamp server (optional): a signature
#                           with its time-stamp stays valid after the certificate
#                           has expired; a server that does not answer fails
set -euo pipefail
dir=$1
mapfile -t programs < <(awk '{print $2}' "$dir/SHA256SUMS")
if [ -z "${CODESIGN_PFX:-}" ]; then
  echo "Not signed: no code-signing certificate given (CODESIGN_PFX)"
  exit 0
fi
# The name Windows shows for a signed program in its elevation and download prompts.
options=(-pkcs12 "$CODESIGN_PFX" -h sha256 -n "USB Installation and Communication Check")
if [ -n "${CODESIGN_TIMESTAMP_URL:-}" ]; then options+=(-ts "$CODESIGN_TIMESTAMP_URL"); fi
# The password goes through a pipe, never on a command line that every user can list.
if [ -n "${CODESIGN_PASSWORD:-}" ]; then options+=(-readpass /dev/fd/3); fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for program in "${programs[@]}"; do
  if ! osslsigncode sign "${options[@]}" -in "$dir/$program" -out "$work/$program" \
    >"$work/log" 2>&1 3< <(printf '%s' "${CODESIGN_PASSWORD:-}"); then
    cat "$work/log" >&2
    echo "Could not sign $program with $CODESIGN_PFX" >&2
    exit 1
  fi
done
(cd "$work" && mv "${programs[@]}" "$dir/")
(cd "$dir" && sha256sum "${programs[@]}") >"$dir/SHA256SUMS"
echo "Signed with $CODESIGN_PFX: ${programs[*]}"
