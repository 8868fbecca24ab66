#!/bin/bash
# The command line on one folder of real PDFs beside a plain pdftotext loop, an
# xargs -P2 loop and pdfgrep, every tool in the same run; prints the ratios.
F=${1:?usage: bench/realfolder.sh FOLDER}
Q=${QM_BUILD_DIR:-$(cd "$(dirname "$0")/.." && pwd)/build}/src/cli/quillmark-search
W=$(mktemp -d); export TEMP=$W XDG_CACHE_HOME=$W/cache
mapfile -d '' files < <(find "$F" -name '*.pdf' -print0)
echo "folder $F: ${#files[@]} files"
t() { local s=$(date +%s.%N); "$@" >/dev/null 2>&1; echo "$(echo "$(date +%s.%N) - $s" | bc)"; }
loop=$(t bash -c 'for f in "$@"; do pdftotext "$f" '"$W"'/o.txt; done' _ "${files[@]}")
echo "pdftotext loop: $loop s"
xa=$(t bash -c 'printf "%s\0" "$@" | xargs -0 -P2 -I{} sh -c "pdftotext \"\$1\" - > /dev/null" _ {}' _ "${files[@]}")
echo "xargs -P2 pdftotext: $xa s"
first=$( /usr/bin/time -f "%e %M" $Q -q -c --cache the "$F" 2>&1 >/dev/null | tail -1)
echo "quillmark-search --cache first run (s, peak KiB): $first"
second=$( /usr/bin/time -f "%e %M" $Q -q -c --cache equation "$F" 2>&1 >/dev/null | tail -1)
echo "quillmark-search --cache second run (s, peak KiB): $second"
grep=$(t pdfgrep -r -F -c the "$F")
echo "pdfgrep -r -F -c: $grep s"
f1=${first%% *}; s1=${second%% *}
echo "ratios: first/xargs=$(echo "scale=2; $f1/$xa" | bc) first/(loop/2)=$(echo "scale=2; $f1/($loop/2)" | bc) first/pdfgrep=$(echo "scale=2; $f1/$grep" | bc) second/loop=$(echo "scale=3; $s1/$loop" | bc)"
rm -rf "$W"
