#!/usr/bin/env bash
# Builds the program if needed, starts it on a virtual screen with a fresh
# settings store, loads the example files, searches them for "salad" and
# saves a picture of its window as docs/screenshot.png.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

BUILD=${QM_BUILD_DIR:-$QM_ROOT/build}
OUT=${1:-$QM_ROOT/docs/screenshot.png}
if [ ! -x "$BUILD/src/app/quillmark" ]; then
  qm_install_packages
  qm_configure "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build "$BUILD" --target quillmark -j "$QM_JOBS"
fi
cmake --build "$BUILD" --target quillmark_samples >/dev/null
mkdir -p "$(dirname "$OUT")"
rm -f "$OUT"

CONFIG=$(mktemp -d)
trap 'rm -rf "$CONFIG"' EXIT

# The program saves the picture itself (QM_SCREENSHOT) and then ends.
run() {
  XDG_CONFIG_HOME="$CONFIG" QM_SCREENSHOT="$OUT" QM_SCREENSHOT_SEARCH=1 timeout 60 "$@" "$BUILD/src/app/quillmark"
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
