#!/bin/sh
# save_rtf_check.sh REPORT.rtf EXPECTED: reads a saved report with unrtf, an
# RTF reader outside this program, and compares every line it finds with
# EXPECTED (colour, 1 for bold, text; separated by tabs; colour "-" for an
# empty line), as save_rtf_test wrote them.
#
# unrtf folds runs of blanks and shows a tab as eight non-breaking spaces, so
# texts are compared with runs of blanks folded, and a tab at the start of a
# line must come back as blanks at its start.
set -eu
rtf=$1
expected=$2
command -v unrtf >/dev/null || { echo "unrtf is not installed (scripts/test installs it)"; exit 1; }
command -v python3 >/dev/null || { echo "python3 is not installed"; exit 1; }
[ -f "$rtf" ] || { echo "no saved report at $rtf"; exit 1; }
[ -f "$expected" ] || { echo "no expected lines at $expected"; exit 1; }

html=$(mktemp)
trap 'rm -f "$html"' EXIT
unrtf --html "$rtf" >"$html" 2>/dev/null || { echo "unrtf failed on $rtf"; exit 1; }

python3 - "$html" "$expected" "$rtf" <<'EOF'
import html.parser
import re
import sys

class ReportReader(html.parser.HTMLParser):
    """Splits the body into lines at <br>; each character keeps its colour and weight."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.fonts = []   # colour of each open <font>, None where it sets none
        self.bold = 0
        self.in_body = False
        self.lines = [[]]

    def colour(self):
        for c in reversed(self.fonts):
            if c is not None:
                return c.lower()
        return None

    def handle_starttag(self, tag, attrs):
        if tag == "body":
            self.in_body = True
        elif tag == "font":
            self.fonts.append(dict(attrs).get("color"))
        elif tag in ("b", "strong"):
            self.bold += 1
        elif tag == "br":
            self.lines.append([])

    def handle_endtag(self, tag):
        if tag == "body":
            self.in_body = False
        elif tag == "font" and self.fonts:
            self.fonts.pop()
        elif tag in ("b", "strong") and self.bold:
            self.bold -= 1

    def handle_data(self, data):
        if not self.in_body:
            return
        # Line breaks in the HTML source are layout, not text.
        for ch in data.replace("\n", ""):
            self.lines[-1].append((ch, self.colour(), self.bold > 0))

def fold(text):
    return re.sub(r"[ \t\u00a0]+", " ", text).strip()

reader = ReportReader()
reader.feed(open(sys.argv[1], encoding="utf-8", errors="replace").read())
found = reader.lines
expected = []
for raw in open(sys.argv[2], encoding="latin-1").read().split("\n")[:-1]:
    colour, bold, text = raw.split("\t", 2)
    expected.append((colour, bold == "1", text))

faults = []
for n, (colour, bold, text) in enumerate(expected, 1):
    if n > len(found):
        faults.append("line %d: missing, expected %r" % (n, text))
        continue
    chars = found[n - 1]
    got = "".join(ch for ch, _, _ in chars)
    if fold(got) != fold(text):
        faults.append("line %d: text %r, expected %r" % (n, fold(got), fold(text)))
    starts_blank = bool(chars) and chars[0][0] in " \u00a0\t"
    if text.startswith("\t") != starts_blank:
        faults.append("line %d: indentation %s, expected %s" % (n, starts_blank, text.startswith("\t")))
    visible = [(c, b) for ch, c, b in chars if not ch.isspace()]
    if colour != "-":
        colours = sorted(set(str(c) for c, _ in visible))
        if colours != [colour]:
            faults.append("line %d %r: colours %s, expected %s" % (n, fold(text), colours, colour))
    weights = sorted(set(b for _, b in visible))
    if visible and weights != [bold]:
        faults.append("line %d %r: bold %s, expected %s" % (n, fold(text), weights, bold))
# The control ends its content with one paragraph mark of its own.
for n in range(len(expected) + 1, len(found) + 1):
    extra = "".join(ch for ch, _, _ in found[n - 1])
    if fold(extra):
        faults.append("line %d: unexpected %r" % (n, extra))

if faults:
    print("unrtf read %s differently from the report:" % sys.argv[3])
    print("\n".join(faults))
    sys.exit(1)
print("unrtf read %d lines with the expected texts, colours and weights" % len(expected))
EOF
