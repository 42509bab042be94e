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

# A Chinese Windows: the flagged UTF-8 name comes out in code page 936, as the
# unflagged GBK one is stored.
names=$(printf 'new       升级说明.txt (mode 600)\nnew       更新/日志.txt (mode 600)' |
  iconv -f UTF-8 -t GBK)
check python_names.zip 0 "$names"

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
