#!/usr/bin/env bash
# The Windows updater run as a Chinese-speaking user meets it, under Wine on
# a virtual X display:
#   run_gui_test.sh WINE_RUN UPDATER_EXE TAVIX_STUB_EXE OUTPUT_DIR
# WINE_RUN is cmake/wine-run.sh. For each answer (Yes, No) a program folder is
# laid out with the updater, the stand-in Tavix.exe and an older file; the
# updater is started with LANG=zh_CN.UTF-8 and the archive's Windows path; the
# question box is awaited (xdotool), photographed (OUTPUT_DIR/*.png) and
# answered with the keyboard; then the folder, the archive and the stand-in's
# record are checked. A third run updates the "yes" folder again while one of
# its files is held open by another Windows process and another is read-only.
set -uo pipefail

script_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
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

# make_archive ZIP ENTRIES: see make_archive.py beside this script.
make_archive() {
  python3 "$script_dir/make_archive.py" "$1" "$2"
}

gbk_name=软件说明.txt

# run_updater NAME FOLDER ARCHIVE_ARGUMENT KEY: starts the updater of FOLDER
# from the current directory, answers the question with KEY (y or n) and
# sets $status to its exit code (or "timeout", "no-question").
run_updater() {
  local name=$1 app=$2 archive=$3 key=$4
  LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 \
    "$wine_run" "$prefix" "$app/Updater.exe" "$archive" >"$out/$name-updater.out" 2>&1 &
  local pid=$!

  local window
  window=$(timeout 180 xdotool search --sync --name '^Updater$' 2>/dev/null | head -n 1)
  check "$name: the question box appears" test -n "$window"
  if [ -z "$window" ]; then
    import -window root "$out/$name-missing-question.png" 2>/dev/null
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    status=no-question
    return
  fi
  sleep 1  # let it draw
  import -window root "$out/$name-question.png"
  check "$name: nothing is unpacked before the answer" \
    test "$(cat "$app/readme.txt")" = "Tavix 2.0" -a ! -e "$app/docs"

  xdotool windowfocus --sync "$window" key "$key"
  status=timeout
  for _ in $(seq 600); do
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid"
      status=$?
      break
    fi
    sleep 0.1
  done
  [ "$status" = timeout ] && kill "$pid" 2>/dev/null
}

read_only() {  # Wine shows a Windows read-only file without write permission
  [ -f "$1" ] && [ $((0$(stat -c %a "$1") & 0222)) = 0 ]
}

has_attribute() {  # has_attribute FOLDER PATH BIT, as the stand-in saw it
  local a
  a=$(tr -d '\r' <"$1/tavix-attrs.txt" 2>/dev/null |
      awk -v p="$2" '{ a = $1; sub(/^[^ ]+ /, ""); if ($0 == p) print a }')
  [ -n "$a" ] && [ $((0x$a & $3)) != 0 ]
}

# run_case NAME KEY: KEY is the key that answers the question (y or n).
# The "no" case names the archive relative to the program folder and starts
# the updater from elsewhere.
run_case() {
  local name=$1 key=$2
  local dir=$out/$name
  local app=$dir/app
  mkdir -p "$app/bin"
  cp "$updater" "$app/Updater.exe"
  cp "$tavix_stub" "$app/Tavix.exe"
  printf 'Tavix 2.0\n' >"$app/readme.txt"
  printf 'old core\n' >"$app/bin/core.dll"
  local zip=$dir/update.zip
  [ "$key" = n ] && zip=$app/update.zip
  make_archive "$zip" "[
    ('readme.txt', 'Tavix 3.0\\n', None, None),
    ('bin/core.dll', 'new core ' * 1000, None, None),
    ('docs/deep/changes.txt', 'Faster start.\\n', None, None),
    ('emptydir/', '', None, None),
    ('licence.txt', 'Read-only licence.\\n' * 500, 0x01, None),
    ('notice.txt', 'Read-only notice.\\n', None, 0o100444),
    ('hidden.dat', 'hidden\\n', 0x02, None),
    ('system.dat', 'system\\n', 0x04, None),
    ('gbk:$gbk_name', 'Chinese read-me\\n', None, None),
  ]"

  echo "# case $name: answer '$key'"
  if [ "$key" = n ]; then
    local here=$PWD
    cd "$dir" || return
    run_updater "$name" "$app" update.zip "$key"
    cd "$here" || return
    check "$name: with a relative archive path, exit code 0 (got $status)" test "$status" = 0
  else
    run_updater "$name" "$app" "$(windows_path "$zip")" "$key"
    check "$name: the updater ends with exit code 0 (got $status)" test "$status" = 0
  fi

  check "$name: the archive is deleted" test ! -e "$zip"
  check "$name: a file is replaced" test "$(cat "$app/readme.txt")" = "Tavix 3.0"
  check "$name: a deflated file is unpacked" test "$(wc -c <"$app/bin/core.dll")" = 9000
  check "$name: nested folders are created" test -f "$app/docs/deep/changes.txt"
  check "$name: an empty folder is created" test -d "$app/emptydir"
  check "$name: the file time is restored" \
    test "$(TZ=UTC date -r "$app/readme.txt" +%Y-%m-%d)" = 2026-03-01
  check "$name: a DOS read-only entry is created read-only" read_only "$app/licence.txt"
  check "$name: a DOS read-only entry is written in full" \
    test "$(wc -c <"$app/licence.txt" 2>/dev/null)" = 9500
  check "$name: a Unix 0444 entry is created read-only" read_only "$app/notice.txt"
  check "$name: a GBK-named entry gets its Chinese name" \
    test "$(cat "$app/$gbk_name" 2>/dev/null)" = "Chinese read-me"

  if [ "$key" = y ]; then
    for _ in $(seq 200); do [ -e "$app/tavix-ran.txt" ] && break; sleep 0.1; done
    check "$name: Tavix.exe is started" test -e "$app/tavix-ran.txt"
    check "$name: Tavix.exe runs in the program folder" \
      grep -qxF "$(windows_path "$app")" <(head -n 1 "$app/tavix-ran.txt" 2>/dev/null | tr -d '\r')
    check "$name: Tavix.exe starts after the unpacking" \
      grep -qxF 'docs\deep\changes.txt' <(tr -d '\r' <"$app/tavix-saw.txt" 2>/dev/null)
    check "$name: Windows sees the read-only attribute" has_attribute "$app" licence.txt 0x01
    check "$name: Windows sees the hidden attribute" has_attribute "$app" hidden.dat 0x02
    check "$name: Windows sees the system attribute" has_attribute "$app" system.dat 0x04
  else
    sleep 2
    check "$name: Tavix.exe is not started" test ! -e "$app/tavix-ran.txt"
  fi
}

# run_failing_case: a second update of the "yes" folder, where one file is
# read-only (from the first update) and one is held open by another Windows
# process; the rest must still go in, and the archive must stay.
run_failing_case() {
  local name=partial
  local dir=$out/$name
  local app=$out/yes/app
  mkdir -p "$dir"
  printf 'Tavix 2.0\n' >"$app/readme.txt"
  rm -rf "$app/docs"
  printf 'locked old\r\n\0binary\n' >"$app/locked.bin"
  cp "$app/locked.bin" "$dir/locked.before"
  cp "$app/licence.txt" "$dir/licence.before"
  cp "$tavix_stub" "$dir/holder.exe"
  make_archive "$dir/update.zip" "[
    ('readme.txt', 'Tavix 3.1\\n', None, None),
    ('licence.txt', 'A new licence.\\n', None, None),
    ('locked.bin', 'locked new\\n', None, None),
    ('docs/deep/changes.txt', 'Even faster.\\n', None, None),
  ]"

  echo "# case $name: answer 'y'"
  "$wine_run" "$prefix" "$dir/holder.exe" --hold "$(windows_path "$app/locked.bin")" \
    >"$out/$name-holder.out" 2>&1 &
  local holder=$!
  for _ in $(seq 300); do [ -e "$app/locked.bin.held" ] && break; sleep 0.1; done
  check "$name: another process holds a file" test -e "$app/locked.bin.held"

  run_updater "$name" "$app" "$(windows_path "$dir/update.zip")" y
  touch "$app/locked.bin.release"
  wait "$holder" 2>/dev/null
  rm -f "$app/locked.bin.held" "$app/locked.bin.release"

  check "$name: the updater ends with exit code 2 (got $status)" test "$status" = 2
  check "$name: the archive is kept" test -f "$dir/update.zip"
  check "$name: the held file stays byte for byte" cmp -s "$dir/locked.before" "$app/locked.bin"
  check "$name: the read-only file stays unchanged" cmp -s "$dir/licence.before" "$app/licence.txt"
  check "$name: the other files are unpacked" \
    test "$(cat "$app/readme.txt")" = "Tavix 3.1" -a \
         "$(cat "$app/docs/deep/changes.txt" 2>/dev/null)" = "Even faster."
}

run_case yes y
run_case no n
run_failing_case

echo "screenshots: $out/*.png"
if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
