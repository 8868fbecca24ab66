#!/usr/bin/env bash
# Builds quillmark-screenshot (tools/screenshot) if needed and runs it on a
# virtual screen with a fresh settings store: it makes the program's window,
# loads the example files, searches them for "salad" and saves a picture of
# the window as docs/screenshot.png.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

BUILD=${QM_BUILD_DIR:-$QM_ROOT/build}
OUT=${1:-$QM_ROOT/docs/screenshot.png}
TOOL=$BUILD/tools/screenshot/quillmark-screenshot
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  qm_install_packages
  qm_configure "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$BUILD" --target quillmark-screenshot -j "$QM_JOBS"
mkdir -p "$(dirname "$OUT")"
rm -f "$OUT"

CONFIG=$(mktemp -d)
trap 'rm -rf "$CONFIG"' EXIT

run() {
  XDG_CONFIG_HOME="$CONFIG" timeout 60 "$@" "$TOOL" --search "$OUT"
}
if command -v xvfb-run >/dev/null 2>&1; then
  run xvfb-run -a -s "-screen 0 1280x800x24"
else
  echo "xvfb-run not found; drawing without a screen instead."
  QT_QPA_PLATFORM=offscreen run env
fi

if [ ! -s "$OUT" ]; then
  echo "No screenshot was written." >&2
  exit 1
fi
echo "Saved $OUT"
