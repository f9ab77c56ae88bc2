#!/usr/bin/env bash
# Prints the size of the tests against the size of the program, in non-blank lines that are not
# only comments: C++ sources and headers and the helper scripts in tests/ (not CMake files, not
# the kept fuzz inputs) against the C++ of app/, imaging/ and platform/. fuzz/ and bench/ count as
# neither. The C++ is counted as the project's .clang-format lays it out, in a temporary copy, so
# that how a file happens to be wrapped changes nothing.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)

# Counts the lines of the files named on stdin that hold code: // and /* */ comments are dropped
# in C++ (string literals are respected), # comments in shell scripts.
count() {
    python3 -c '
import re, sys
def cpp(text):
    out, i, n, state = [], 0, len(text), None
    while i < n:
        c = text[i]
        if state is None:
            if text.startswith("//", i):
                j = text.find("\n", i); i = n if j < 0 else j; continue
            if text.startswith("/*", i):
                j = text.find("*/", i + 2); i = n if j < 0 else j + 2; out.append(" "); continue
            if c in "\"\x27": state = c
        elif c == "\\": out.append(text[i:i + 2]); i += 2; continue
        elif c == state or c == "\n": state = None
        out.append(c); i += 1
    return "".join(out)
def shell(text):
    return "\n".join("" if l.lstrip().startswith("#") else l for l in text.splitlines())
total = 0
for name in sys.stdin.read().split("\0"):
    if not name: continue
    text = open(name, encoding="utf-8", errors="replace").read()
    text = shell(text) if name.endswith(".sh") else cpp(text)
    total += sum(1 for l in text.splitlines() if l.strip())
print(total)'
}

COPY=$(mktemp -d)
trap 'rm -rf "$COPY"' EXIT
cp "$ROOT/.clang-format" "$COPY/"
(cd "$ROOT" && tar cf - app imaging platform tests) | tar xf - -C "$COPY"
find "$COPY" \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 clang-format -i
cd "$COPY"
tests=$(find tests -path tests/fuzz_regressions -prune -o -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.sh' \) -print0 | count)
code=$(find app imaging platform -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | count)
echo "tests $tests lines, code $code lines, ratio $(python3 -c "print(f'{$tests / $code:.2f}')")"
