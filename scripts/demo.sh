#!/usr/bin/env bash
# The main job as an integrator meets it: builds the updater and the
# checker, lays out a program folder holding an older Tavix, packs the sample
# release in examples/ into an update archive in a download folder outside
# the program folder, checks the archive against the installed copy, and lets
# the updater install it. The question is asked on the terminal (answer y to
# see Tavix.exe started); the folder is listed before and after, with what
# changed marked.
#
# Environment: DEMO_DIR (default: demo), BUILD_ROOT (default: build).
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/setup.sh
ensure_packages native

BUILD_ROOT=${BUILD_ROOT:-build}
DEMO_DIR=${DEMO_DIR:-demo}
build="$BUILD_ROOT/demo"

echo "== Building the updater and the checker"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DUPDATER_TESTS=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target updater update_check >/dev/null
echo "   $build/updater"
echo "   $build/update-check"

program="$DEMO_DIR/Tavix"
downloads="$DEMO_DIR/downloads"
rm -rf "$DEMO_DIR"
mkdir -p "$program/bin" "$downloads"
cp "$build/updater" "$program/updater"
cat >"$program/Tavix.exe" <<'TAVIX'
#!/bin/sh
echo "Tavix.exe: started in $(pwd), running version: $(head -n 1 readme.txt)"
TAVIX
chmod +x "$program/Tavix.exe"
printf 'Tavix 2.0\n\nThe previous version.\n' >"$program/readme.txt"
printf 'Stand-in for the Tavix core library, version 2.0.\n' >"$program/bin/tavix-core.dll"
touch -d '2025-01-15 08:00' "$program/readme.txt" "$program/bin/tavix-core.dll"

# The release as a build would lay it out: git keeps no empty folders, so
# the one for logs is made here; every file carries the release time.
release="$DEMO_DIR/release"
cp -R examples/update "$release"
mkdir "$release/logs"
find "$release" -exec touch -d '2026-11-30 09:30' {} +
archive="$downloads/tavix-2.1.zip"

# fingerprint ITEM: what an item below the program folder holds, in short.
fingerprint() {
  if [ -d "$1" ]; then echo folder; else sha256sum <"$1" | cut -c1-16; fi
}

# Each item below the program folder and its fingerprint, a tab between.
fingerprints() {
  (cd "$program" && find . -mindepth 1 | sort | while read -r item; do
    printf '%s\t%s\n' "$item" "$(fingerprint "$item")"
  done)
}

# list_folder [BEFORE]: the program folder, each item marked "new" or
# "changed" against the fingerprints BEFORE when given.
list_folder() {
  local before=${1:-}
  (cd "$program" && find . -mindepth 1 | sort | while read -r item; do
    local mark="" old
    if [ -n "$before" ]; then
      old=$(awk -F'\t' -v item="$item" '$1 == item { print $2 }' <<<"$before")
      if [ -z "$old" ]; then mark=new; elif [ "$old" != "$(fingerprint "$item")" ]; then mark=changed; fi
    fi
    if [ -d "$item" ]; then
      printf '   %-8s %-24s %s\n' "$mark" "$item/" folder
    else
      printf '   %-8s %-24s %7s bytes  %s\n' "$mark" "$item" "$(stat -c %s "$item")" \
        "$(date -r "$item" '+%Y-%m-%d %H:%M')"
    fi
  done)
}

echo
echo "== Packing the release ($release) for download"
python3 tools/update_archive.py pack "$release" "$archive"

echo
echo "== Checking it against the installed copy: update-check $archive $program"
"$build/update-check" "$archive" "$program" || {
  echo "   The checker refuses the archive: it would not install cleanly."
  exit 1
}

echo
echo "== The program folder before the update ($program)"
list_folder
before=$(fingerprints)
echo
echo "== Running: updater $(realpath "$archive")"
status=0
"$program/updater" "$(realpath "$archive")" || status=$?
sleep 0.5
echo
echo "== The program folder after the update (exit code $status)"
list_folder "$before"
if [ -e "$archive" ]; then
  echo "   The archive was kept: the update did not go through."
else
  echo "   The archive was deleted from $downloads: every entry was unpacked."
fi
