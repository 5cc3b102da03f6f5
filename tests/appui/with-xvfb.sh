#!/usr/bin/env bash
# Runs a Windows test program under Wine on a private Xvfb display and takes the
# screenshots it asks for:
#   with-xvfb.sh SHOT_FOLDER WINE_RUN ARCH PREFIX program.exe [args...]
# The program writes SHOT_FOLDER/<name>.ready when its windows are up; this script then
# saves the screen as <name>.ppm and <name>.png there and answers with <name>.captured.
# Exits 77 (skipped) when Xvfb or the capture tools are missing. The display and the
# prefix's Wine server are stopped at the end.
set -u
shots=$1 wine_run=$2 arch=$3 prefix=$4
shift 4

for tool in Xvfb xwd xwdtopnm pamdepth pnmtopng; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "appui: SKIPPED: $tool is not installed (Debian packages xvfb, x11-apps, netpbm; scripts/setup.sh installs them)"
    exit 77
  fi
done
mkdir -p "$shots"
rm -f "$shots"/*.ready "$shots"/*.captured

xvfb_pid=""
program_pid=""
cleanup() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
}
trap cleanup EXIT

# A display number no other X server uses; another may take it between the look and the
# start, so a server that does not come up moves on to the next number.
display=""
for n in $(seq 91 160); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  Xvfb ":$n" -screen 0 800x600x24 -nolisten tcp >"$shots/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.05
  done
  if [ -e "/tmp/.X11-unix/X$n" ] && kill -0 "$xvfb_pid" 2>/dev/null; then
    display=":$n"
    break
  fi
  kill "$xvfb_pid" 2>/dev/null
  wait "$xvfb_pid" 2>/dev/null
  xvfb_pid=""
done
if [ -z "$display" ]; then
  echo "appui: no free X display could be started:" >&2
  cat "$shots/xvfb.log" >&2
  exit 1
fi
echo "appui: Xvfb on $display, screenshots in $shots"

export DISPLAY=$display
# The folder as the Windows program sees it: Wine's drive Z: is the root.
export VELO_SCREENSHOT_DIR="Z:${shots//\//\\}"
export WINEDEBUG=${WINEDEBUG:--all}

"$wine_run" "$arch" "$prefix" "$@" &
program_pid=$!
while kill -0 "$program_pid" 2>/dev/null; do
  for ready in "$shots"/*.ready; do
    [ -e "$ready" ] || continue
    name=$(basename "$ready" .ready)
    rm -f "$ready"
    if xwd -root -silent -display "$display" >"$shots/$name.xwd" &&
       xwdtopnm <"$shots/$name.xwd" 2>/dev/null | pamdepth 255 >"$shots/$name.ppm" 2>/dev/null &&
       pnmtopng <"$shots/$name.ppm" >"$shots/$name.png" 2>/dev/null; then
      rm -f "$shots/$name.xwd"
      echo "appui: screenshot $shots/$name.png"
    else
      echo "appui: capturing $name failed" >&2
    fi
    touch "$shots/$name.captured"
  done
  sleep 0.05
done
wait "$program_pid"
rc=$?
program_pid=""
exit $rc
