#!/bin/sh
# Runs a command against a private CUPS server with one print queue whose jobs arrive as
# files: each job becomes job-<id>.bin in the folder VELO_TEST_QUEUE_OUT. The command finds
# the queue's name in VELO_TEST_QUEUE; CUPS clients find the server through CUPS_SERVER.
# Exits 77 (skipped) with a line saying why when no CUPS server can be started here.
set -u
skip() { echo "print queue tests skipped: $*"; exit 77; }

cupsd=$(command -v cupsd || echo /usr/sbin/cupsd)
[ -x "$cupsd" ] || skip "cupsd is not installed (Debian package cups-daemon)"
lpadmin=$(command -v lpadmin || echo /usr/sbin/lpadmin)
[ -x "$lpadmin" ] || skip "lpadmin is not installed (Debian package cups-client)"

root=$(mktemp -d "${TMPDIR:-/tmp}/velo-cups.XXXXXX") || exit 1
pid=""
finish() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$root"
}
trap finish EXIT
trap 'exit 1' INT TERM
chmod 755 "$root"
mkdir -p "$root/spool" "$root/cache" "$root/state" "$root/log" "$root/tmp" "$root/conf" \
         "$root/out" "$root/bin/backend"
for part in daemon filter notifier cgi-bin; do
  [ -e "/usr/lib/cups/$part" ] && ln -s "/usr/lib/cups/$part" "$root/bin/$part"
done

# A backend of our own: CUPS's file: device runs no program for a raw queue and so writes
# nothing. Mode 700 makes a root cupsd run it as root, and so able to write the folder.
cat >"$root/bin/backend/velofile" <<'BACKEND'
#!/bin/sh
[ $# -eq 0 ] && { echo 'file velofile "Unknown" "Jobs as files in a folder"'; exit 0; }
dir=${DEVICE_URI#velofile:}
if [ -n "${6:-}" ]; then cat "$6"; else cat; fi >"$dir/job-$1.part" && mv "$dir/job-$1.part" "$dir/job-$1.bin"
BACKEND
chmod 700 "$root/bin/backend/velofile"

cat >"$root/conf/cupsd.conf" <<CONF
Listen $root/cups.sock
LogLevel warn
WebInterface No
Browsing No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
CONF
cat >"$root/conf/cups-files.conf" <<CONF
ServerRoot $root/conf
RequestRoot $root/spool
TempDir $root/tmp
CacheDir $root/cache
StateDir $root/state
AccessLog $root/log/access_log
ErrorLog $root/log/error_log
PageLog $root/log/page_log
ServerBin $root/bin
DataDir /usr/share/cups
CONF

"$cupsd" -f -c "$root/conf/cupsd.conf" -s "$root/conf/cups-files.conf" >"$root/log/stdout" 2>&1 &
pid=$!
tries=0
until [ -S "$root/cups.sock" ]; do
  tries=$((tries + 1))
  if [ $tries -gt 100 ] || ! kill -0 "$pid" 2>/dev/null; then
    cat "$root/log/stdout" "$root/log/error_log" 2>/dev/null
    pid=""
    skip "cupsd did not start here (its output is above)"
  fi
  sleep 0.1
done

CUPS_SERVER=$root/cups.sock
VELO_TEST_QUEUE=velo_test_queue
VELO_TEST_QUEUE_OUT=$root/out
export CUPS_SERVER VELO_TEST_QUEUE VELO_TEST_QUEUE_OUT
if ! "$lpadmin" -p "$VELO_TEST_QUEUE" -E -v "velofile:$VELO_TEST_QUEUE_OUT"; then
  cat "$root/log/error_log" 2>/dev/null
  echo "could not create the print queue"
  exit 1
fi

"$@"
rc=$?
[ $rc = 0 ] || cat "$root/log/error_log" 2>/dev/null
exit $rc
