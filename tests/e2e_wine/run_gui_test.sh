#!/usr/bin/env bash
# The Windows updater run as a Chinese-speaking user meets it, under Wine on
# a virtual X display:
#   run_gui_test.sh WINE_RUN UPDATER_EXE TAVIX_STUB_EXE OUTPUT_DIR UI1_DIR UI2_DIR LEGACY_UPDATER_EXE
#                   KIT1_DIR KIT2_DIR
# WINE_RUN is cmake/wine-run.sh. UI1_DIR and UI2_DIR each hold a version of an
# application whose Tavix.exe needs its tavixui.dll. LEGACY_UPDATER_EXE is the
# updater without the manifest's UTF-8 code page, as an older Windows runs it.
# For each answer (Yes, No) a program folder is
# laid out with the updater, the stand-in Tavix.exe and an older file; the
# updater is started with LANG=zh_CN.UTF-8 and the archive's Windows path; the
# question box is awaited (xdotool), photographed (OUTPUT_DIR/*.png) and
# answered with the keyboard; then the folder, the archive and the stand-in's
# record are checked. A third run updates the "yes" folder again while one of
# its files is held open by another Windows process and another is read-only:
# the whole update is undone. Then a new Tavix.exe that needs its new library,
# which another process holds: the old version stays whole and starts. An
# update carrying Updater.exe fails on a held file and goes through once it
# is let go; a run killed in its swap leaves a program that starts, and the
# next run puts it right.
# Then archives made by Python's zipfile, 7z and bsdtar with Chinese names in
# nested folders go in over an older version, and an English Windows (code
# page 1252) is shown the question and takes the Chinese names. An install
# below folders named in several scripts, in both locales, takes names in
# any script; the updater of an older Windows never takes a best-fit twin of
# its folder or its archive for them. KIT1_DIR and KIT2_DIR each hold a
# version of a main program written with the client library (kit/), which
# starts the update, tells its outcome and retries it.
set -uo pipefail

script_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
wine_run=$1
updater=$2
tavix_stub=$3
out=$4
ui1=$5
ui2=$6
legacy_updater=$7
kit1=$8
kit2=$9

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

for tool in Xvfb xdotool import python3 7z bsdtar iconv; do
  command -v "$tool" >/dev/null || { echo "FAIL - $tool is not installed"; exit 1; }
done
for locale in zh_CN en_US; do
  locale -a | grep -qix "$locale.utf8" || { echo "FAIL - the locale $locale.UTF-8 is not generated"; exit 1; }
done

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

# zip_files ZIP NAME...: each NAME, a path from the current directory, packed
# into ZIP by Python's zipfile, deflated.
zip_files() {
  python3 -c 'import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    for name in sys.argv[2:]:
        z.write(name)' "$@"
}

gbk_name=软件说明.txt

# run_updater NAME FOLDER ARCHIVE_ARGUMENT KEY: starts the updater of FOLDER
# from the current directory, answers the question with KEY (y or n) and
# sets $status to its exit code (or "timeout", "no-question"). The locale is
# $updater_locale, Chinese unless set.
run_updater() {
  local name=$1 app=$2 archive=$3 key=$4
  local locale=${updater_locale:-zh_CN.UTF-8}
  LANG=$locale LC_ALL=$locale \
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
  local answered=$SECONDS
  [ -n "${after_answer:-}" ] && (eval "$after_answer") &
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
  took=$((SECONDS - answered))
}

# wait_for_tavix APP: waits up to 20 s for the stand-in Tavix.exe started in
# APP to write its record.
wait_for_tavix() {
  for _ in $(seq 200); do [ -e "$1/tavix-ran.txt" ] && break; sleep 0.1; done
}

# start_holder EXE FILE [HOW]: starts the stand-in EXE holding FILE open
# without sharing, or with HOW --scan as a scanner does (see tavix_stub.c),
# and waits until it does; $holder is its pid.
start_holder() {
  "$wine_run" "$prefix" "$1" "${3:---hold}" "$(windows_path "$2")" >>"$out/holders.out" 2>&1 &
  holder=$!
  for _ in $(seq 300); do [ -e "$2.held" ] && break; sleep 0.1; done
}

# stop_holder FILE: lets the holder of FILE go and waits for it to end.
stop_holder() {
  touch "$1.release"
  wait "$holder" 2>/dev/null
  rm -f "$1.held" "$1.release"
}

# program_folder APP [UPDATER]: lays out a program folder with the updater
# (UPDATER_EXE unless given), the stand-in Tavix.exe and the older readme
# every case starts from.
program_folder() {
  mkdir -p "$1"
  cp "${2:-$updater}" "$1/Updater.exe"
  cp "$tavix_stub" "$1/Tavix.exe"
  printf 'Tavix 2.0\n' >"$1/readme.txt"
}

# install_state FOLDER: every file below FOLDER with its bytes' checksum and
# write bit, the stand-in's own records and the updater's own files left out.
install_state() {
  (cd "$1" && find . -type f ! -name 'tavix-*.txt' ! -path '*~tvx*' -printf '%p %m ' \
     -exec md5sum {} \; | sort)
}

own_files() {  # the updater's own files and areas below FOLDER
  find "$1" -path '*~tvx*'
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
  program_folder "$app"
  mkdir -p "$app/bin"
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
    wait_for_tavix "$app"
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
# process: the update fails, and the folder is the old version whole.
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

  local before
  before=$(install_state "$app")
  echo "# case $name: answer 'y'"
  start_holder "$dir/holder.exe" "$app/locked.bin"
  check "$name: another process holds a file" test -e "$app/locked.bin.held"

  run_updater "$name" "$app" "$(windows_path "$dir/update.zip")" y
  stop_holder "$app/locked.bin"

  check "$name: the updater ends with exit code 2 (got $status)" test "$status" = 2
  check "$name: a file that stays held costs a bounded wait (${took}s)" test "$took" -le 8
  check "$name: the archive is kept" test -f "$dir/update.zip"
  check "$name: the held file stays byte for byte" cmp -s "$dir/locked.before" "$app/locked.bin"
  check "$name: the read-only file stays unchanged" cmp -s "$dir/licence.before" "$app/licence.txt"
  check "$name: the files that went in are undone, the folder made is gone" \
    test "$(install_state "$app")" = "$before" -a ! -e "$app/docs"
  check "$name: nothing is left to play back, nothing of the updater's own" \
    test -z "$(own_files "$app")"
}

# ui_case_folders DIR: DIR/app, a program folder with version 1 of the
# stand-in application (Tavix.exe and its tavixui.dll), DIR/release with
# version 2, and a holder, DIR/holder.exe.
ui_case_folders() {
  program_folder "$1/app"
  cp "$ui1/Tavix.exe" "$ui1/tavixui.dll" "$1/app/"
  cp "$tavix_stub" "$1/holder.exe"
  mkdir -p "$1/release"
  cp "$ui2/Tavix.exe" "$ui2/tavixui.dll" "$1/release/"
}

# run_library_case: a new Tavix.exe that calls a function only its new
# tavixui.dll has, while a scanner holds the old tavixui.dll past the
# updater's wait: the update fails whole, the old Tavix.exe starts on Yes and
# runs with its old library. Once the holder lets go, the same archive
# installs the whole new version, which starts and runs.
run_library_case() {
  local name=library
  local dir=$out/$name
  local app=$dir/app zip=$dir/update.zip
  ui_case_folders "$dir"
  printf 'Tavix 3.0\n' >"$dir/release/readme.txt"
  (cd "$dir/release" && zip_files "$zip" Tavix.exe readme.txt tavixui.dll)
  local before
  before=$(install_state "$app")

  echo "# case $name: answer 'y'"
  start_holder "$dir/holder.exe" "$app/tavixui.dll" --scan
  check "$name: a scanner holds the library" test -e "$app/tavixui.dll.held"
  run_updater "$name" "$app" "$(windows_path "$zip")" y
  wait_for_tavix "$app"
  stop_holder "$app/tavixui.dll"
  check "$name: exit code 2 (got $status)" test "$status" = 2
  check "$name: the archive is kept" test -f "$zip"
  check "$name: the install is the old version byte for byte" \
    test "$(install_state "$app")" = "$before"
  check "$name: the old Tavix.exe starts on Yes and runs with its library" \
    grep -qx 'ui 1' <(tr -d '\r' <"$app/tavix-ran.txt" 2>/dev/null)

  rm -f "$app"/tavix-*.txt
  echo "# case $name-again: answer 'y'"
  run_updater "$name-again" "$app" "$(windows_path "$zip")" y
  wait_for_tavix "$app"
  check "$name-again: once the holder let go, exit code 0 (got $status)" test "$status" = 0
  check "$name-again: the archive is deleted" test ! -e "$zip"
  check "$name-again: the new Tavix.exe is in" cmp -s "$ui2/Tavix.exe" "$app/Tavix.exe"
  check "$name-again: the new library is in" cmp -s "$ui2/tavixui.dll" "$app/tavixui.dll"
  check "$name-again: the new readme is in" test "$(cat "$app/readme.txt")" = "Tavix 3.0"
  check "$name-again: the new Tavix.exe starts and runs with its new library" \
    grep -qx 'ui 2' <(tr -d '\r' <"$app/tavix-ran.txt" 2>/dev/null)
  check "$name-again: nothing of the updater's own is left" test -z "$(own_files "$app")"
}

# run_released_case: a file held without sharing for half a second after
# the answer, as an antivirus scanner holds a new file for a moment.
run_released_case() {
  local name=released
  local dir=$out/$name
  local app=$dir/app zip=$dir/update.zip
  program_folder "$app"
  cp "$tavix_stub" "$dir/holder.exe"
  printf 'scanned old\n' >"$app/scanned.dll"
  make_archive "$zip" "[('scanned.dll', 'scanned new\\n', None, None)]"
  echo "# case $name: answer 'n'"
  start_holder "$dir/holder.exe" "$app/scanned.dll"
  check "$name: another process holds a file" test -e "$app/scanned.dll.held"
  after_answer="sleep 0.5; touch '$app/scanned.dll.release'" \
    run_updater "$name" "$app" "$(windows_path "$zip")" n
  stop_holder "$app/scanned.dll"
  check "$name: exit code 0 once the holder let go (got $status)" test "$status" = 0
  check "$name: the held file is replaced" test "$(cat "$app/scanned.dll")" = "scanned new"
  check "$name: the archive is deleted" test ! -e "$zip"
}

# run_self_update_case: an update that carries a new Updater.exe, the
# program that is running, and a new Tavix.exe while a Tavix.exe still runs;
# then the next update, which must clear what the first moved aside.
run_self_update_case() {
  local name=self-update
  local dir=$out/$name
  local app=$dir/app zip=$dir/update.zip
  program_folder "$app"
  printf 'held by the running Tavix.exe\n' >"$app/session.lock"
  # Still programs, with a trailer that tells the new builds from the old.
  { cat "$updater"; printf 'new updater build\n'; } >"$dir/Updater.exe"
  { cat "$tavix_stub"; printf 'new tavix build\n'; } >"$dir/Tavix.exe"
  (cd "$dir" && zip_files "$zip" Updater.exe Tavix.exe)

  echo "# case $name: answer 'n'"
  start_holder "$app/Tavix.exe" "$app/session.lock"
  check "$name: Tavix.exe is running" test -e "$app/session.lock.held"
  run_updater "$name" "$app" "$(windows_path "$zip")" n
  stop_holder "$app/session.lock"
  check "$name: exit code 0 (got $status)" test "$status" = 0
  check "$name: the archive is deleted" test ! -e "$zip"
  check "$name: the running Updater.exe is replaced byte for byte" cmp -s "$dir/Updater.exe" "$app/Updater.exe"
  check "$name: the running Tavix.exe is replaced byte for byte" cmp -s "$dir/Tavix.exe" "$app/Tavix.exe"

  make_archive "$zip" "[('readme.txt', 'Tavix 3.2\\n', None, None)]"
  echo "# case $name-next: answer 'n'"
  run_updater "$name-next" "$app" "$(windows_path "$zip")" n
  check "$name-next: the new updater runs the next update (got $status)" test "$status" = 0
  check "$name-next: nothing moved out is left behind" test -z "$(own_files "$app")"
}

# run_held_self_update_case: an update that carries Updater.exe meets a
# file held without sharing past the waits: exit 2, the old version whole
# and nothing left to play back; once the holder let go, the same archive
# goes through, the new updater with it.
run_held_self_update_case() {
  local name=held-self-update
  local dir=$out/$name
  local app=$dir/app zip=$dir/update.zip
  program_folder "$app"
  cp "$tavix_stub" "$dir/holder.exe"
  printf 'old data\n' >"$app/data.bin"
  mkdir -p "$dir/release"
  { cat "$updater"; printf 'new updater build\n'; } >"$dir/release/Updater.exe"
  printf 'new data\n' >"$dir/release/data.bin"
  printf 'Tavix 3.0\n' >"$dir/release/readme.txt"
  (cd "$dir/release" && zip_files "$zip" Updater.exe readme.txt data.bin)
  local before
  before=$(install_state "$app")

  echo "# case $name: answer 'n'"
  start_holder "$dir/holder.exe" "$app/data.bin"
  check "$name: another process holds a file" test -e "$app/data.bin.held"
  run_updater "$name" "$app" "$(windows_path "$zip")" n
  stop_holder "$app/data.bin"
  check "$name: exit code 2 (got $status)" test "$status" = 2
  check "$name: the archive is kept" test -f "$zip"
  check "$name: the install is the old version byte for byte" \
    test "$(install_state "$app")" = "$before"
  check "$name: nothing is left to play back, nothing of the updater's own" \
    test -z "$(own_files "$app")"

  echo "# case $name-again: answer 'n'"
  run_updater "$name-again" "$app" "$(windows_path "$zip")" n
  check "$name-again: once the holder let go, exit code 0 (got $status)" test "$status" = 0
  check "$name-again: the archive is deleted" test ! -e "$zip"
  check "$name-again: the new Updater.exe is in" cmp -s "$dir/release/Updater.exe" "$app/Updater.exe"
  check "$name-again: the held file is replaced" test "$(cat "$app/data.bin")" = "new data"
  check "$name-again: only the old updater, running to the end, is left (for the next run)" \
    test "$(own_files "$app" | wc -l)" = 2 -a -n "$(find "$app/~tvx.old" -type f -exec cmp -s "$updater" {} \; -print)"
}

# run_kill_case: the updater killed while its swap waits for a held file,
# the new library already in and the new Tavix.exe not yet (it goes last):
# the program the user starts is the old one, and it starts and runs; the
# next updater run undoes the swap and installs the update whole.
run_kill_case() {
  local name=kill
  local dir=$out/$name
  local app=$dir/app zip=$dir/update.zip
  ui_case_folders "$dir"
  printf 'old data\n' >"$app/data.bin"
  printf 'new notes\n' >"$dir/release/notes.txt"
  printf 'new data\n' >"$dir/release/data.bin"
  (cd "$dir/release" && zip_files "$zip" Tavix.exe tavixui.dll notes.txt data.bin)

  echo "# case $name: answer 'n', then killed in the swap"
  start_holder "$dir/holder.exe" "$app/data.bin"
  # Killed once its record is there and the swap waits for the held file;
  # run_updater's $pid is the Windows process itself (wine-run.sh execs).
  after_answer='for _ in $(seq 300); do [ -e "$app/~tvx.swap" ] && break; sleep 0.05; done
    sleep 0.5; kill -9 $pid 2>/dev/null' \
    run_updater "$name" "$app" "$(windows_path "$zip")" n
  check "$name: killed in the swap, its record is there" test -e "$app/~tvx.swap"
  check "$name: the new library is already in" cmp -s "$ui2/tavixui.dll" "$app/tavixui.dll"
  check "$name: the old Tavix.exe is still there" cmp -s "$ui1/Tavix.exe" "$app/Tavix.exe"
  stop_holder "$app/data.bin"
  (cd "$app" && "$wine_run" "$prefix" "$app/Tavix.exe" >/dev/null 2>&1 &)
  wait_for_tavix "$app"
  check "$name: the program the user starts starts and runs" \
    grep -qx 'ui 1' <(tr -d '\r' <"$app/tavix-ran.txt" 2>/dev/null)

  rm -f "$app"/tavix-*.txt
  echo "# case $name-next: answer 'y'"
  run_updater "$name-next" "$app" "$(windows_path "$zip")" y
  wait_for_tavix "$app"
  check "$name-next: the next run undoes the swap and installs it: exit code 0 (got $status)" \
    test "$status" = 0
  check "$name-next: the archive is deleted" test ! -e "$zip"
  check "$name-next: the new Tavix.exe is in" cmp -s "$ui2/Tavix.exe" "$app/Tavix.exe"
  check "$name-next: the held file is replaced" test "$(cat "$app/data.bin")" = "new data"
  check "$name-next: the new Tavix.exe starts and runs with its new library" \
    grep -qx 'ui 2' <(tr -d '\r' <"$app/tavix-ran.txt" 2>/dev/null)
  check "$name-next: nothing of the updater's own is left" test -z "$(own_files "$app")"
}

# windows_names FOLDER: the non-ASCII paths the stand-in saw below FOLDER, as
# a Windows program reads them (code page 936), one a line, sorted.
windows_names() {
  iconv -f GBK -t UTF-8 "$1/tavix-saw.txt" 2>/dev/null | tr -d '\r' | grep -P '[^\x00-\x7F]' | sort
}

# run_names_case TOOL: an update packed by TOOL (zipfile, 7z or bsdtar, each
# storing non-ASCII names as UTF-8 with the flag) from a release with
# Chinese names in nested folders, over an older version with those names.
run_names_case() {
  local tool=$1 name=names-$1
  local dir=$out/$name
  local app=$dir/app src=$dir/release zip=$dir/update.zip
  program_folder "$app"
  mkdir -p "$app/资源" "$src/资源/图片"
  printf 'old notes\n' >"$app/资源/说明.txt"
  printf 'Tavix 3.0\n' >"$src/readme.txt"
  printf 'notes packed by %s\n' "$tool" >"$src/资源/说明.txt"
  printf 'logo\n' >"$src/资源/图片/标志.txt"
  (
    cd "$src" || exit 1
    case $tool in
      zipfile) zip_files "$zip" readme.txt 资源 资源/说明.txt 资源/图片 资源/图片/标志.txt ;;
      7z) LC_ALL=C.UTF-8 7z a -tzip -bd -bso0 "$zip" readme.txt 资源 ;;
      bsdtar) LC_ALL=C.UTF-8 bsdtar --format zip -cf "$zip" readme.txt 资源 ;;
    esac
  )
  check "$name: $tool flags the Chinese names as UTF-8" python3 -c 'import sys, zipfile
infos = zipfile.ZipFile(sys.argv[1]).infolist()
sys.exit(not any(i.flag_bits & 0x800 for i in infos))' "$zip"

  echo "# case $name: answer 'y'"
  run_updater "$name" "$app" "$(windows_path "$zip")" y
  check "$name: exit code 0 (got $status)" test "$status" = 0
  check "$name: the archive is deleted" test ! -e "$zip"
  check "$name: the old file under its Chinese name is replaced" \
    test "$(cat "$app/资源/说明.txt")" = "notes packed by $tool"
  check "$name: the nested new file arrives" test "$(cat "$app/资源/图片/标志.txt")" = logo
  wait_for_tavix "$app"
  check "$name: Windows programs see exactly the Chinese names, nothing garbled beside them" \
    test "$(windows_names "$app")" = "$(printf '%s\n' '资源\' '资源\图片\' '资源\图片\标志.txt' '资源\说明.txt' | sort)"
}

# run_separator_case: GBK names whose second byte is 0x5C ('\'), stored
# without the UTF-8 flag as a Chinese zip tool writes them.
run_separator_case() {
  local name=separators
  local dir=$out/$name
  local app=$dir/app zip=$dir/update.zip
  program_folder "$app"
  make_archive "$zip" "[
    ('gbk:data乗', 'data in a file whose last byte is 0x5C\\n', None, None),
    ('gbk:乗.txt', 'one\\n', None, None),
    ('gbk:錦繡.txt', 'two\\n', None, None),
    ('gbk:a乗b.txt', 'three\\n', None, None),
  ]"
  echo "# case $name: answer 'y'"
  run_updater "$name" "$app" "$(windows_path "$zip")" y
  check "$name: exit code 0 (got $status)" test "$status" = 0
  check "$name: \"data乗\" is a file with its data" \
    test "$(cat "$app/data乗" 2>/dev/null)" = 'data in a file whose last byte is 0x5C'
  check "$name: the other names are files" \
    test "$(cat "$app/乗.txt" "$app/錦繡.txt" "$app/a乗b.txt" 2>/dev/null | tr '\n' ' ')" = 'one two three '
  check "$name: no stray folder is made" test -z "$(find "$app" -mindepth 1 -type d)"
}

# same_question_text SHOT SHOT: the line of text in the two question boxes
# is the same picture (the boxes differ only in their buttons' language).
same_question_text() {
  local a b
  a=$(convert "$1" -trim +repage -crop 190x40+50+0 +repage rgb:- 2>/dev/null | md5sum)
  b=$(convert "$2" -trim +repage -crop 190x40+50+0 +repage rgb:- 2>/dev/null | md5sum)
  [ -s "$1" ] && [ -s "$2" ] && [ "$a" = "$b" ]
}

# run_english_case: the same updater on an English Windows (code page 1252):
# the question is still Chinese, and a UTF-8 Chinese name, which that code
# page cannot hold, arrives whole in the updater's own code page, UTF-8.
run_english_case() {
  local name=english
  local dir=$out/$name
  local app=$dir/app zip=$dir/update.zip
  program_folder "$app"
  make_archive "$zip" "[
    ('readme.txt', 'Tavix 3.0\\n', None, None),
    ('资源/说明.txt', 'Chinese notes\\n', None, None),
    ('bin/core.dll', 'new core\\n', None, None),
  ]"
  echo "# case $name: answer 'n'"
  updater_locale=en_US.UTF-8 run_updater "$name" "$app" "$(windows_path "$zip")" n
  check "$name: exit code 0 (got $status)" test "$status" = 0
  check "$name: the archive is deleted" test ! -e "$zip"
  check "$name: every entry is unpacked, the Chinese name whole" \
    test "$(cat "$app/readme.txt" "$app/bin/core.dll" "$app/资源/说明.txt" 2>/dev/null)" = \
         "$(printf 'Tavix 3.0\nnew core\nChinese notes')"
  check "$name: the question reads as on a Chinese Windows, pixel for pixel" \
    same_question_text "$out/yes-question.png" "$out/$name-question.png"
}

# listing DIR: every path below DIR with its content, to tell that nothing
# there changed.
listing() {
  (cd "$1" && find . -printf '%p %y %s\n' | LC_ALL=C sort && find . -type f -exec md5sum {} + | LC_ALL=C sort)
}

# run_unicode_case TAG LOCALE: a per-user install as Windows lays it out for a
# user "Jörg 塔", the archive in a download folder "更新 ✓", both beyond any
# legacy code page; its names are Korean, Cyrillic, an emoji and Chinese,
# flagged UTF-8. In either locale every name lands exactly, the archive is
# deleted and Tavix.exe starts on Yes.
run_unicode_case() {
  local tag=$1 name=unicode-$1
  local home="$out/$name/Users/Jörg 塔"
  local app="$home/AppData/Local/Programs/Jörg 塔/Tavix" zip="$home/Downloads/更新 ✓/update.zip"
  program_folder "$app"
  mkdir -p "$(dirname "$zip")"
  make_archive "$zip" "[
    ('readme.txt', 'Tavix 3.0\\n', None, None),
    ('한국어/안내.txt', 'Korean\\n', None, None),
    ('Кириллица.txt', 'Cyrillic\\n', None, None),
    ('😀 emoji.txt', 'emoji\\n', None, None),
    ('资源/说明.txt', 'Chinese\\n', None, None),
  ]"
  echo "# case $name: answer 'y'"
  updater_locale=$2 run_updater "$name" "$app" "$(windows_path "$zip")" y
  check "$name: exit code 0 (got $status)" test "$status" = 0
  check "$name: the archive is deleted" test ! -e "$zip"
  check "$name: every name lands exactly" \
    test "$(cat "$app/readme.txt" "$app/한국어/안내.txt" "$app/Кириллица.txt" "$app/😀 emoji.txt" \
              "$app/资源/说明.txt" 2>/dev/null | tr '\n' ' ')" = 'Tavix 3.0 Korean Cyrillic emoji Chinese '
  wait_for_tavix "$app"
  check "$name: Tavix.exe is started in the program folder" test -e "$app/tavix-ran.txt"
  check "$name: nothing else is made" test "$(cd "$app" && find . -mindepth 1 ! -name 'tavix-*' | LC_ALL=C sort | tr '\n' ' ')" = \
    "$(printf '%s\n' ./Tavix.exe ./Updater.exe ./readme.txt ./한국어 ./한국어/안내.txt ./Кириллица.txt \
         './😀 emoji.txt' ./资源 ./资源/说明.txt | LC_ALL=C sort | tr '\n' ' ')"
}

# run_best_fit_case: the updater of an older Windows, which ignores the
# manifest's UTF-8, on an English Windows (code page 1252), there its narrow
# calls see "Tavix-ł" as "Tavix-l" and "Michał" as "Michal". Beside the
# install and the archive stand folders of those best-fit names, with an
# older install and another archive. Wine has 8.3 names, and the updater
# takes the short forms: the real archive goes into the real folder. An
# archive named where none is, while its twin is there, is never taken for
# it (from a folder of an ASCII name, so that only the archive is in
# question): exit 2, nothing written, nothing started. Either way the twins
# stay as they were, the twin archives too.
run_best_fit_case() {
  local name=best-fit
  local dir=$out/$name
  local app=$dir/Programs/Tavix-ł twin=$dir/Programs/Tavix-l
  program_folder "$app" "$legacy_updater"
  program_folder "$twin" "$legacy_updater"
  mkdir -p "$dir/dl/Michał" "$dir/dl/Michal"
  make_archive "$dir/dl/Michał/update.zip" "[('readme.txt', 'Tavix 3.0\\n', None, None),
                                              ('new.txt', 'from the right archive\\n', None, None)]"
  make_archive "$dir/dl/Michal/update.zip" "[('readme.txt', 'the twin archive\\n', None, None),
                                              ('twin.txt', 'from the twin archive\\n', None, None)]"
  cp "$dir/dl/Michal/update.zip" "$dir/dl/Michal/gone.zip"
  local twins_before
  twins_before=$(listing "$twin"; listing "$dir/dl/Michal")

  echo "# case $name: answer 'y'"
  updater_locale=en_US.UTF-8 run_updater "$name" "$app" "$(windows_path "$dir/dl/Michał/update.zip")" y
  check "$name: exit code 0 through the short forms (got $status)" test "$status" = 0
  check "$name: the right archive goes into the right folder" \
    test "$(cat "$app/readme.txt" "$app/new.txt" 2>/dev/null)" = "$(printf 'Tavix 3.0\nfrom the right archive')"
  check "$name: the right archive is deleted" test ! -e "$dir/dl/Michał/update.zip"
  wait_for_tavix "$app"
  check "$name: Tavix.exe starts in the right folder" test -e "$app/tavix-ran.txt"

  local again=$dir/again/Tavix
  program_folder "$again" "$legacy_updater"
  local before
  before=$(listing "$again")
  echo "# case $name-missing: answer 'y'"
  updater_locale=en_US.UTF-8 run_updater "$name-missing" "$again" "$(windows_path "$dir/dl/Michał")\\gone.zip" y
  sleep 2
  check "$name-missing: an archive that is not there is not its twin: exit 2 (got $status)" test "$status" = 2
  check "$name-missing: nothing is written or started in the program folder" test "$(listing "$again")" = "$before"
  check "$name: the best-fit twins of the folder and the archives stay as they were" \
    test "$(listing "$twin"; listing "$dir/dl/Michal")" = "$twins_before"
}

# answer_question NAME KEY: the question box of an updater that a program
# started, photographed and answered with KEY.
answer_question() {
  local window
  window=$(timeout 180 xdotool search --sync --name '^Updater$' 2>/dev/null | head -n 1)
  check "$1: the question box appears" test -n "$window"
  [ -n "$window" ] || return
  sleep 1
  import -window root "$out/$1-question.png"
  xdotool windowfocus --sync "$window" key "$2"
}

# wait_for_outcome APP N: waits up to 60 s for the N-th start of the kit's
# program to write its line; gives that line.
wait_for_outcome() {
  for _ in $(seq 600); do
    [ "$(wc -l <"$1/tavix-outcome.txt" 2>/dev/null || echo 0)" -ge "$2" ] && break
    sleep 0.1
  done
  sed -n "$2p" "$1/tavix-outcome.txt" 2>/dev/null | tr -d '\r'
}

# run_kit_case: the main program written with the client library updates
# itself to a release that drops a file and renames a folder. First a
# scanner holds the old library past the updater's wait: the update is
# undone and the old program, started on Yes, is told to retry after the
# pause. Once the pause has passed (the note set back), it retries while a
# scanner holds the archive with read sharing, so the updater cannot delete
# it: the new program is told the update is in, and removes what the
# release drops, but not a folder that still holds a file of the user's;
# its next start deletes the archive the scanner let go.
run_kit_case() {
  local name=kit
  local dir=$out/$name
  local app=$dir/app zip=$dir/update.zip
  program_folder "$app"
  cp "$kit1/Tavix.exe" "$app/Tavix.exe"
  cp "$ui1/tavixui.dll" "$app/tavixui.dll"
  mkdir -p "$app/Data" "$dir/release/Files"
  printf 'a\n' >"$app/Data/a.txt"
  printf 'old\n' >"$app/old.txt"
  mkdir -p "$dir/previous" && cp -r "$app/." "$dir/previous/" && rm "$dir/previous/Updater.exe"
  printf 'mine\n' >"$app/Data/user.ini"
  cp "$tavix_stub" "$dir/holder.exe"
  cp "$kit2/Tavix.exe" "$ui2/tavixui.dll" "$dir/release/"
  printf 'a\n' >"$dir/release/Files/a.txt"
  printf 'Tavix 2.2\n' >"$dir/release/readme.txt"
  python3 "$script_dir/../../tools/update_archive.py" pack --previous "$dir/previous" \
    "$dir/release" "$zip" >"$out/$name-pack.out" 2>&1
  check "$name: the packer lists what the release drops" \
    test "$(python3 -c 'import sys, zipfile; print(zipfile.ZipFile(sys.argv[1]).read("tavix-dropped.txt").decode(), end="")' "$zip")" \
    = "$(printf 'old.txt\nData/a.txt\nData/\n')"
  local size sha
  size=$(stat -c %s "$zip")
  sha=$(sha256sum "$zip" | cut -d' ' -f1)

  echo "# case $name: the old library held"
  start_holder "$dir/holder.exe" "$app/tavixui.dll" --scan
  local other=1
  [ "${sha:0:1}" = 1 ] && other=2
  "$wine_run" "$prefix" "$app/Tavix.exe" --update "$(windows_path "$zip")" 2.2 "$size" \
    "$other${sha:1}" >"$out/$name-bad-hash.out" 2>&1
  check "$name: a download whose hash differs is not installed" test ! -e "$app/tavix-update.txt"
  "$wine_run" "$prefix" "$app/Tavix.exe" --update "$(windows_path "$zip")" 2.2 "$size" "$sha" \
    >"$out/$name-start.out" 2>&1
  check "$name: the program starts the update" test -e "$app/tavix-update.txt"
  answer_question "$name" y
  local line
  line=$(wait_for_outcome "$app" 1)
  stop_holder "$app/tavixui.dll"
  check "$name: the old program is told to retry after the pause (got '$line')" \
    test "$line" = "2.1 not-installed retry-later 1 0"
  check "$name: the old program runs" cmp -s "$kit1/Tavix.exe" "$app/Tavix.exe"

  echo "# case $name-retry: the archive held with read sharing"
  sed -i 's/^started .*/started 0/' "$app/tavix-update.txt"
  start_holder "$dir/holder.exe" "$zip" --scan
  "$wine_run" "$prefix" "$app/Tavix.exe" >"$out/$name-retry.out" 2>&1
  check "$name-retry: the old program retries at once (got '$(wait_for_outcome "$app" 2)')" \
    test "$(wait_for_outcome "$app" 2)" = "2.1 not-installed retry-now 1 0"
  answer_question "$name-retry" y
  line=$(wait_for_outcome "$app" 3)
  check "$name-retry: the new program is told the update is in (got '$line')" \
    test "$line" = "2.2 installed finish 2 1"
  stop_holder "$zip"
  check "$name-retry: the new program is in" cmp -s "$kit2/Tavix.exe" "$app/Tavix.exe"
  check "$name-retry: the dropped file is removed" test ! -e "$app/old.txt"
  check "$name-retry: the renamed folder's file is removed" test ! -e "$app/Data/a.txt"
  check "$name-retry: a folder with the user's file stays" test -f "$app/Data/user.ini"
  check "$name-retry: the new folder is in" test -f "$app/Files/a.txt"
  check "$name-retry: the drop list is gone" test ! -e "$app/tavix-dropped.txt"
  "$wine_run" "$prefix" "$app/Tavix.exe" >"$out/$name-later.out" 2>&1
  line=$(wait_for_outcome "$app" 4)
  check "$name-later: the next start finishes again (got '$line')" \
    test "$line" = "2.2 installed finish 2 0"
  check "$name-later: the archive the scanner kept and the note are gone" \
    test ! -e "$zip" -a ! -e "$app/tavix-update.txt"
}

# run_kit_cut_case: an update the main program started with the library is
# killed in its swap. The program the user then starts is still the old one,
# is told the run was cut short, and starts the updater at once, which puts
# the swap right and installs the update.
run_kit_cut_case() {
  local name=kit-cut
  local dir=$out/$name
  local app=$dir/app zip=$dir/update.zip
  program_folder "$app"
  cp "$kit1/Tavix.exe" "$ui1/tavixui.dll" "$app/"
  printf 'old data\n' >"$app/data.bin"
  cp "$tavix_stub" "$dir/holder.exe"
  mkdir -p "$dir/release"
  cp "$kit2/Tavix.exe" "$ui2/tavixui.dll" "$dir/release/"
  printf 'new data\n' >"$dir/release/data.bin"
  (cd "$dir/release" && zip_files "$zip" Tavix.exe tavixui.dll data.bin)
  local size sha line
  size=$(stat -c %s "$zip")
  sha=$(sha256sum "$zip" | cut -d' ' -f1)

  echo "# case $name: started by the program, killed in its swap"
  start_holder "$dir/holder.exe" "$app/data.bin"
  "$wine_run" "$prefix" "$app/Tavix.exe" --update "$(windows_path "$zip")" 2.2 "$size" "$sha" \
    >"$out/$name-start.out" 2>&1
  answer_question "$name" y
  for _ in $(seq 300); do [ -e "$app/~tvx.swap" ] && break; sleep 0.05; done
  sleep 0.5
  pkill -9 -f 'kit-cut.app.Updater\.exe'
  stop_holder "$app/data.bin"
  check "$name: killed in the swap, its record is there" test -e "$app/~tvx.swap"
  check "$name: the old Tavix.exe is still there" cmp -s "$kit1/Tavix.exe" "$app/Tavix.exe"

  "$wine_run" "$prefix" "$app/Tavix.exe" >"$out/$name-next.out" 2>&1
  line=$(wait_for_outcome "$app" 1)
  check "$name: the old program is told to run the updater at once (got '$line')" \
    test "$line" = "2.1 interrupted retry-now 1 0"
  answer_question "$name-next" y
  line=$(wait_for_outcome "$app" 2)
  check "$name-next: the new program is told the update is in (got '$line')" \
    test "$line" = "2.2 installed finish 2 0"
  check "$name-next: the new program is in" cmp -s "$kit2/Tavix.exe" "$app/Tavix.exe"
  check "$name-next: the held file is replaced" test "$(cat "$app/data.bin")" = "new data"
  check "$name-next: the archive and the note are gone" \
    test ! -e "$zip" -a ! -e "$app/tavix-update.txt"
  check "$name-next: nothing of the updater's own is left" test -z "$(own_files "$app")"
}

run_case yes y
run_case no n
run_failing_case
run_library_case
for tool in zipfile 7z bsdtar; do run_names_case "$tool"; done
run_separator_case
run_english_case
run_unicode_case chinese zh_CN.UTF-8
run_unicode_case english en_US.UTF-8
run_best_fit_case
run_released_case
run_self_update_case
run_held_self_update_case
run_kill_case
run_kit_case
run_kit_cut_case

echo "screenshots: $out/*.png"
if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
