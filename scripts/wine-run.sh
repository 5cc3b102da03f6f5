#!/usr/bin/env bash
# Runs a Windows program under Wine in one of the build's private prefixes:
#   wine-run.sh win32|win64 PREFIX program.exe [args...]
# The prefix is created on first use; concurrent callers wait for it. win32 needs a kernel
# that runs 32-bit programs; win64 runs on every x86-64 machine.
set -euo pipefail
arch=$1 prefix=$2; shift 2
case $arch in
  win32) loader=/usr/lib/wine/wine ;;
  win64) loader=/usr/lib/wine/wine64 ;;
  *) echo "wine-run: unknown Windows kind '$arch' (win32 or win64)" >&2; exit 2 ;;
esac
[ -x "$loader" ] || loader=$(command -v "$(basename "$loader")" || true)
if [ -z "$loader" ]; then
  echo "wine-run: no Wine loader for $arch; run scripts/setup.sh" >&2
  exit 2
fi
export WINEPREFIX=$prefix WINEARCH=$arch WINELOADER=$loader WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
mkdir -p "$(dirname "$prefix")"
(
  flock 9
  if [ ! -f "$prefix/system.reg" ]; then
    log=$prefix.boot.log
    rc=0
    "$loader" wineboot -i >"$log" 2>&1 || rc=$?
    wineserver -w >>"$log" 2>&1 || true
    if [ ! -f "$prefix/system.reg" ]; then
      echo "wine-run: creating the $arch prefix $prefix failed (wineboot exit $rc):" >&2
      sed 's/^/  | /' "$log" >&2
      if grep -qi 'exec format error' "$log" ||
         { [ "$arch" = win32 ] && ! "$loader" --version >/dev/null 2>&1; }; then
        echo "wine-run: hint: this kernel cannot run 32-bit programs, so no win32 program runs here; use the win64 preset" >&2
      fi
      rm -rf "$prefix"
      exit 1
    fi
  fi
) 9>"$prefix.lock"
exec "$loader" "$@"
