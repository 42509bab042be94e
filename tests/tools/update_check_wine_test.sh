#!/usr/bin/env bash
# update-check.exe under Wine, as an integrator runs it on Windows: its lines
# and exit code for archives of tests/data, over an install folder it updates,
# keeps and cannot replace, and with names in the code page; the install
# folder untouched and no scratch left in Windows' temporary folder.
#   update_check_wine_test.sh CHECKER DATA_DIR EMULATOR... (the last: the prefix)
# DATA_DIR is as Windows names it (Z:...).
set -u

checker=$1
data=$2
shift 2
emulator=("$@")
prefix=${emulator[-1]}

work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
install=$work/install
mkdir -p "$install/docs"
printf 'Hello, world!\n' >"$install/hello.txt"
printf 'old data' >"$install/data.bin"
printf 'old lorem' >"$install/docs/lorem.txt"
chmod 444 "$install/docs/lorem.txt"

failures=0
fail() {
  echo "FAIL - $1"
  failures=$((failures + 1))
}

# check ARCHIVE EXPECTED_EXIT EXPECTED_OUTPUT [INSTALL_DIR]
check() {
  local archive=$1 want_exit=$2 want=$3
  shift 3
  local got exit
  got=$("${emulator[@]}" "$checker" "$data/$archive" "$@" 2>"$work/stderr" | tr -d '\r'
    exit "${PIPESTATUS[0]}")
  exit=$?
  [ "$exit" = "$want_exit" ] || fail "$archive: exit $exit, not $want_exit"
  [ "$got" = "$want" ] || fail "$archive: got
$got
instead of
$want"
  [ -s "$work/stderr" ] && fail "$archive: $(cat "$work/stderr")"
  echo "done - $archive $*"
}

listing() { (cd "$install" && find . -printf '%p %m %s\n' | sort && find . -type f -exec cat {} +); }
before=$(listing)

check infozip.zip 1 "unchanged hello.txt (mode 644)
new       empty.txt (mode 644)
replaced  data.bin (mode 644)
folder    docs/
refused   docs/lorem.txt: the installed file is read-only, which the updater never replaces
folder    emptydir/
undone: with an entry refused, the updater would put every file back as it was and keep the archive" "Z:$install"
[ "$(listing)" = "$before" ] || fail "the install folder was changed"

# A Chinese Windows: both names come out in the checker's code page, UTF-8,
# the flagged one as stored, the unflagged GBK one converted; that one would
# land garbled on a Western Windows, which stops the release.
check python_names.zip 1 "new       升级说明.txt (mode 600)
new       更新/日志.txt (mode 600)
warning: 升级说明.txt is stored without the UTF-8 flag or a Unicode Path block, so each Windows reads it in its own code page: on a Chinese Windows (936) it becomes 升级说明.txt; on a Western one (1252) it becomes Éý¼¶ËµÃ÷.txt
stop: code-page-names: the update would not do what it is meant to (--allow KIND accepts a kind on purpose)"

# An English Windows takes names of any script; it refuses, as the updater
# does, names Windows would change and a second spelling of a written file.
python3 - "$work/names.zip" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w") as z:
    for name in ("한국어.txt", "Кириллица/файл.txt", "😀.txt", "bin /x.dll", "NUL.txt",
                 "a.txt", "A.TXT"):
        info = zipfile.ZipInfo(name, (2024, 5, 6, 7, 8, 10))
        info.external_attr = 0o100644 << 16
        info.create_system = 3
        z.writestr(info, b"x")
PY
english=Z:$(cd "$work" && pwd)
# Over an install folder of a Chinese name holding one of them already.
mkdir -p "$work/安装 ✓/Кириллица"
printf x >"$work/安装 ✓/한국어.txt"
LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8 data=$english check names.zip 1 "unchanged 한국어.txt (mode 644)
new       Кириллица/файл.txt (mode 644)
new       😀.txt (mode 644)
refused   bin /x.dll: a name in it ends in a dot or a space, which Windows drops
refused   NUL.txt: a name in it is a Windows device (CON, NUL, COM1, ...)
new       a.txt (mode 644)
refused   A.TXT: an earlier entry of the archive already wrote this file
warning: bin /x.dll: \"bin \" ends in a space, which Windows drops
warning: NUL.txt: \"NUL.txt\" is the Windows device NUL, not a file
warning: a.txt and A.TXT differ only in case: Windows keeps one file
stop: windows-names, collisions: the update would not do what it is meant to (--allow KIND accepts a kind on purpose)
undone: with an entry refused, the updater would put every file back as it was and keep the archive" "$english/安装 ✓"

"${emulator[@]}" "$checker" >/dev/null 2>"$work/stderr"
usage_exit=$?
[ "$usage_exit" = 2 ] || fail "no argument: exit $usage_exit, not 2"
grep -q '^usage: update-check \[--allow KIND\]\.\.\. ARCHIVE' "$work/stderr" ||
  fail "no argument: no usage"
help=$("${emulator[@]}" "$checker" --help 2>"$work/stderr" | tr -d '\r'; exit "${PIPESTATUS[0]}")
help_exit=$?
[ "$help_exit" = 0 ] || fail "--help: exit $help_exit, not 0"
grep -q '^  wrapping-folder ' <<<"$help" || fail "--help: no kinds listed: $help"

left=$(find "$prefix/drive_c" -maxdepth 8 -name 'update-check-*' 2>/dev/null)
[ -z "$left" ] && echo "ok   - no scratch left" || fail "scratch left: $left"

[ "$failures" = 0 ]
