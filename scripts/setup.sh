#!/usr/bin/env bash
# Shared set-up of run.sh and test.sh: installs the Debian packages the project
# needs (as root), or prints the one apt-get line to run; then configures.
set -euo pipefail

# clang with libclang-rt-dev (its sanitizer and libFuzzer run-times, only a
# recommendation of clang) builds the fuzz targets.
QM_PACKAGES=(
  build-essential cmake pkg-config ninja-build
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev libqt6svg6
  libgtest-dev libgmock-dev libbenchmark-dev
  poppler-utils qpdf libxlsxwriter-dev zlib1g-dev libpcre2-dev liblz4-dev libxxhash-dev tesseract-ocr tesseract-ocr-eng
  fonts-liberation xvfb xauth xdg-utils
  python3 python3-openpyxl hyperfine pdfgrep bc time clang libclang-rt-dev clang-format
  dpkg-dev file desktop-file-utils appstream man-db
)

qm_install_packages() {
  local missing=()
  local p
  for p in "${QM_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then
    return 0
  fi
  if [ "$(id -u)" -eq 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -q --no-install-recommends "${missing[@]}"
  else
    echo "Missing Debian packages. Run this once, then run this script again:"
    echo "  sudo apt-get install -y --no-install-recommends ${missing[*]}"
    exit 1
  fi
}

# qm_configure <build dir> [cmake args...]
qm_configure() {
  local dir=$1
  shift
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$QM_ROOT" -B "$dir" -G Ninja "$@"
  fi
}

QM_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
QM_JOBS=$(nproc 2>/dev/null || echo 2)
export QM_ROOT QM_JOBS
