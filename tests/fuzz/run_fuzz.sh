#!/usr/bin/env bash
# Builds the archive fuzzer with clang and runs it: first every input in
# tests/fuzz/regressions (archives that once broke the reader), then
# FUZZ_SECONDS (default 60) of fuzzing from a fresh copy of the seed corpus
# (the archives in tests/data and the built seeds) in BUILD_DIR/corpus, so
# the repository is never written. Exits non-zero on any finding; its input
# is kept in BUILD_DIR/findings.
#
# Usage: tests/fuzz/run_fuzz.sh BUILD_DIR
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
build=${1:?usage: run_fuzz.sh BUILD_DIR}
seconds=${FUZZ_SECONDS:-60}
mkdir -p "$build"
build=$(cd "$build" && pwd)

CC=clang CXX=clang++ cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DUPDATER_WERROR=ON >"$build.configure.log" 2>&1 ||
  { cat "$build.configure.log"; echo "fuzz: configure failed"; exit 1; }
cmake --build "$build" --parallel "${JOBS:-$(nproc)}" >"$build.build.log" 2>&1 ||
  { tail -n 60 "$build.build.log"; echo "fuzz: build failed"; exit 1; }

# The corpus grows in the build folder, where it stays for a look at what
# the run reached; each run starts again from the seeds.
corpus=$build/corpus
rm -rf "$corpus"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$corpus" "$scratch/tmp" "$build/findings"
"$build/make_fuzz_seeds" "$corpus" || exit 1
cp "$repo"/tests/data/*.zip "$corpus/"

export TMPDIR=$scratch/tmp
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fuzzer=("$build/archive_fuzzer" -rss_limit_mb=2048 -timeout=25 -max_len=16384
        -dict="$here/zip.dict" -artifact_prefix="$build/findings/")

regressions=("$here"/regressions/*.zip)
if [ -e "${regressions[0]}" ]; then
  echo "fuzz: replaying ${#regressions[@]} regression inputs"
  "${fuzzer[@]}" "${regressions[@]}" >"$build/regressions.log" 2>&1 ||
    { tail -n 40 "$build/regressions.log"; echo "fuzz: a regression input fails again"; exit 1; }
fi

echo "fuzz: $seconds s from $(ls "$corpus" | wc -l) seeds"
"${fuzzer[@]}" -max_total_time="$seconds" -print_final_stats=1 "$corpus" >"$build/fuzz.log" 2>&1
status=$?
grep -E '^#[0-9]+[[:space:]]+DONE|^stat::number_of_executed_units|^stat::new_units_added' "$build/fuzz.log"
if [ $status -ne 0 ]; then
  tail -n 60 "$build/fuzz.log"
  echo "fuzz: FINDING (input kept in $build/findings)"
  exit 1
fi
echo "fuzz: no findings"
