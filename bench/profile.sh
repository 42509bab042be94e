#!/usr/bin/env bash
# Where the updater's time goes, in numbers that do not depend on how busy
# the machine is: system calls per entry (strace -c) and instructions
# (valgrind's callgrind, which counts them exactly), on the benchmark's
# archives, unpacked on tmpfs.
#
#   bash bench/profile.sh [ARCHIVE ...]     (default: scale2000 small)
#
# Needs strace and valgrind; run bench/run.sh once first (it makes the
# archives). Builds a Release updater with debug information in
# build-bench/profile/ and leaves the callgrind files there.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BENCH_BUILD:-$root/build-bench}
work=${BENCH_WORK:-/dev/shm/tavix-bench}
archives="$work-archives"
[ $# -gt 0 ] || set -- scale2000 small

for tool in strace valgrind callgrind_annotate; do
    command -v "$tool" >/dev/null || { echo "needs $tool (Debian: strace valgrind)" >&2; exit 1; }
done
[ -f "$archives/small.zip" ] || { echo "no archives in $archives: run bash bench/run.sh first" >&2; exit 1; }

cmake -S "$root" -B "$build/profile" -DCMAKE_BUILD_TYPE=Release -DUPDATER_TESTS=OFF \
    -DCMAKE_CXX_FLAGS=-g >/dev/null
cmake --build "$build/profile" --target updater -j2 >/dev/null

# Unpacks $1 with the updater in a fresh folder under $work/profile, run
# through the command given after it.
unpack() {
    local archive=$1
    shift
    rm -rf "$work/profile"
    mkdir -p "$work/profile/app"
    cp "$build/profile/updater" "$work/profile/app/"
    ln "$archives/$archive.zip" "$work/profile/$archive.zip"
    echo n | env -u DISPLAY -u WAYLAND_DISPLAY "$@" \
        "$work/profile/app/updater" "$work/profile/$archive.zip" >/dev/null
}

for archive in "$@"; do
    entries=$(python3 -c "import sys, zipfile; print(len(zipfile.ZipFile(sys.argv[1]).infolist()))" \
        "$archives/$archive.zip")
    echo "## $archive.zip: $entries entries"
    echo
    unpack "$archive" strace -f -c -o "$work/strace.txt"
    echo "| system call | calls | per entry |"
    echo "|---|---:|---:|"
    awk -v n="$entries" '$NF ~ /^[a-z_0-9]+$/ && $4 ~ /^[0-9]+$/ && $NF != "total" {
            printf "| %s | %d | %.1f |\n", $NF, $4, $4 / n }' "$work/strace.txt" |
        sort -t'|' -k3 -nr | head -14
    awk -v n="$entries" '$NF == "total" { printf "| all | %d | %.1f |\n", $4, $4 / n }' "$work/strace.txt"
    echo
    out="$build/profile/callgrind.$archive"
    unpack "$archive" valgrind -q --tool=callgrind --callgrind-out-file="$out"
    total=$(callgrind_annotate "$out" | awk '/PROGRAM TOTALS/ { gsub(",", "", $1); print $1 }')
    echo "Instructions: $total ($((total / entries)) per entry). Most inclusive:"
    echo
    echo '```'
    callgrind_annotate --inclusive=yes "$out" | python3 -c '
import re, sys
seen = set()
for line in sys.stdin:
    match = re.match(r"\s*([0-9,]+) \(\s*([0-9.]+)%\)\s+(.*?)(\s+\[.*\])?$", line)
    if not match or "PROGRAM TOTALS" in line:
        continue
    # The same function under its full and its relative file name: once.
    name = re.sub(r"^[^ ]*?:(?=[^:])", "", match.group(3), count=1)
    if name in seen or "below main" in name or name.startswith("0x0000000000"):
        continue
    seen.add(name)
    print("%13s %5s%%  %s" % (match.group(1), match.group(2), name[:100]))
' | sed -n '3,24p'
    echo '```'
    echo
done
rm -rf "$work/profile" "$work/strace.txt"
