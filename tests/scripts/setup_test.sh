#!/usr/bin/env bash
# The test command's setup on a day the mirror is mid-sync: stand-ins for
# apt-get, dpkg-query, dpkg and id, whose `apt-get update` fails, show that
# the update is retried once, the install still tried, and only a failed
# install fails; and that a 32-bit Wine that does not install turns the
# Wine runs to 64-bit, with the reason in words.
set -u
repository=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL - $1"
  failures=$((failures + 1))
}

mkdir "$work/bin"
cat >"$work/bin/apt-get" <<'STUB'
#!/bin/sh
echo "apt-get $*" >>"$STUB_LOG"
case $1 in
  update) echo "E: File has unexpected size. Mirror sync in progress?" >&2; exit 100 ;;
  install) case " $* " in *" $STUB_UNINSTALLABLE "*) exit 100 ;; esac; exit 0 ;;
esac
STUB
printf '#!/bin/sh\nexit 1\n' >"$work/bin/dpkg-query"
printf '#!/bin/sh\necho i386\n' >"$work/bin/dpkg"
printf '#!/bin/sh\necho 0\n' >"$work/bin/id"
chmod +x "$work/bin"/*

# run_setup UNINSTALLABLE COMMANDS: the commands after sourcing the setup
# with the stand-ins first on PATH; its output in $work/out.
run_setup() {
  : >"$work/log"
  STUB_LOG=$work/log STUB_UNINSTALLABLE=$1 APT_RETRY_PAUSE=0 PATH="$work/bin:$PATH" \
    bash -c "source '$repository/scripts/setup.sh'; $2" >"$work/out" 2>&1
}

run_setup none 'ensure_packages native; echo "status $?"; ensure_packages valgrind; echo "status $?"'
grep -qx "status 0" "$work/out" || fail "a failed apt-get update failed the group: $(cat "$work/out")"
[ "$(grep -c '^apt-get update' "$work/log")" = 2 ] ||
  fail "apt-get update not tried exactly twice in the run: $(cat "$work/log")"
[ "$(grep -c '^apt-get install' "$work/log")" = 2 ] || fail "not both groups installed: $(cat "$work/log")"
[ "$(sed -n 3p "$work/log" | cut -d' ' -f1-2)" = "apt-get install" ] ||
  fail "the install did not follow the two updates: $(cat "$work/log")"
grep -q "apt-get update failed again" "$work/out" || fail "the failed update was not reported"
echo "done - a failed update is retried once, then the install goes ahead"

run_setup valgrind 'ensure_packages valgrind; echo "status $?"'
grep -qx "status 1" "$work/out" || fail "a failed install did not fail the group: $(cat "$work/out")"
grep -q "could not install valgrind" "$work/out" || fail "the failed install was not reported"
echo "done - a failed install fails its group"

run_setup wine32:i386 'can_run_x86_32() { true; }; choose_wine; echo "bits $WINE_BITS: $WINE_NOTE"'
grep -q "^bits 64: 32-bit Wine (wine32:i386) could not be installed" "$work/out" ||
  fail "no fall-back to 64-bit Wine: $(cat "$work/out")"
run_setup none 'can_run_x86_32() { true; }; choose_wine; echo "bits $WINE_BITS: $WINE_NOTE"'
grep -qx "bits 32: " "$work/out" || fail "32-bit Wine not chosen where it installs: $(cat "$work/out")"
echo "done - the Wine runs go 64-bit when 32-bit Wine does not install"

[ "$failures" = 0 ]
