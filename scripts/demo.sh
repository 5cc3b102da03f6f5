#!/usr/bin/env bash
# Installs what is missing, builds the native target and runs the demonstration.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/setup.sh
cmake --preset native >/dev/null
cmake --build --preset native -j "${VELO_JOBS:-$(nproc)}" --target velo-logdemo
exec build/native/tools/logdemo/velo-logdemo "$@"
