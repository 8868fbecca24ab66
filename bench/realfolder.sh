#!/bin/bash
# The command line on one folder of real PDFs beside a plain pdftotext loop, an
# unordered xargs -P<cores> loop and pdfgrep, every tool in the same run; prints
# the ratios.
#
#   bench/realfolder.sh FOLDER
#
# Every tool but pdfgrep gets the same list of files in the same order (find's,
# or sorted by path with SORTED=1; quillmark-search through --files-from), so
# each meets the same large files at the same places. The xargs loop and
# quillmark-search's first run (without and with --cache, a fresh store each
# time) are run ROUNDS times (default 3) in turns, so that a busy moment of a
# shared machine falls on both; each ratio is the median of the rounds'
# ratios. Environment: QM_BUILD_DIR (default: build), ROUNDS, SORTED.
set -uo pipefail
F=${1:?usage: bench/realfolder.sh FOLDER}
Q=${QM_BUILD_DIR:-$(cd "$(dirname "$0")/.." && pwd)/build}/src/cli/quillmark-search
R=${ROUNDS:-3}
P=$(nproc)
W=$(mktemp -d); export TEMP=$W XDG_CACHE_HOME=$W/cache
trap 'rm -rf "$W"' EXIT
if [ "${SORTED:-0}" = 1 ]; then
  mapfile -d '' files < <(find "$F" -name '*.pdf' -print0 | sort -z)
else
  mapfile -d '' files < <(find "$F" -name '*.pdf' -print0)
fi
echo "folder $F: ${#files[@]} files, $P cores, $R rounds"
# Wall seconds of a command, its output dropped.
t() { local s; s=$(date +%s.%N); "$@" >/dev/null 2>&1; echo "$(date +%s.%N) - $s" | bc; }
# "seconds peak-KiB" of one quillmark-search run over the list.
q() { printf '%s\0' "${files[@]}" | /usr/bin/time -f "%e %M" "$Q" -0 --files-from - "$@" 2>&1 >/dev/null | tail -1; }
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
ratio() { echo "scale=3; $1/$2" | bc; }

loop=$(t bash -c 'for f in "$@"; do pdftotext "$f" '"$W"'/o.txt; done' _ "${files[@]}")
echo "pdftotext loop: $loop s"
xs=() ; ps=() ; cs=() ; rp=() ; rc=()
for ((r = 1; r <= R; ++r)); do
  xa=$(t bash -c 'printf "%s\0" "$@" | xargs -0 -P'"$P"' -I{} sh -c "pdftotext \"\$1\" - > /dev/null" _ {}' _ "${files[@]}")
  plain=$(q --no-progress -c the)
  rm -rf "$W/cache"
  cached=$(q --no-progress -c --cache the)
  echo "round $r: xargs -P$P $xa s; quillmark-search ${plain% *} s (peak ${plain#* } KiB); with --cache ${cached% *} s (peak ${cached#* } KiB)"
  xs+=("$xa"); ps+=("${plain% *}"); cs+=("${cached% *}")
  rp+=("$(ratio "${plain% *}" "$xa")"); rc+=("$(ratio "${cached% *}" "$xa")")
done
second=$(q --no-progress -c --cache equation)
echo "quillmark-search --cache second run, a new process: ${second% *} s (peak ${second#* } KiB)"
grep=$(t pdfgrep -r -F -c the "$F")
echo "pdfgrep -r -F -c: $grep s"
mp=$(median "${ps[@]}"); mx=$(median "${xs[@]}")
echo "medians: xargs -P$P $mx s, quillmark-search first run $mp s, with --cache $(median "${cs[@]}") s"
echo "ratios: first/xargs $(median "${rp[@]}") (with --cache $(median "${rc[@]}")), first/(loop/$P) $(ratio "$mp" "$(echo "$loop/$P" | bc -l)"), first/pdfgrep $(ratio "$mp" "$grep"), second/loop $(ratio "${second% *}" "$loop")"
