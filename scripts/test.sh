#!/usr/bin/env bash
# Builds and runs every test run, prints a summary and exits non-zero when
# any run failed. Run as root on a fresh Debian 12 machine it first installs
# what it needs. The last line is 'N passed, N failed', counting the runs.
#
# Each run is one step_* function below, listed in STEPS. To add a run, write
# a step function (return 0 when it passed, 77 when it does not apply to this
# machine, anything else on failure) and append its name to STEPS.
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

# The locales the tests run in: the Wine runs' Chinese and English
# Windows, and the en_US.UTF-8 that Info-ZIP zip asks for, whatever the
# environment says, before it flags a name as UTF-8.
ensure_test_locales() {
  ensure_locale zh_CN.UTF-8 && ensure_locale en_US.UTF-8
}

# --- the runs -----------------------------------------------------------

# Every C and C++ file of the repository as the project's .clang-format lays
# it out: a file that differs fails the run and the diff says where.
step_format() {
  ensure_packages format || return 1
  local files
  mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.c' '*.inl')
  [ ${#files[@]} -gt 0 ] || { echo "no sources found (not a git checkout?)"; return 1; }
  clang-format --dry-run -Werror "${files[@]}"
}

step_native_release() {
  ensure_packages native || return 1
  ensure_test_locales || return 1
  configure_and_build "$BUILD_ROOT/linux-release" -DCMAKE_BUILD_TYPE=Release || return 1
  run_ctest "$BUILD_ROOT/linux-release"
}

step_native_sanitize() {
  ensure_packages native || return 1
  ensure_test_locales || return 1
  configure_and_build "$BUILD_ROOT/linux-sanitize" -DCMAKE_BUILD_TYPE=Debug -DUPDATER_SANITIZE=ON || return 1
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_ctest "$BUILD_ROOT/linux-sanitize"
}

# The shipped 32-bit Updater.exe: its inspection on this host, and all unit
# tests under a 32-bit Wine where that can run here.
step_windows_i686() {
  ensure_packages windows || return 1
  configure_and_build "$BUILD_ROOT/windows-i686" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake || return 1
  choose_wine
  if [ "$WINE_BITS" = 32 ]; then
    ensure_test_locales || return 1
    run_ctest "$BUILD_ROOT/windows-i686" -LE gui
  else
    echo "NOTE: $WINE_NOTE;"
    echo "      the Windows tests run as a 64-bit build under 64-bit Wine instead (windows_x86_64_wine)."
    run_ctest "$BUILD_ROOT/windows-i686" -LE wine
  fi
}

# The same Windows code built for 64-bit Windows, its tests under 64-bit
# Wine: only where the 32-bit build's tests cannot run under 32-bit Wine.
step_windows_x86_64_wine() {
  choose_wine
  if [ "$WINE_BITS" = 32 ]; then
    echo "not needed: the 32-bit build's tests ran under 32-bit Wine"
    return 77
  fi
  ensure_packages windows wine64 || return 1
  ensure_test_locales || return 1
  configure_and_build "$BUILD_ROOT/windows-x86_64" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake || return 1
  run_ctest "$BUILD_ROOT/windows-x86_64" -LE gui
}

# Updater.exe under Wine on a virtual display with a Chinese locale: the
# question box photographed and answered Yes and No (the build that Wine can
# run on this machine). Screenshots: <build>/tests/e2e_wine/out/*.png.
step_windows_gui_e2e() {
  local build
  ensure_packages gui native || return 1
  ensure_test_locales || return 1
  choose_wine
  if [ "$WINE_BITS" = 32 ]; then
    build=$BUILD_ROOT/windows-i686
    ensure_packages windows || return 1
    configure_and_build "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake || return 1
  else
    build=$BUILD_ROOT/windows-x86_64
    ensure_packages windows wine64 || return 1
    configure_and_build "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake || return 1
  fi
  run_ctest "$build" -L gui
}

# The archive fuzzer (clang, libFuzzer, ASan, UBSan): its regression inputs,
# then FUZZ_SECONDS (default 60) of fuzzing from the seed corpus.
step_fuzz() {
  ensure_packages native fuzz || return 1
  tests/fuzz/run_fuzz.sh "$BUILD_ROOT/fuzz"
}

# A sanitized build with the test-only fault switch: the update with each
# platform call and allocation failing in turn, a full disk, and every other
# test of that build.
step_fault_injection() {
  ensure_packages native || return 1
  ensure_test_locales || return 1
  configure_and_build "$BUILD_ROOT/linux-faults" -DCMAKE_BUILD_TYPE=Debug -DUPDATER_SANITIZE=ON \
    -DUPDATER_FAULT_INJECTION=ON || return 1
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_ctest "$BUILD_ROOT/linux-faults"
}

# The release updater end to end under valgrind's memcheck.
step_memcheck() {
  ensure_packages native valgrind || return 1
  configure_and_build "$BUILD_ROOT/linux-release" -DCMAKE_BUILD_TYPE=Release || return 1
  tests/valgrind/run_memcheck.sh "$BUILD_ROOT/linux-release/updater"
}

STEPS=(
  format
  native_release
  native_sanitize
  windows_i686
  windows_x86_64_wine
  windows_gui_e2e
  fuzz
  fault_injection
  memcheck
)

# --- driver -------------------------------------------------------------

mkdir -p "$BUILD_ROOT"
passed=()
failed=()
skipped=()
for step in "${STEPS[@]}"; do
  echo
  echo "=== run: $step ==="
  started=$SECONDS
  "step_$step" </dev/null
  status=$?
  took="($((SECONDS - started)) s)"
  case $status in
    0) passed+=("$step"); echo "=== $step: passed $took ===" ;;
    77) skipped+=("$step"); echo "=== $step: skipped $took ===" ;;
    *) failed+=("$step"); echo "=== $step: FAILED $took ===" ;;
  esac
done

# Leave no Wine server behind.
for prefix in "$BUILD_ROOT"/*/wineprefix; do
  [ -d "$prefix" ] && WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
done

echo
echo "=== summary ==="
for step in "${passed[@]}"; do echo "passed: $step"; done
for step in "${skipped[@]}"; do echo "skipped: $step"; done
for step in "${failed[@]}"; do echo "FAILED: $step"; done
if [ -n "$WINE_NOTE" ]; then
  echo "not run: the 32-bit Updater.exe was built and inspected, but not run under Wine:"
  echo "  $WINE_NOTE; the Windows tests ran as the 64-bit build under 64-bit Wine"
fi
if [ ${#skipped[@]} -eq 0 ]; then
  echo "${#passed[@]} passed, ${#failed[@]} failed"
else
  echo "${#passed[@]} passed, ${#failed[@]} failed, ${#skipped[@]} skipped"
fi
[ ${#failed[@]} -eq 0 ]
