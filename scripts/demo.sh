#!/usr/bin/env bash
# Installs what is missing, builds the native target and runs a whole shop day through the
# product library against the simulated terminal.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/setup.sh
cmake --preset native >/dev/null
cmake --build --preset native -j "${VELO_JOBS:-$(nproc)}" --target velo-pos
exec build/native/velo-pos demo "$@"
