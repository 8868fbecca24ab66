#!/bin/bash
# The cached search of quillmark-search beside ripgrep over the same texts
# written as files, every tool in the same run; prints the medians and ratios.
#
#   bench/cachedspeed.sh FOLDER [PHRASE [PATTERN]]
#
# The texts are kept once (quillmark-search --cache, in a fresh store unless
# QM_CACHE_HOME names one already filled) and written as files by pdftotext
# for rg (TEXTS: a folder that holds them already). Then, ROUNDS times
# (default 7) in turns, so that a busy moment of a shared machine falls on
# all: `rg -F -c -jN PHRASE`, quillmark-search --cache -c PHRASE plain, with -w
# and with --ignore-accents, `rg -P -c -jN PATTERN` and quillmark-search -P
# PATTERN (a pattern led by a literal; default PHRASE followed by \w*), N being
# the cores. With BEFORE set to another quillmark-search, its plain search is
# timed too, over a store of its own (BEFORE_CACHE_HOME, or one it fills
# first): a store is read in the format of the program that wrote it. Each figure is the median of the rounds: wall seconds, and the
# processor seconds (user + system) that a loaded machine does not inflate.
# Environment: QM_BUILD_DIR (default: build), ROUNDS, QM_CACHE_HOME, TEXTS,
# BEFORE, BEFORE_CACHE_HOME.
set -uo pipefail
F=${1:?usage: bench/cachedspeed.sh FOLDER [PHRASE [PATTERN]]}
PHRASE=${2:-equation}
PATTERN=${3:-$PHRASE'\w*'}
Q=${QM_BUILD_DIR:-$(cd "$(dirname "$0")/.." && pwd)/build}/src/cli/quillmark-search
R=${ROUNDS:-7}
P=$(nproc)
W=$(mktemp -d)
trap 'rm -rf "$W"' EXIT
export XDG_CACHE_HOME=${QM_CACHE_HOME:-$W/cache}
mapfile -d '' files < <(find "$F" -name '*.pdf' -print0 | sort -z)
printf '%s\0' "${files[@]}" > "$W/list"
echo "folder $F: ${#files[@]} files, $P cores, $R rounds; phrase '$PHRASE', pattern '$PATTERN'"

# The texts kept (a first run fills the store) and written as files.
"$Q" -s -0 --files-from - --no-progress -c --cache "$PHRASE" < "$W/list" > /dev/null
T=${TEXTS:-}
if [ -z "$T" ]; then
  T=$W/texts
  mkdir -p "$T"
  n=0
  for f in "${files[@]}"; do n=$((n + 1)); printf '%s\0%s\0' "$f" "$T/$n.txt"; done |
    xargs -0 -n2 -P"$P" pdftotext 2>/dev/null
fi
echo "texts: $(du -sh "$T" | cut -f1) in $(find "$T" -type f | wc -l) files"
B=${BEFORE_CACHE_HOME:-$W/before-cache}
[ -n "${BEFORE:-}" ] && XDG_CACHE_HOME=$B "$BEFORE" -s -0 --files-from - --no-progress -c --cache \
  "$PHRASE" < "$W/list" > /dev/null

# "wall cpu" seconds of one run, its output dropped.
t() {
  local out
  out=$({ TIMEFORMAT='%3R %3U %3S'; time "$@" > /dev/null 2>&1; } 2>&1 | tail -1)
  read -r wall user sys <<< "$out"
  echo "$wall $(echo "$user + $sys" | bc)"
}
q() { "$1" -s -0 --files-from "$W/list" --no-progress -c --cache "${@:2}"; }
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
ratio() { echo "scale=2; $1/$2" | bc; }

declare -A wall cpu
names=(rg plain words accents rgP pattern)
[ -n "${BEFORE:-}" ] && names+=(before)
run() {
  case $1 in
  rg) t rg -F -c -j"$P" "$PHRASE" "$T" ;;
  plain) t q "$Q" "$PHRASE" ;;
  words) t q "$Q" -w "$PHRASE" ;;
  accents) t q "$Q" --ignore-accents "$PHRASE" ;;
  rgP) t rg -P -c -j"$P" "$PATTERN" "$T" ;;
  pattern) t q "$Q" -P "$PATTERN" ;;
  before) XDG_CACHE_HOME=$B t q "$BEFORE" "$PHRASE" ;;
  esac
}
for ((r = 1; r <= R; ++r)); do
  for n in "${names[@]}"; do
    read -r w c <<< "$(run "$n")"
    wall[$n]+="$w "; cpu[$n]+="$c "
  done
done
declare -A mw mc
for n in "${names[@]}"; do
  # shellcheck disable=SC2086 # the rounds' figures, one word each
  mw[$n]=$(median ${wall[$n]}); mc[$n]=$(median ${cpu[$n]})
  printf '%-8s wall %6.3f s  cpu %6.3f s\n' "$n" "${mw[$n]}" "${mc[$n]}"
done
echo "ratios (wall; cpu):"
echo "  plain cached / rg -F -c:        $(ratio "${mw[plain]}" "${mw[rg]}"); $(ratio "${mc[plain]}" "${mc[rg]}")"
echo "  -w / plain:                     $(ratio "${mw[words]}" "${mw[plain]}"); $(ratio "${mc[words]}" "${mc[plain]}")"
echo "  --ignore-accents / plain:       $(ratio "${mw[accents]}" "${mw[plain]}"); $(ratio "${mc[accents]}" "${mc[plain]}")"
echo "  -P / rg -P:                     $(ratio "${mw[pattern]}" "${mw[rgP]}"); $(ratio "${mc[pattern]}" "${mc[rgP]}")"
[ -n "${BEFORE:-}" ] &&
  echo "  plain before / after:           $(ratio "${mw[before]}" "${mw[plain]}"); $(ratio "${mc[before]}" "${mc[plain]}")"
exit 0
