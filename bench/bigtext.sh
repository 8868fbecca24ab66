#!/bin/bash
# Peak memory of quillmark-search on one very large extracted text, for
# -j 1, 2 and 4. A stand-in extractor writes SIZE bytes of text (default
# 2 GiB) with an occurrence in every line; the figures are the program's
# peak resident memory (GNU time's %M) and its wall time.
#
#   bench/bigtext.sh
#
# Environment: QM_BUILD_DIR (default: build), SIZE (bytes of text).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${QM_BUILD_DIR:-$root/build}
cli=$build/src/cli/quillmark-search
size=${SIZE:-2147483648}
[ -x "$cli" ] || { echo "bigtext.sh: build quillmark-search first ($cli)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "bigtext.sh: GNU time (/usr/bin/time) is not installed" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/extract.sh" <<SCRIPT
#!/bin/sh
for a; do last=\$a; done
yes 'the needle in a very large text, line after line' | head -c $size > "\${last%.pdf}.txt"
SCRIPT
chmod +x "$work/extract.sh"
echo 'stand-in' >"$work/big.pdf"

printf '%-4s %14s %12s %10s\n' "-j" "text (MiB)" "peak (MiB)" "wall (s)"
for j in 1 2 4; do
  out=$( { QM_EXTRACTOR=$work/extract.sh TEMP=$work /usr/bin/time -f '%M %e' \
             "$cli" --no-progress -c -j "$j" needle "$work/big.pdf" >"$work/rows"; } 2>&1 | tail -1)
  read -r kb secs <<<"$out"
  printf '%-4s %14d %12.1f %10s   (%s)\n' "$j" $((size / 1048576)) "$(echo "$kb/1024" | bc -l)" \
    "$secs" "$(cut -f2 "$work/rows")"
done
