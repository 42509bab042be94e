#!/usr/bin/env bash
# The main job, shown end to end: builds the updater, lays out a program
# folder holding an older Tavix, packs the sample release in examples/ into
# an update archive and lets the updater install it. The question is asked
# on the terminal (answer y to see Tavix.exe started); the folder is listed
# before and after.
#
# Environment: DEMO_DIR (default: demo), BUILD_ROOT (default: build).
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/setup.sh
ensure_packages native

BUILD_ROOT=${BUILD_ROOT:-build}
DEMO_DIR=${DEMO_DIR:-demo}
build="$BUILD_ROOT/demo"

echo "== Building the updater"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DUPDATER_TESTS=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target updater >/dev/null
echo "   $build/updater"

program="$DEMO_DIR/Tavix"
rm -rf "$DEMO_DIR"
mkdir -p "$program/bin"
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
python3 tools/update_archive.py pack "$release" "$program/update.zip"

list_folder() {
  (cd "$program" && find . -mindepth 1 | sort | while read -r item; do
    if [ -d "$item" ]; then printf '   %-24s %s\n' "$item/" folder
    else printf '   %-24s %7s bytes  %s\n' "$item" "$(stat -c %s "$item")" \
      "$(date -r "$item" '+%Y-%m-%d %H:%M')"
    fi
  done)
}

echo
echo "== The program folder before the update ($program)"
list_folder
echo
echo "== Running: updater $(realpath "$program/update.zip")"
status=0
"$program/updater" "$(realpath "$program/update.zip")" || status=$?
sleep 0.5
echo
echo "== The program folder after the update (exit code $status)"
list_folder
if [ -e "$program/update.zip" ]; then
  echo "   The archive was kept: the update did not go through."
else
  echo "   The archive was deleted: every entry was unpacked."
fi
