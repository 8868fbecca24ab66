#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
qm_install_packages
qm_configure "$QM_ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$QM_ROOT/build" -j "$QM_JOBS"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found. To run the program without a screen, use:"
  echo "  xvfb-run -a $QM_ROOT/build/src/app/quillmark"
  exit 1
fi
exec "$QM_ROOT/build/src/app/quillmark" "$@"
