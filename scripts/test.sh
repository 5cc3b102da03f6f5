#!/usr/bin/env bash
# Installs what is missing, builds every target and runs every test that this machine can
# run: natively, with the address and undefined-behaviour sanitizers, the 64-bit Windows
# build under wine64, and the 32-bit Windows build under Wine where the kernel runs 32-bit
# programs. The 32-bit product library is always built and its export table checked.
# Exits 0 only when everything that ran passed.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/setup.sh || exit 1

jobs=${VELO_JOBS:-$(nproc)}
logs=build/test-logs
mkdir -p "$logs"
summary=()
failed=0

# Runs one preset: configure, build, then ctest with the given extra arguments.
run_preset() {
  local preset=$1; shift
  local started=$SECONDS line
  echo "== $preset"
  if ! cmake --preset "$preset" >"$logs/$preset.configure.log" 2>&1; then
    cat "$logs/$preset.configure.log"
    summary+=("$preset: configure failed")
    failed=1; return
  fi
  if ! cmake --build --preset "$preset" -j "$jobs"; then
    summary+=("$preset: build failed")
    failed=1; return
  fi
  ctest --preset "$preset" -j "$jobs" "$@" 2>&1 | tee "$logs/$preset.ctest.log"
  local rc=${PIPESTATUS[0]}
  line=$(grep -E 'tests passed|No tests were found' "$logs/$preset.ctest.log" | tail -n 1)
  summary+=("$preset: ${line:-ctest printed no summary} ($((SECONDS - started)) s)")
  [ "$rc" = 0 ] || failed=1
}

# The libFuzzer targets (clang, address and undefined-behaviour sanitizers): each runs
# over the committed regression corpus and then about a minute (scripts/fuzz.sh).
run_fuzz() {
  local started=$SECONDS
  echo "== fuzz"
  if ! cmake --preset fuzz >"$logs/fuzz.configure.log" 2>&1 ||
     ! cmake --build --preset fuzz -j "$jobs" >"$logs/fuzz.build.log" 2>&1; then
    tail -n 30 "$logs/fuzz.configure.log" "$logs/fuzz.build.log"
    summary+=("fuzz: build failed (logs in $logs)")
    failed=1; return
  fi
  bash scripts/fuzz.sh "${VELO_FUZZ_SECONDS:-60}" 2>&1 | tee "$logs/fuzz.log"
  local rc=${PIPESTATUS[0]}
  summary+=("fuzz: $(grep -c 'no findings' "$logs/fuzz.log") of 3 targets ran without findings ($((SECONDS - started)) s)")
  [ "$rc" = 0 ] || failed=1
}

# Whether this kernel runs 32-bit programs: run one (Wine's own 32-bit loader) and look.
win32_reason=""
if [ ! -x /usr/lib/wine/wine ]; then
  win32_reason="the 32-bit Wine loader /usr/lib/wine/wine is not installed"
elif ! probe=$(/usr/lib/wine/wine --version 2>&1); then
  probe=$(printf '%s' "$probe" | tail -n 1)
  win32_reason="running the 32-bit program /usr/lib/wine/wine gives: ${probe##*: }"
fi

run_preset native
run_preset asan

# The thread sanitizer over the native suite: any data race or lock-order report fails it.
run_tsan() {
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}" run_preset tsan
}
run_tsan
run_fuzz
run_preset win64
if [ -z "$win32_reason" ]; then
  run_preset win32
else
  echo "== win32 tests skipped: this machine cannot run 32-bit programs ($win32_reason); the 32-bit DLL is built and its exports and imports checked, nothing 32-bit is run"
  run_preset win32 -R '^product_exports$'
  summary[-1]="${summary[-1]}; only the export check ran: this machine cannot run 32-bit programs"
fi

# Leave no Wine server behind.
for prefix in build/win32/wineprefix build/win64/wineprefix; do
  [ -d "$prefix" ] && WINEPREFIX=$PWD/$prefix wineserver -k 2>/dev/null
done

echo "== summary"
printf '%s\n' "${summary[@]}"
if [ $failed = 0 ]; then
  echo "== all tests that this machine can run passed"
else
  echo "== FAILED (logs in $logs)"
fi
exit $failed
