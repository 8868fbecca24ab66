#!/bin/bash
# What -l spares: quillmark-search -l PHRASE on one large file whose text is
# kept (--cache), against a full count (-c) of the same phrase in the same
# file. -l stops matching the file at its first occurrence; -c matches to the
# end, making every row. Prints the medians of RUNS rounds (wall and
# processor time) and their ratios.
#
#   bench/listfirst.sh [PDF]
#
# Without PDF, a stand-in extractor writes SIZE bytes of text (default
# 48 MiB) with the phrase in every line, for a made file. With PDF, the real
# extractor reads it (a large real PDF: see ../shared/real-pdfs.sh).
# Environment: QM_BUILD_DIR (default: build), RUNS (default 5), PHRASE
# (default "the"), SIZE.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${QM_BUILD_DIR:-$root/build}
cli=$build/src/cli/quillmark-search
runs=${RUNS:-5}
phrase=${PHRASE:-the}
size=${SIZE:-50331648}
[ -x "$cli" ] || { echo "listfirst.sh: build quillmark-search first ($cli)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "listfirst.sh: GNU time (/usr/bin/time) is not installed" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME=$work/cache TEMP=$work
if [ $# -ge 1 ]; then
  pdf=$1
else
  cat >"$work/extract.sh" <<SCRIPT
#!/bin/sh
for a; do last=\$a; done
yes 'the needle in the hay of a very large text, line after line' | head -c $size > "\${last%.pdf}.txt"
SCRIPT
  chmod +x "$work/extract.sh"
  export QM_EXTRACTOR=$work/extract.sh
  pdf=$work/big.pdf
  echo 'stand-in' >"$pdf"
fi

# The first run extracts and keeps the text; the rounds read it back.
"$cli" --no-progress --cache -c -- "$phrase" "$pdf" >"$work/count"
[ "$(cut -f2 "$work/count")" -gt 0 ] || { echo "listfirst.sh: \"$phrase\" is not in $pdf" >&2; exit 2; }

# Wall and processor seconds of one run.
seconds() {
  /usr/bin/time -f '%e %U %S' -o "$work/time" "$cli" --no-progress --cache "$@" -- "$phrase" "$pdf" >/dev/null
  awk '{ printf "%s %.3f\n", $1, $2 + $3 }' "$work/time"
}
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

for ((r = 0; r < runs; ++r)); do
  seconds -l >>"$work/l"
  seconds -c >>"$work/c"
done
lw=$(cut -d' ' -f1 "$work/l" | median)
lp=$(cut -d' ' -f2 "$work/l" | median)
cw=$(cut -d' ' -f1 "$work/c" | median)
cp=$(cut -d' ' -f2 "$work/c" | median)
printf 'text: %s occurrences of "%s" in %s\n' "$(cut -f2 "$work/count")" "$phrase" "$pdf"
printf '%-24s %10s %14s\n' "" "wall (s)" "processor (s)"
printf '%-24s %10.3f %14.3f\n' "-l (first occurrence)" "$lw" "$lp" "-c (every occurrence)" "$cw" "$cp"
printf 'ratio -l / -c: %.3f wall, %.3f processor\n' "$(echo "$lw / $cw" | bc -l)" "$(echo "$lp / $cp" | bc -l)"
