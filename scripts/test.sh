#!/usr/bin/env bash
# Installs what is missing, builds both targets and runs every test: natively, with the
# address and undefined-behaviour sanitizers, and the Windows build under Wine.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/setup.sh

jobs=${VELO_JOBS:-$(nproc)}
for preset in native asan win32; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
# Leave no Wine server behind.
WINEPREFIX=$PWD/build/win32/wineprefix wineserver -k 2>/dev/null || true
echo "== all tests passed"
