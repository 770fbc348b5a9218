#!/bin/sh
# save_rtf_check.sh REPORT.rtf EXPECTED: reads a saved report with unrtf, an
# RTF reader outside this program, and compares every line it finds with
# EXPECTED (colour, 1 for bold, text; separated by tabs; colour "-" for an
# empty line), as save_rtf_test wrote them.
#
# unrtf folds runs of blanks and shows a tab as eight non-breaking spaces, so
# texts are compared with runs of blanks folded, and a tab at the start of a
# line must come back as blanks at its start. Plain awk, no other tools.
set -eu
rtf=$1
expected=$2
command -v unrtf >/dev/null || { echo "unrtf is not installed (scripts/test installs it)"; exit 1; }
[ -f "$rtf" ] || { echo "no saved report at $rtf"; exit 1; }
[ -f "$expected" ] || { echo "no expected lines at $expected"; exit 1; }

html=$(mktemp)
unrtf --html "$rtf" >"$html" 2>/dev/null || { echo "unrtf failed on $rtf"; exit 1; }
# One tag per line, its text after it. Line breaks in the HTML source are
# layout, not text.
tags=$(mktemp)
trap 'rm -f "$html" "$tags"' EXIT
tr -d '\n' <"$html" | tr '<' '\n' >"$tags"

awk -v rtf="$rtf" '
function fold(s) { gsub(/[ \t]+/, " ", s); sub(/^ /, "", s); sub(/ $/, "", s); return s }
function colour() { return depth > 0 ? stack[depth] : "none" }
# The expected lines come first: colour, bold, text.
FNR == NR {
    n = split($0, f, "\t")
    want_colour[++want] = f[1]; want_bold[want] = f[2]
    text = f[3]; for (i = 4; i <= n; ++i) text = text "\t" f[i]
    want_text[want] = text
    next
}
# Then the tags: "tag attributes>text after it".
FNR == 1 { line = 1; body = 0; depth = 0; bold = 0 }
{
    end = index($0, ">"); tag = substr($0, 1, end - 1); data = substr($0, end + 1)
    split(tag, word, /[ \t\n]/); name = tolower(word[1])
    if (name == "body") body = 1
    else if (name == "/body") body = 0
    else if (name == "font") {
        fc = (match(tag, /color="#[0-9a-fA-F]+"/) ? tolower(substr(tag, RSTART + 7, RLENGTH - 8)) : colour())
        stack[++depth] = fc
    }
    else if (name == "/font" && depth > 0) --depth
    else if (name == "b" || name == "strong") ++bold
    else if ((name == "/b" || name == "/strong") && bold > 0) --bold
    else if (name == "br" || name == "br/") { ++line; got[line] = "" }
    if (!body) next
    gsub(/&nbsp;/, " ", data)
    gsub(/&lt;/, "<", data); gsub(/&gt;/, ">", data); gsub(/&quot;/, "\"", data); gsub(/&amp;/, "\\&", data)
    got[line] = got[line] data
    if (data ~ /[^ \t]/) {
        colours[line] = colours[line] " " colour()
        weights[line] = weights[line] " " (bold > 0 ? 1 : 0)
    }
}
END {
    faults = 0
    for (i = 1; i <= want; ++i) {
        if (i > line) { printf "line %d: missing, expected \"%s\"\n", i, want_text[i]; ++faults; continue }
        if (fold(got[i]) != fold(want_text[i])) {
            printf "line %d: text \"%s\", expected \"%s\"\n", i, fold(got[i]), fold(want_text[i]); ++faults
        }
        indented = (substr(got[i], 1, 1) == " ")
        if ((substr(want_text[i], 1, 1) == "\t") != indented) {
            printf "line %d: indented %d, expected the opposite\n", i, indented; ++faults
        }
        m = split(colours[i], c, " ")
        for (j = 1; j <= m; ++j) if (want_colour[i] != "-" && c[j] != want_colour[i]) {
            printf "line %d \"%s\": colour %s, expected %s\n", i, fold(want_text[i]), c[j], want_colour[i]; ++faults; break
        }
        m = split(weights[i], w, " ")
        for (j = 1; j <= m; ++j) if (w[j] != want_bold[i]) {
            printf "line %d \"%s\": bold %s, expected %s\n", i, fold(want_text[i]), w[j], want_bold[i]; ++faults; break
        }
    }
    # The control ends its content with one paragraph mark of its own.
    for (i = want + 1; i <= line; ++i) if (fold(got[i]) != "") {
        printf "line %d: unexpected \"%s\"\n", i, got[i]; ++faults
    }
    if (faults) { printf "unrtf read %s differently from the report (%d faults)\n", rtf, faults; exit 1 }
    printf "unrtf read %d lines with the expected texts, colours and weights\n", want
}
' "$expected" "$tags"
