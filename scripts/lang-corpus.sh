#!/usr/bin/env bash
# Builds a corpus of real Simplified Chinese text from what Debian packages installed on this machine
# (the zh_CN message catalogues and manual pages) and measures the one-character GB -> Big5 choices on it:
# two halves (alternate lines), choices made on one half and measured on the other, then the whole.
#   scripts/lang-corpus.sh BUILD_DIR [WORK_DIR]
set -euo pipefail
build=${1:?build directory}
work=${2:-$(mktemp -d)}
gen="$build/bin/kvlanguage-gen"
[ -x "$gen" ] || gen="$build/outside/kvlanguage/kvlanguage-gen"
mkdir -p "$work"
corpus="$work/corpus.txt"
: >"$corpus"
for mo in /usr/share/locale/zh_CN/LC_MESSAGES/*.mo; do
    # The translated texts: msgstr lines and their continuation lines, escapes undone.
    msgunfmt "$mo" 2>/dev/null | awk '
        /^msgstr/ { on = 1; sub(/^msgstr(\[[0-9]+\])? /, ""); }
        /^msgid/ { on = 0 }
        on && /^"/ { s = substr($0, 2, length($0) - 2); gsub(/\\n/, "\n", s); gsub(/\\t/, " ", s);
                     gsub(/\\"/, "\"", s); printf "%s", s }
        on && !/^"/ && !/^msgstr/ { on = 0 }
        !on { print "" }' | grep -P '[\x{4e00}-\x{9fff}]' >>"$corpus" || true
done
find /usr/share/man/zh_CN -type f 2>/dev/null | while read -r page; do
    zcat -f "$page" | grep -P '[\x{4e00}-\x{9fff}]' >>"$corpus" || true
done
awk 'NR % 2 == 1' "$corpus" >"$work/a.txt"
awk 'NR % 2 == 0' "$corpus" >"$work/b.txt"
echo "corpus: $(wc -l <"$corpus") lines, $(wc -c <"$corpus") bytes"
"$gen" --choose "$work/a.txt" "$work/a.inc" >/dev/null
"$gen" --choose "$work/b.txt" "$work/b.inc" >/dev/null
echo "== choices from the first half, measured on the second"
"$gen" --measure "$work/b.txt" "$work/a.inc"
echo "== choices from the second half, measured on the first"
"$gen" --measure "$work/a.txt" "$work/b.inc"
echo "== whole corpus"
"$gen" --measure "$corpus"
