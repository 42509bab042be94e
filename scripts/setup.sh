# Shared helpers for scripts/*.sh; source it, don't run it.
#   ensure_packages GROUP...   installs what a group needs when it is missing
#                              (as root, with apt-get; otherwise only says what is missing)
#   ensure_locale NAME         generates a locale such as zh_CN.UTF-8 when it is missing (as root)
#   can_run_x86_32             true when this machine can execute 32-bit x86 code
#   choose_wine                sets WINE_BITS (32 or 64) and, for 64, WINE_NOTE
# Groups: native, format, windows, wine32, wine64, gui, locales, fuzz, valgrind, bench.

packages_for() {
  case $1 in
    native) echo cmake make g++ zlib1g-dev googletest python3 zip unzip p7zip-full libarchive-tools ;;
    format) echo clang-format git ;;
    windows) echo cmake make g++-mingw-w64-i686-posix binutils-mingw-w64-i686 libz-mingw-w64-dev ;;
    wine32) echo wine wine32:i386 ;;
    wine64) echo wine wine64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev ;;
    gui) echo xvfb xauth xdotool imagemagick locales fonts-wqy-microhei ;;
    locales) echo locales ;;
    fuzz) echo clang libclang-rt-14-dev ;;
    valgrind) echo valgrind ;;
    bench) echo cmake make g++ zlib1g-dev python3 unzip libarchive-tools p7zip-full time ;;
    *) echo "setup.sh: unknown package group $1" >&2; return 1 ;;
  esac
}

package_installed() {
  [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = "install ok installed" ]
}

# A mirror in the middle of a sync fails `apt-get update` for one index
# while the others are fine: the failure is reported and the update tried
# once more after a pause; then the install goes ahead with whatever lists
# apt has, and only a failed install counts.
APT_RETRY_PAUSE=${APT_RETRY_PAUSE:-15}
_apt_updated=
update_package_lists() {
  [ -n "$_apt_updated" ] && return 0
  _apt_updated=1
  echo "setup: apt-get update"
  apt-get update -qq </dev/null && return 0
  echo "setup: apt-get update failed; trying again in $APT_RETRY_PAUSE s" >&2
  sleep "$APT_RETRY_PAUSE"
  apt-get update -qq </dev/null && return 0
  echo "setup: apt-get update failed again; installing from the package lists apt has" >&2
  return 1
}

ensure_packages() {
  local group package missing=()
  for group in "$@"; do
    for package in $(packages_for "$group"); do
      package_installed "$package" || missing+=("$package")
    done
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: missing packages (run as root to install them): ${missing[*]}" >&2
    return 0
  fi
  if printf '%s\n' "${missing[@]}" | grep -q ':i386$' &&
     ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    _apt_updated=
  fi
  export DEBIAN_FRONTEND=noninteractive
  update_package_lists
  echo "setup: installing ${missing[*]}"
  apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null >/dev/null || {
    echo "setup: could not install ${missing[*]}" >&2
    return 1
  }
}

ensure_locale() {
  local name=$1 normalized
  normalized=$(sed 's/\.UTF-8$/.utf8/' <<<"$name")
  locale -a 2>/dev/null | grep -qix "$normalized" && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: locale $name is missing (run as root to generate it)" >&2
    return 0
  fi
  ensure_packages locales || return 1
  echo "setup: generating locale $name"
  grep -qx "$name UTF-8" /etc/locale.gen 2>/dev/null || echo "$name UTF-8" >>/etc/locale.gen
  locale-gen >/dev/null
}

# Some kernels run no 32-bit x86 code at all (IA-32 emulation switched off);
# there a 32-bit Wine cannot start. Probe with a tiny 32-bit program that only exits.
can_run_x86_32() {
  local dir status
  dir=$(mktemp -d)
  printf '.globl _start\n_start:\n movl $1, %%eax\n xorl %%ebx, %%ebx\n int $0x80\n' >"$dir/probe.s"
  if as --32 -o "$dir/probe.o" "$dir/probe.s" 2>/dev/null &&
     ld -m elf_i386 -o "$dir/probe" "$dir/probe.o" 2>/dev/null; then
    "$dir/probe" 2>/dev/null
    status=$?
  else
    status=1
  fi
  rm -rf "$dir"
  return $status
}

# The Wine that runs the Windows tests, chosen once: 32-bit where this
# machine executes 32-bit code and 32-bit Wine installs, else 64-bit Wine
# with the same code built for x86-64. WINE_NOTE says in words why not 32.
WINE_BITS=
WINE_NOTE=
choose_wine() {
  [ -n "$WINE_BITS" ] && return 0
  if ! can_run_x86_32; then
    WINE_BITS=64
    WINE_NOTE="this machine cannot execute 32-bit x86 code, so 32-bit Wine cannot run here"
  elif ensure_packages wine32 wine64; then
    WINE_BITS=32
  else
    WINE_BITS=64
    WINE_NOTE="32-bit Wine (wine32:i386) could not be installed (see the setup lines above)"
  fi
}
