#!/usr/bin/env bash
# The bash completion of quillmark-search, run as bash runs it: the options it
# offers are exactly those of the program's --help; option values and paths
# complete as the program reads its arguments (the phrase, files ending in the
# --ext extension, folders, any file for -f and --tsv, the end of options).
#   test_completion.sh COMPLETION_FILE QUILLMARK_SEARCH
set -u
completion=$1 program=$2
# shellcheck source=/dev/null
source "$completion"
failed=0

# Completes the words given, the last being the one under the cursor; prints
# the offers sorted, one line.
offers() {
  COMP_WORDS=(quillmark-search "$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _quillmark_search
  [ ${#COMPREPLY[@]} -eq 0 ] || printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd ' '
}
expect() {
  local expected=$1 got
  shift
  got=$(offers "$@")
  if [ "$got" != "$expected" ]; then
    echo "FAIL: quillmark-search $* <TAB>"
    echo "  expected: $expected"
    echo "  got:      $got"
    failed=1
  fi
}

options=$("$program" --help | sed -n 's/^ \{1,\}\(-[^ ].*\)$/\1/p' | sed 's/  .*//' |
  grep -oE -- '--?[a-zA-Z][a-z-]*' | LC_ALL=C sort -u | paste -sd ' ')
[ -n "$options" ] || { echo "FAIL: $program --help shows no options"; exit 1; }
expect "$options" -
expect "$options" phrase -
expect "--file --files-from --files-with-matches" --f
expect "--ignore-accents --ignore-case" -e x --ig

cd "$(mktemp -d)" || exit 1
trap 'rm -rf "$PWD"' EXIT
mkdir sub
touch a.pdf B.PDF notes.txt -- -dash.pdf
# The phrase: nothing offered; then paths.
expect "" ""
expect "-dash.pdf B.PDF a.pdf sub" salad ""
expect "a.pdf" salad a
expect "-dash.pdf B.PDF a.pdf sub" -e salad ""
expect "-dash.pdf B.PDF a.pdf sub" -ie salad ""
expect "-dash.pdf B.PDF a.pdf sub" -iesalad ""
expect "-dash.pdf B.PDF a.pdf sub" -f words.txt ""
expect "-dash.pdf B.PDF a.pdf sub" --phrase=salad ""
# Option values.
expect "" -e ""
expect "" -ie ""
expect "" --password ""
expect "-dash.pdf B.PDF a.pdf notes.txt sub" -f ""
expect "-dash.pdf B.PDF a.pdf notes.txt sub" salad --tsv ""
expect "-dash.pdf B.PDF a.pdf notes.txt sub" salad --tsv =
expect "notes.txt" salad --tsv = n
expect "pdf" --ext ""
# The texts searched: a name, or the next one of a comma-separated list.
expect "attachments bookmarks comments forms pages properties" --text-from ""
expect "pages,comments" --text-from = pages,c
jobs=$(seq 1 "$(nproc)" | LC_ALL=C sort | paste -sd ' ')
expect "$jobs" -j ""
expect "$jobs" -qj ""
# Other extensions, values given before the phrase.
expect "notes.txt sub" --ext txt salad ""
expect "notes.txt sub" --ext = txt salad ""
expect "notes.txt sub" --ext=txt salad ""
expect "-dash.pdf B.PDF a.pdf notes.txt sub" --ext '*' salad ""
expect "-dash.pdf B.PDF a.pdf sub" -j 2 --tsv out.txt salad ""
# After "--" every word is an argument: the first the phrase.
expect "" -- ""
expect "-dash.pdf" -- salad -
expect "-dash.pdf" salad -- -
exit $failed
