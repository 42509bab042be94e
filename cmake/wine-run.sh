#!/usr/bin/env bash
# CTest's emulator for the Windows builds: runs one Windows program under Wine.
#   wine-run.sh PREFIX PROGRAM [ARGS...]
# PREFIX is the Wine prefix of the build tree; it is initialised (wineboot -i)
# on first use, once, under a lock. The loader is picked to match the
# program: 32-bit programs need a Wine that can execute 32-bit x86 code.
# A PROGRAM that is not a file names one of Wine's own (reg, regedit, ...).
# The program's exit code is passed through.
set -euo pipefail

prefix=$1
program=$2
shift 2

export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}

# PE machine field: 0x14c i386, 0x8664 x86-64.
machine=
if [ -f "$program" ]; then
  pe_offset=$(od -An -tu4 -j60 -N4 "$program" | tr -d ' ')
  machine=$(od -An -tx2 -j$((pe_offset + 4)) -N2 "$program" | tr -d ' ')
fi

find_loader() {
  local candidate
  for candidate in "$@"; do
    if command -v "$candidate" >/dev/null 2>&1; then
      command -v "$candidate"
      return 0
    fi
  done
  return 1
}

# The prefix is made by the 64-bit loader where there is one, so that it
# serves both kinds of program.
boot_loader=$(find_loader wine64 /usr/lib/wine/wine64 /usr/lib64/wine/wine64 /usr/lib/wine/wine wine) ||
  { echo "wine-run: no Wine loader found" >&2; exit 127; }
case $machine in
  8664) loader=$(find_loader wine64 /usr/lib/wine/wine64 /usr/lib64/wine/wine64) ||
          { echo "wine-run: no 64-bit Wine loader found" >&2; exit 127; } ;;
  14c) loader=$(find_loader /usr/lib/wine/wine wine) ||
         { echo "wine-run: no 32-bit Wine loader found" >&2; exit 127; } ;;
  *) loader=$boot_loader ;;
esac

mkdir -p "$(dirname "$prefix")"
(
  flock 9
  if [ ! -f "$prefix/system.reg" ]; then
    # Without a display: wineboot would wait for one that is not there.
    # No Mono or Gecko: nothing here needs them, and their installers would ask.
    env -u DISPLAY WINELOADER="$boot_loader" WINEDLLOVERRIDES="mscoree,mshtml=" \
      "$boot_loader" wineboot -i >/dev/null 2>&1 || true
    WINELOADER=$boot_loader "$(dirname "$boot_loader")/wineserver" -w 2>/dev/null ||
      wineserver -w 2>/dev/null || true
    [ -f "$prefix/system.reg" ] || { echo "wine-run: wineboot failed for $prefix" >&2; exit 1; }
  fi
) 9>"$prefix.lock"

export WINELOADER=$loader
exec "$loader" "$program" "$@"
