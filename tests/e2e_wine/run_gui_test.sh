#!/usr/bin/env bash
# The Windows updater run as a Chinese-speaking user meets it, under Wine on
# a virtual X display:
#   run_gui_test.sh WINE_RUN UPDATER_EXE TAVIX_STUB_EXE OUTPUT_DIR
# WINE_RUN is cmake/wine-run.sh. For each answer (Yes, No) a program folder is
# laid out with the updater, the stand-in Tavix.exe and an older file; the
# updater is started with LANG=zh_CN.UTF-8 and the archive's Windows path; the
# question box is awaited (xdotool), photographed (OUTPUT_DIR/*.png) and
# answered with the keyboard; then the folder, the archive and the stand-in's
# record are checked.
set -uo pipefail

wine_run=$1
updater=$2
tavix_stub=$3
out=$4

failures=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then
    echo "ok   - $what"
  else
    echo "FAIL - $what"
    failures=$((failures + 1))
  fi
}

for tool in Xvfb xdotool import python3; do
  command -v "$tool" >/dev/null || { echo "FAIL - $tool is not installed"; exit 1; }
done
locale -a | grep -qix 'zh_CN.utf8' || { echo "FAIL - the locale zh_CN.UTF-8 is not generated"; exit 1; }

rm -rf "$out"
mkdir -p "$out"
prefix=$out/wineprefix

# A virtual screen on a free display number.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$out/display" 2>"$out/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$out/display" ] && break; sleep 0.1; done
[ -s "$out/display" ] || { echo "FAIL - Xvfb did not start"; cat "$out/xvfb.log"; exit 1; }
export DISPLAY=:$(head -n 1 "$out/display")

cleanup() {
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
  kill "$xvfb_pid" 2>/dev/null
  wait "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT

# The Chinese UI fonts Windows would have, taken from WenQuanYi Micro Hei.
for face in SimSun NSimSun "Microsoft YaHei"; do
  "$wine_run" "$prefix" reg add 'HKCU\Software\Wine\Fonts\Replacements' \
    /v "$face" /t REG_SZ /d "WenQuanYi Micro Hei" /f >/dev/null 2>&1
done

windows_path() {  # Wine shows the Unix root as drive Z:
  printf 'Z:%s' "$(realpath "$1" | tr / '\\')"
}

# run_case NAME KEY: KEY is the key that answers the question (y or n).
run_case() {
  local name=$1 key=$2
  local dir=$out/$name
  local app=$dir/app
  mkdir -p "$app/bin"
  cp "$updater" "$app/Updater.exe"
  cp "$tavix_stub" "$app/Tavix.exe"
  printf 'Tavix 2.0\n' >"$app/readme.txt"
  printf 'old core\n' >"$app/bin/core.dll"
  python3 - "$dir/update.zip" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    def add(name, data, when):
        info = zipfile.ZipInfo(name, date_time=when)
        info.compress_type = zipfile.ZIP_DEFLATED
        z.writestr(info, data)
    add("readme.txt", "Tavix 3.0\n", (2026, 3, 1, 12, 0, 0))
    add("bin/core.dll", "new core " * 1000, (2026, 3, 1, 12, 0, 2))
    add("docs/deep/changes.txt", "Faster start.\n", (2026, 3, 1, 12, 0, 4))
    add("emptydir/", "", (2026, 3, 1, 12, 0, 6))
PY

  echo "# case $name: answer '$key'"
  LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 \
    "$wine_run" "$prefix" "$app/Updater.exe" "$(windows_path "$dir/update.zip")" \
    >"$dir/updater.out" 2>&1 &
  local pid=$!

  local window
  window=$(timeout 180 xdotool search --sync --name '^Updater$' 2>/dev/null | head -n 1)
  check "$name: the question box appears" test -n "$window"
  if [ -z "$window" ]; then
    import -window root "$out/$name-missing-question.png" 2>/dev/null
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    return
  fi
  sleep 1  # let it draw
  import -window root "$out/$name-question.png"
  check "$name: nothing is unpacked before the answer" \
    test "$(cat "$app/readme.txt")" = "Tavix 2.0" -a ! -e "$app/docs"

  xdotool windowfocus --sync "$window" key "$key"
  local status=timeout
  for _ in $(seq 600); do
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid"
      status=$?
      break
    fi
    sleep 0.1
  done
  check "$name: the updater ends with exit code 0 (got $status)" test "$status" = 0
  [ "$status" = timeout ] && kill "$pid" 2>/dev/null

  check "$name: the archive is deleted" test ! -e "$dir/update.zip"
  check "$name: a file is replaced" test "$(cat "$app/readme.txt")" = "Tavix 3.0"
  check "$name: a deflated file is unpacked" test "$(wc -c <"$app/bin/core.dll")" = 9000
  check "$name: nested folders are created" test -f "$app/docs/deep/changes.txt"
  check "$name: an empty folder is created" test -d "$app/emptydir"
  check "$name: the file time is restored" \
    test "$(TZ=UTC date -r "$app/readme.txt" +%Y-%m-%d)" = 2026-03-01

  if [ "$key" = y ]; then
    for _ in $(seq 200); do [ -e "$app/tavix-ran.txt" ] && break; sleep 0.1; done
    check "$name: Tavix.exe is started" test -e "$app/tavix-ran.txt"
    check "$name: Tavix.exe runs in the program folder" \
      grep -qxF "$(windows_path "$app")" <(head -n 1 "$app/tavix-ran.txt" 2>/dev/null | tr -d '\r')
    check "$name: Tavix.exe starts after the unpacking" \
      grep -qxF 'docs\deep\changes.txt' <(tr -d '\r' <"$app/tavix-saw.txt" 2>/dev/null)
  else
    sleep 2
    check "$name: Tavix.exe is not started" test ! -e "$app/tavix-ran.txt"
  fi
}

run_case yes y
run_case no n

echo "screenshots: $out/*.png"
if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
