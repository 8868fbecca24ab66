#!/usr/bin/env bash
# The desktop entry: valid for desktop-file-validate (skipped without it), it
# starts the installed program with the files a file manager hands it, offers
# itself for PDF files and names an icon that is installed.
#   test_desktop_entry.sh DESKTOP_FILE PROGRAM_NAME
set -u
entry=$1 program=$2
command -v desktop-file-validate >/dev/null || {
  echo "desktop-file-validate is not installed (package desktop-file-utils): skipped"
  exit 77
}
failed=0
fail() {
  echo "FAIL: $*"
  failed=1
}

desktop-file-validate "$entry" || fail "desktop-file-validate refuses $entry"

value() { sed -n "s/^$1=//p" "$entry"; }
exec_line=$(value Exec)
read -r exec_program exec_args <<<"$exec_line"
[ "$exec_program" = "$program" ] || fail "Exec starts '$exec_program', not the program '$program'"
[[ " $exec_args " == *" %F "* || " $exec_args " == *" %U "* ]] ||
  fail "Exec passes no files (%F): $exec_line"
[[ ";$(value MimeType)" == *";application/pdf;"* ]] || fail "MimeType lacks application/pdf;"
icon=$(value Icon)
[ -f "$(dirname "$entry")/$icon.svg" ] || fail "Icon '$icon' names no icon of data/"
exit $failed
