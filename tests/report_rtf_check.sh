#!/bin/sh
# report_rtf_check.sh DIALOG.rtf REPORT.rtf: reads the dialog's own save and
# the file that "/report FILE" wrote for the same scenario with unrtf, an RTF
# reader outside this program, and compares their texts, then the files
# themselves, byte for byte: the hidden window's control must write the RTF
# the dialog's writes (its font and colour tables too). Only the
# response-time figures and the footer's time may differ; report_command_test
# wrote both files.
set -eu
dialog=$1
report=$2
command -v unrtf >/dev/null || { echo "unrtf is not installed (scripts/test installs it)"; exit 1; }
for f in "$dialog" "$report"; do
  [ -f "$f" ] || { echo "no file at $f"; exit 1; }
done

a=$(mktemp)
b=$(mktemp)
trap 'rm -f "$a" "$b"' EXIT
footer_time='[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} [+-][0-9]{2}:[0-9]{2}'
# unrtf's own lines start with "###"; it folds runs of blanks.
read_text() {
  unrtf --text "$1" 2>/dev/null | sed -E -e '/^###/d' -e 's/Response time: *[0-9.]* ms/Response time: # ms/' \
    -e "s/$footer_time/#/"
}
read_text "$dialog" >"$a" || { echo "unrtf failed on $dialog"; exit 1; }
read_text "$report" >"$b" || { echo "unrtf failed on $report"; exit 1; }
grep -q 'Check completed successfully!' "$a" || { echo "unrtf found no finished run in $dialog"; cat "$a"; exit 1; }
grep -q 'Response time: # ms' "$a" || { echo "unrtf found no response time in $dialog"; cat "$a"; exit 1; }
if ! diff "$a" "$b"; then
  echo "unrtf read the report (>) otherwise than the dialog's save (<)"
  exit 1
fi
lines=$(wc -l <"$a")
mask_time() {
  sed -E -e 's/Response time:   [0-9.]+ ms/Response time:   # ms/' -e "s/$footer_time/#/" "$1"
}
mask_time "$dialog" >"$a"
mask_time "$report" >"$b"
if ! cmp -s "$a" "$b"; then
  echo "the report's RTF (>) differs from the dialog's save (<) beyond the response time:"
  diff -a "$a" "$b"
  exit 1
fi
echo "unrtf read the same $lines lines in both files, and their RTF is the same"
