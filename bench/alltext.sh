#!/bin/bash
# The first search of a folder of real PDFs with --all-text (every text beside
# the pages too: comments, form fields, bookmarks, properties, attachments)
# beside the same search of the pages alone; prints each round's times and the
# median of the rounds' ratios (the aim: at most 1.25).
#
#   bench/alltext.sh FOLDER
#
# Both searches get the same list of files in the same order (--files-from)
# and run ROUNDS times (default 3) in turns, so that a busy moment of a shared
# machine falls on both. Then a search with --all-text and --cache twice over
# (a fresh store): the second reads nothing again. Environment: QM_BUILD_DIR
# (default: build), ROUNDS, PHRASE (default "the").
set -uo pipefail
F=${1:?usage: bench/alltext.sh FOLDER}
Q=${QM_BUILD_DIR:-$(cd "$(dirname "$0")/.." && pwd)/build}/src/cli/quillmark-search
R=${ROUNDS:-3}
PHRASE=${PHRASE:-the}
W=$(mktemp -d); export TEMP=$W XDG_CACHE_HOME=$W/cache
trap 'rm -rf "$W"' EXIT
mapfile -d '' files < <(find "$F" -name '*.pdf' -print0)
echo "folder $F: ${#files[@]} files, $(nproc) cores, $R rounds"
# "seconds rows" of one run over the list.
q() {
  local s e n
  s=$(date +%s.%N)
  n=$(printf '%s\0' "${files[@]}" | "$Q" -0 --files-from - --no-progress -s "$@" -- "$PHRASE" | wc -l)
  e=$(date +%s.%N)
  echo "$(echo "$e - $s" | bc) $n"
}
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
ratios=()
for ((r = 1; r <= R; ++r)); do
  pages=$(q)
  all=$(q --all-text)
  ratio=$(echo "scale=3; ${all% *} / ${pages% *}" | bc)
  echo "round $r: pages ${pages% *} s (${pages#* } rows); --all-text ${all% *} s (${all#* } rows); ratio $ratio"
  ratios+=("$ratio")
done
echo "median ratio --all-text / pages: $(median "${ratios[@]}")"
rm -rf "$W/cache"
first=$(q --all-text --cache)
second=$(q --all-text --cache)
echo "--all-text --cache: first ${first% *} s, second ${second% *} s (${second#* } rows)"
