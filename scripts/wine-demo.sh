#!/usr/bin/env bash
# The demonstration as a Windows user sees it, under Wine: builds the Windows target if
# needed, creates a Wine prefix of its own, registers the simulated terminal (and the
# simulated fiscal printer) as COM servers there, and runs velo-pos.exe demo.
#   scripts/wine-demo.sh [win64|win32] [velo-pos options...]
# On real Windows the same steps are: regsvr32 virozi_sim.dll, regsvr32 opos_sim.dll (the
# 32-bit regsvr32 for the win32 build), then velo-pos.exe demo in the build folder.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

arch=win64
case ${1:-} in
  win32|win64) arch=$1; shift ;;
esac

cannot() {
  echo "wine-demo: this machine cannot run the $arch demonstration: $1" >&2
  exit 1
}

# What the machine lacks, said before anything is built.
case $(uname -m) in
  x86_64|amd64) ;;
  *) cannot "Wine runs Windows x86 programs only on an x86-64 machine, and this one is $(uname -m)" ;;
esac
if [ "$arch" = win32 ]; then
  loader=/usr/lib/wine/wine
  [ -x "$loader" ] || cannot "the 32-bit Wine loader $loader is not installed (run scripts/setup.sh)"
  if ! probe=$("$loader" --version 2>&1); then
    cannot "this kernel does not run 32-bit programs (running $loader gives: $(printf '%s' "$probe" | tail -n 1)); run scripts/wine-demo.sh win64 instead"
  fi
else
  loader=/usr/lib/wine/wine64
  [ -x "$loader" ] || loader=$(command -v wine64 || true)
  [ -n "$loader" ] || cannot "wine64 is not installed (run scripts/setup.sh)"
  if ! probe=$("$loader" --version 2>&1); then
    cannot "wine64 does not start (it gives: $(printf '%s' "$probe" | tail -n 1))"
  fi
fi

build=build/$arch
if [ ! -f "$build/velo-pos.exe" ] || [ ! -f "$build/VELO_VIROZI_10.dll" ] ||
   [ ! -f "$build/virozi_sim.dll" ] || [ ! -f "$build/opos_sim.dll" ]; then
  echo "wine-demo: building velo-pos.exe, VELO_VIROZI_10.dll and the simulators ($arch)"
  bash scripts/setup.sh
  cmake --preset "$arch" >/dev/null
  cmake --build --preset "$arch" -j "${VELO_JOBS:-$(nproc)}" --target velo-pos virozi_sim opos_sim
fi

prefix=$PWD/$build/demo-wineprefix
stop_wine() { WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; }
trap stop_wine EXIT

# Windows sees the Unix root as Z:.
windows_path() { printf 'Z:%s' "$(realpath "$1")" | tr / '\\'; }
for server in virozi_sim opos_sim; do
  echo "wine-demo: registering $server.dll in $prefix"
  if ! bash scripts/wine-run.sh "$arch" "$prefix" regsvr32 /s "$(windows_path "$build/$server.dll")"; then
    cannot "regsvr32 could not register $build/$server.dll in the prefix $prefix"
  fi
done

echo "wine-demo: velo-pos.exe demo"
echo
rc=0
bash scripts/wine-run.sh "$arch" "$prefix" "$build/velo-pos.exe" demo "$@" || rc=$?
echo
echo "wine-demo: the device logs are in $build/LogFiles/Payment"
exit $rc
