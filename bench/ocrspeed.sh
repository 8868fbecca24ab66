#!/bin/bash
# OCR search speed and memory. Scanned copies of real text PDFs are made
# (qm_makescans: each page rendered at 200 dpi, kept as a grey image), then
# searched by quillmark-search --ocr beside an unordered xargs -P<cores> loop
# of "pdftoppm | tesseract" over the same pages (the same resolution, one
# thread a tesseract); prints the ratios: the first search (--ocr, and with
# --cache into a fresh store) against the loop, the second search with
# --cache against the loop, and the peak memory of --ocr on one scanned file
# of few and of many pages.
#
#   bench/ocrspeed.sh SOURCE_FOLDER [FILES] [PAGES] [KIND]
#
# FILES (default 4) real PDFs are taken, the first by path, with at most
# PAGES (default 6) pages each; KIND is grey, bilevel or jpeg. Environment:
# QM_BUILD_DIR (default: build), ROUNDS (default 2).
set -uo pipefail
S=${1:?usage: bench/ocrspeed.sh SOURCE_FOLDER [FILES] [PAGES] [KIND]}
N=${2:-4}
G=${3:-6}
K=${4:-grey}
B=${QM_BUILD_DIR:-$(cd "$(dirname "$0")/.." && pwd)/build}
Q=$B/src/cli/quillmark-search
M=$B/bench/ocr/qm_makescans
R=${ROUNDS:-2}
P=$(nproc)
W=$(mktemp -d); export TEMP=$W XDG_CACHE_HOME=$W/cache
trap 'rm -rf "$W"' EXIT
command -v tesseract >/dev/null || { echo "tesseract is not installed"; exit 1; }

mapfile -d '' sources < <(find "$S" -name '*.pdf' -print0 | sort -z | head -z -n "$N")
"$M" "$W/scans" 200 "$K" "$G" "${sources[@]}" || exit 1
mapfile -d '' files < <(find "$W/scans" -name '*.pdf' -print0 | sort -z)
pages=0
for f in "${files[@]}"; do
  n=$(pdfinfo "$f" | awk '/^Pages:/ {print $2}')
  for ((p = 1; p <= n; ++p)); do printf '%s\0%s\0' "$f" "$p"; done
  pages=$((pages + n))
done > "$W/pages"
echo "${#files[@]} scanned files ($K, 200 dpi), $pages pages, $P cores, $R rounds"

t() { local s; s=$(date +%s.%N); "$@" >/dev/null 2>&1; echo "$(date +%s.%N) - $s" | bc; }
# "seconds peak-KiB" of one quillmark-search run.
q() { /usr/bin/time -f "%e %M" "$Q" "$@" 2>&1 >/dev/null | tail -1; }
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
ratio() { echo "scale=3; $1/$2" | bc; }
loop() {
  xargs -0 -n2 -P"$P" sh -c 'pdftoppm -gray -r 200 -f "$2" -l "$2" -singlefile "$1" |
    OMP_THREAD_LIMIT=1 tesseract - - --dpi 200 > /dev/null 2>&1' _ < "$W/pages"
}

xs=(); fs=(); cs=(); rf=(); rc=()
for ((r = 1; r <= R; ++r)); do
  xa=$(t loop)
  first=$(q --no-progress -c --ocr the "$W/scans")
  rm -rf "$W/cache"
  cached=$(q --no-progress -c --ocr --cache the "$W/scans")
  echo "round $r: xargs -P$P loop $xa s; --ocr ${first% *} s (peak ${first#* } KiB);" \
       "--ocr --cache ${cached% *} s (peak ${cached#* } KiB)"
  xs+=("$xa"); fs+=("${first% *}"); cs+=("${cached% *}")
  rf+=("$(ratio "${first% *}" "$xa")"); rc+=("$(ratio "${cached% *}" "$xa")")
done
second=$(q --no-progress -c --ocr --cache the "$W/scans")
mx=$(median "${xs[@]}")
echo "second search with --cache: ${second% *} s (peak ${second#* } KiB)"
echo "ratios: first --ocr/xargs $(median "${rf[@]}") (with --cache $(median "${rc[@]}")," \
     "target <= 1.1); second/xargs $(ratio "${second% *}" "$mx") (target <= 0.05)"

# Memory: one scanned file of few pages and one of many.
few=$("$M" "$W/few" 200 "$K" 2 "${sources[0]}" >/dev/null && q --no-progress -c --ocr the "$W/few")
many=$("$M" "$W/many" 200 "$K" 40 "${sources[0]}" >/dev/null && q --no-progress -c --ocr the "$W/many")
echo "peak of --ocr: $(pdfinfo "$W"/few/*.pdf | awk '/^Pages:/ {print $2}') pages ${few#* } KiB," \
     "$(pdfinfo "$W"/many/*.pdf | awk '/^Pages:/ {print $2}') pages ${many#* } KiB"
