#!/usr/bin/env bash
# The AppStream metainfo: valid for appstreamcli (skipped without it), named
# after its component, launching the desktop entry that is installed, and its
# newest release is the project's version.
#   test_metainfo.sh METAINFO DESKTOP_FILE VERSION
set -u
metainfo=$1 desktop=$2 version=$3
command -v appstreamcli >/dev/null || {
  echo "appstreamcli is not installed (package appstream): skipped"
  exit 77
}
failed=0
fail() {
  echo "FAIL: $*"
  failed=1
}

appstreamcli validate --no-net "$metainfo" || fail "appstreamcli refuses $metainfo"

tag() { sed -n "s:.*<$1[^>]*>\([^<]*\)</$1>.*:\1:p" "$metainfo" | head -n 1; }
id=$(tag id)
[ "$(basename "$metainfo")" = "$id.metainfo.xml" ] ||
  fail "the file name $(basename "$metainfo") is not the component id $id.metainfo.xml"
[ "$(tag launchable)" = "$(basename "$desktop")" ] ||
  fail "launchable '$(tag launchable)' is not the desktop entry $(basename "$desktop")"
newest=$(sed -n 's:.*<release [^>]*version="\([^"]*\)".*:\1:p' "$metainfo" | head -n 1)
[ "$newest" = "$version" ] || fail "the newest release is '$newest', the project is $version"
exit $failed
