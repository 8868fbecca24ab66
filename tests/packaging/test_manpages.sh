#!/usr/bin/env bash
# The manual pages: no formatting warnings, the project's version in the
# header, and every option the program's --help shows is described.
#   test_manpages.sh VERSION PAGE PROGRAM [PAGE PROGRAM]...
set -u
version=$1
shift
failed=0
fail() {
  echo "FAIL: $*"
  failed=1
}

while [ $# -ge 2 ]; do
  page=$1 program=$2
  shift 2
  name=$(basename "$page")
  if command -v man >/dev/null; then
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$name: $warnings"
  fi
  th=$(grep -m1 '^\.TH' "$page")
  [[ $th == *"\"Quillmark $version\""* ]] || fail "$name: the header is not of version $version: $th"

  # The page's text with fonts and escaped hyphens undone.
  text=$(sed 's/\\f[BIRP]//g; s/\\-/-/g' "$page")
  help=$("$program" --help) || fail "$program --help failed"
  options=$(sed -n 's/^ \{1,\}\(-[^ ].*\)$/\1/p' <<<"$help" | sed 's/  .*//' |
    grep -oE -- '--?[a-z][a-z-]*' | sort -u)
  [ -n "$options" ] || fail "$program --help shows no options"
  for o in $options; do
    grep -qE -- "(^|[^a-z-])$o([^a-z-]|$)" <<<"$text" || fail "$name does not describe $o"
  done
done
exit $failed
