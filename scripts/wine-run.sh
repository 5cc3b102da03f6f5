#!/usr/bin/env bash
# Runs a Windows program under Wine in the build's private prefix:
#   wine-run.sh PREFIX program.exe [args...]
# The prefix is created on first use; concurrent callers wait for it.
set -euo pipefail
prefix=$1; shift
export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
mkdir -p "$(dirname "$prefix")"
(
  flock 9
  if [ ! -f "$prefix/system.reg" ]; then
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
  fi
) 9>"$prefix.lock"
exec wine "$@"
