#!/usr/bin/env bash
# Runs the built updater end to end under valgrind's memcheck, as a user runs
# it (answering No): over a program folder holding an older version, once with
# sound archives made by real tools and once with a damaged one that must be
# kept. Any memcheck error or leak fails the run.
#
# Usage: tests/valgrind/run_memcheck.sh PATH_TO_UPDATER
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
data=$(cd "$here/../data" && pwd)
updater=${1:?usage: run_memcheck.sh PATH_TO_UPDATER}
command -v valgrind >/dev/null || { echo "memcheck: valgrind is not installed"; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0

# run_case NAME ARCHIVE EXPECTED_EXIT
run_case() {
  local name=$1 archive=$2 expected=$3 program=$scratch/$1/prog status
  mkdir -p "$program/docs"
  cp "$updater" "$program/updater"
  printf 'old hello\n' >"$program/hello.txt"
  printf 'old lorem\n' >"$program/docs/lorem.txt"
  cp "$archive" "$scratch/$name/update.zip"
  echo n | valgrind --quiet --error-exitcode=99 --leak-check=full --show-leak-kinds=definite,indirect,possible \
    --errors-for-leak-kinds=definite,indirect,possible --log-file="$scratch/$name.log" \
    "$program/updater" "$scratch/$name/update.zip" >/dev/null
  status=$?
  if [ "$status" -ne "$expected" ] || grep -q 'ERROR SUMMARY: [1-9]' "$scratch/$name.log"; then
    cat "$scratch/$name.log"
    echo "memcheck: $name: exit $status (expected $expected)"
    failed=1
  else
    echo "memcheck: $name: clean (exit $status)"
  fi
}

run_case infozip "$data/infozip.zip" 0
run_case bsdtar "$data/bsdtar.zip" 0
run_case sevenzip "$data/sevenzip.zip" 0
run_case sfx "$data/sfx_unadjusted.zip" 0
head -c 1200 "$data/infozip.zip" >"$scratch/cut.zip"
tail -c 600 "$data/infozip.zip" >>"$scratch/cut.zip"
run_case damaged "$scratch/cut.zip" 2
exit $failed
