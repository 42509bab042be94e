#!/usr/bin/env bash
# Builds and runs every test run, prints a summary and exits non-zero when
# any run failed. Run as root on a fresh Debian 12 machine it first installs
# what it needs. The last line is 'N passed, N failed', counting the runs.
#
# Each run is one step_* function below, listed in STEPS. To add a run, write
# a step function (return non-zero on failure) and append its name to STEPS.
#
# Environment: BUILD_ROOT (default: build), JOBS (default: number of cores).
set -uo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/setup.sh

BUILD_ROOT=${BUILD_ROOT:-build}
JOBS=${JOBS:-$(nproc)}

# configure_and_build BUILD_DIR [CMAKE_ARGS...]
configure_and_build() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -DUPDATER_WERROR=ON "$@" >"$dir.configure.log" 2>&1 ||
    { cat "$dir.configure.log"; echo "configure failed: $dir"; return 1; }
  cmake --build "$dir" --parallel "$JOBS" >"$dir.build.log" 2>&1 ||
    { tail -n 60 "$dir.build.log"; echo "build failed: $dir (full log: $dir.build.log)"; return 1; }
}

# run_ctest BUILD_DIR [CTEST_ARGS...]
run_ctest() {
  local dir=$1
  shift
  ctest --test-dir "$dir" --output-on-failure --no-tests=error --timeout 900 "$@"
}

# --- the runs -----------------------------------------------------------

step_native_release() {
  ensure_packages native || return 1
  configure_and_build "$BUILD_ROOT/linux-release" -DCMAKE_BUILD_TYPE=Release || return 1
  run_ctest "$BUILD_ROOT/linux-release"
}

step_native_sanitize() {
  ensure_packages native || return 1
  configure_and_build "$BUILD_ROOT/linux-sanitize" -DCMAKE_BUILD_TYPE=Debug -DUPDATER_SANITIZE=ON || return 1
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_ctest "$BUILD_ROOT/linux-sanitize"
}

# The shipped 32-bit Updater.exe: its inspection on this host, and all unit
# tests under a 32-bit Wine where this machine can execute 32-bit code.
step_windows_i686() {
  ensure_packages windows || return 1
  configure_and_build "$BUILD_ROOT/windows-i686" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake || return 1
  if can_run_x86_32; then
    ensure_packages wine32 wine64 || return 1
    run_ctest "$BUILD_ROOT/windows-i686"
  else
    echo "NOTE: this machine cannot execute 32-bit x86 code, so 32-bit Wine cannot run here;"
    echo "      the Windows unit tests run as a 64-bit build under 64-bit Wine instead (windows_x86_64_wine)."
    run_ctest "$BUILD_ROOT/windows-i686" -LE wine
  fi
}

# The same Windows code built for 64-bit Windows, its tests under 64-bit
# Wine: only on machines that cannot run the 32-bit build's tests.
step_windows_x86_64_wine() {
  if can_run_x86_32; then
    echo "skipped: the 32-bit build's tests ran under 32-bit Wine"
    return 0
  fi
  ensure_packages windows wine64 || return 1
  configure_and_build "$BUILD_ROOT/windows-x86_64" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake || return 1
  run_ctest "$BUILD_ROOT/windows-x86_64"
}

STEPS=(
  native_release
  native_sanitize
  windows_i686
  windows_x86_64_wine
)

# --- driver -------------------------------------------------------------

mkdir -p "$BUILD_ROOT"
passed=()
failed=()
for step in "${STEPS[@]}"; do
  echo
  echo "=== run: $step ==="
  started=$SECONDS
  if "step_$step" </dev/null; then
    passed+=("$step")
    echo "=== $step: passed ($((SECONDS - started)) s) ==="
  else
    failed+=("$step")
    echo "=== $step: FAILED ($((SECONDS - started)) s) ==="
  fi
done

# Leave no Wine server behind.
for prefix in "$BUILD_ROOT"/*/wineprefix; do
  [ -d "$prefix" ] && WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
done

echo
echo "=== summary ==="
for step in "${passed[@]}"; do echo "passed: $step"; done
for step in "${failed[@]}"; do echo "FAILED: $step"; done
echo "${#passed[@]} passed, ${#failed[@]} failed"
[ ${#failed[@]} -eq 0 ]
