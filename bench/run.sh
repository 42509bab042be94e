#!/usr/bin/env bash
# Benchmark: the updater against unzip, bsdtar, 7z and Python's zipfile,
# side by side in one run, on tmpfs. Builds the Release updater and the zlib
# floor, makes the archives, times every tool and writes the tables into
# docs/performance.md.
#
#   bash bench/run.sh [--runs N] [--disk [--settle S]] [--also SOURCE LABEL] [--no-doc]
#
#   --runs N   timed runs per tool and archive after the warm-up (default 5)
#   --disk     a second table with the archives and output on the project's
#              disk (noisy here: for reference, not the yardstick), and a
#              third there: the updater against bsdtar and unzip each
#              followed by sync, in pairs, into an empty folder and over an
#              install of the same version
#   --settle S each counted run of the third table waits S seconds first,
#              untimed (default 65): a run then starts on a disk whose work
#              for the run before is done, as a user's update does
#   --also SOURCE LABEL
#              also time the updater built from another source tree (a
#              work tree of a branch, say), linked like the Windows build
#   --no-doc   print the tables only
#
# Environment: BENCH_BUILD (build folder, default build-bench/ in the
# repository), BENCH_WORK (tmpfs work folder, default /dev/shm/tavix-bench).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BENCH_BUILD:-$root/build-bench}
work=${BENCH_WORK:-/dev/shm/tavix-bench}
runs=5
also=()
disk=0
settle=65
doc=(--doc "$root/docs/performance.md")
# How the results were made, for the page: a second tree's path is this
# machine's, so it is named as TREE (its commit goes with its label).
command="bash bench/run.sh"
for ((i = 1; i <= $#; i++)); do
    if [ "${!i}" = --also ]; then
        label_at=$((i + 2))
        command+=" --also TREE '${!label_at}'"
        i=$label_at
    else
        command+=" ${!i}"
    fi
done

while [ $# -gt 0 ]; do
    case "$1" in
        --runs) runs=$2; shift 2 ;;
        --disk) disk=1; shift ;;
        --settle) settle=$2; shift 2 ;;
        --also) also=("$2" "$3"); shift 3 ;;
        --no-doc) doc=(); shift ;;
        *) echo "usage: bash bench/run.sh [--runs N] [--disk [--settle S]] [--also SOURCE LABEL] [--no-doc]" >&2; exit 2 ;;
    esac
done

# The tools compared, and what builds the updater.
source "$root/scripts/setup.sh"
ensure_packages bench || exit 1
for tool in unzip bsdtar 7z python3 cmake g++ /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "bench: $tool is missing (run as root to install it)" >&2; exit 1; }
done
if ! df -t tmpfs "$(dirname "$work")" >/dev/null 2>&1; then
    echo "note: $(dirname "$work") is not tmpfs; the disk's noise will show in the times" >&2
fi

# build_updater SOURCE BUILD_DIR [CMAKE_ARGS...]: a Release updater.
build_updater() {
    local source=$1 dir=$2
    shift 2
    cmake -S "$source" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DUPDATER_TESTS=OFF "$@" >/dev/null
    cmake --build "$dir" --target updater -j2 >/dev/null
}

# Two builds of the same sources: as the project's CMake links it on Linux
# (shared C++ runtime), and with the C++ runtime linked in, as the Windows
# build always is.
static=("-DCMAKE_EXE_LINKER_FLAGS=-static-libstdc++ -static-libgcc")
note="the same with -static-libstdc++ -static-libgcc, linked like the Windows build"
echo "Building the updater (Release) ..." >&2
build_updater "$root" "$build/shared"
build_updater "$root" "$build/static" "${static[@]}"
updaters=(--updater "updater" "$build/shared/updater" "the project's CMake Release build"
          --updater "updater, static runtime" "$build/static/updater" "$note")
if [ ${#also[@]} -gt 0 ]; then
    build_updater "${also[0]}" "$build/also" "${static[@]}"
    updaters+=(--updater "updater, ${also[1]}" "$build/also/updater"
               "built from $(cd "${also[0]}" && git log -1 --format='%h %s' 2>/dev/null || echo "${also[0]}"), static runtime")
fi
g++ -std=c++17 -O2 -Wall -Wextra "$root/bench/zlib_floor.cpp" -lz -o "$build/zlib_floor"

# The archives are deterministic: made again only when their recipe changes.
archives="$work-archives"
stamp=$(sha256sum "$root/bench/make_archives.py" | cut -c1-64)
if [ "$(cat "$archives/recipe" 2>/dev/null)" != "$stamp" ]; then
    echo "Making the archives ..." >&2
    rm -rf "$archives"
    python3 "$root/bench/make_archives.py" "$archives"
    echo "$stamp" > "$archives/recipe"
fi

storage=(--storage "tmpfs (/dev/shm): the yardstick" "$work/run")
if [ "$disk" = 1 ]; then
    device=$(df --output=fstype "$root" | tail -1)
    storage+=(--storage "disk ($device, for reference)" "$build/disk-run")
    storage+=(--durable "disk ($device)" "$build/disk-run" --settle "$settle")
fi

python3 "$root/bench/bench.py" \
    --archives "$archives" --floor "$build/zlib_floor" --runs "$runs" \
    "${updaters[@]}" "${storage[@]}" --json "$build/bench-results.json" --command "$command" "${doc[@]}"
