#!/usr/bin/env bash
# Builds the Debian package quillmark_<version>_<arch>.deb and prints its path.
#
#   scripts/package.sh          # in build-package/ (the programs only, Release)
#   scripts/package.sh --check  # then unpacks it into a scratch folder and runs
#                               # the installed programs there
#
# QM_PACKAGE_BUILD_DIR packages from another build folder (scripts/test.sh
# packages its own build/, where everything is built already).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

check=
case "${1:-}" in
  --check) check=1 ;;
  "") ;;
  *) echo "usage: scripts/package.sh [--check]" >&2; exit 2 ;;
esac

qm_install_packages
dir=${QM_PACKAGE_BUILD_DIR:-$QM_ROOT/build-package}
qm_configure "$dir" -DCMAKE_BUILD_TYPE=Release -DQM_BUILD_TESTS=OFF -DQM_BUILD_BENCH=OFF
cmake --build "$dir" -j "$QM_JOBS" --target package >&2

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")
deb="$dir/quillmark_${version}_$(dpkg --print-architecture).deb"
if [ ! -f "$deb" ]; then
  echo "package.sh: $deb was not made" >&2
  exit 1
fi

fail() {
  echo "package.sh: $deb: $*" >&2
  exit 1
}

if [ -n "$check" ]; then
  # Depends: the tools the programs run, and libraries found by dpkg-shlibdeps.
  depends=$(dpkg-deb -f "$deb" Depends)
  for d in poppler-utils qpdf xdg-utils libqt6svg6 libqt6widgets6 libc6; do
    [[ ", $depends," == *", $d"[\ ,]* ]] || fail "Depends lacks $d: $depends"
  done
  # Recommends: OCR of scanned pages, which everything else works without.
  recommends=$(dpkg-deb -f "$deb" Recommends)
  for r in tesseract-ocr tesseract-ocr-eng; do
    [[ ", $recommends," == *", $r"[\ ,]* ]] || fail "Recommends lacks $r: $recommends"
  done
  [[ ", $depends," != *", tesseract"* ]] || fail "Depends holds tesseract: $depends"

  contents=$(dpkg-deb -c "$deb" | awk '{ $1 = $2 = $3 = $4 = $5 = ""; sub(/^ +/, ""); print }')
  for f in usr/bin/quillmark usr/bin/quillmark-search \
    usr/share/applications/quillmark.desktop \
    usr/share/icons/hicolor/scalable/apps/quillmark.svg \
    usr/share/metainfo/invalid.quillmark.Quillmark.metainfo.xml \
    usr/share/man/man1/quillmark.1.gz usr/share/man/man1/quillmark-search.1.gz \
    usr/share/bash-completion/completions/quillmark-search \
    usr/share/doc/quillmark/copyright usr/share/quillmark/drag.ico \
    "usr/share/quillmark/Samples/Garden salad.pdf"; do
    grep -qxF "./$f" <<<"$contents" || fail "holds no /$f"
  done

  root=$(mktemp -d)
  trap 'rm -rf "$root"' EXIT
  dpkg -x "$deb" "$root"
  gzip -t "$root"/usr/share/man/man1/*.gz || fail "a manual page is damaged"

  # Both programs answer without a display.
  got=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
    "$root/usr/bin/quillmark-search" --version) || fail "quillmark-search --version failed"
  [ "$got" = "quillmark-search (Quillmark) $version" ] || fail "quillmark-search --version: $got"
  got=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
    "$root/usr/bin/quillmark" --version) || fail "quillmark --version failed"
  [ "$got" = "quillmark (Quillmark) $version" ] || fail "quillmark --version: $got"

  # A search of the installed examples: "salad" is in every recipe but the
  # scanned card; the protected one opens with its password.
  samples=$root/usr/share/quillmark/Samples
  got=$("$root/usr/bin/quillmark-search" --no-progress -l --password quill salad "$samples" 2>/dev/null) ||
    fail "the search of the installed examples failed"
  expected="$samples/Fruit salad - password is quill.pdf
$samples/Garden salad.pdf
$samples/Potato salad.pdf
$samples/Tomato soup.pdf"
  [ "$got" = "$expected" ] || fail "the search of the installed examples found:
$got"
  echo "package.sh: $deb checked: installs, runs and searches its examples" >&2
fi
echo "$deb"
