#!/usr/bin/env bash
# Inspects the built Windows executable without running it:
#   check_pe.sh TOOL_PREFIX EXE EXPECTED_FORMAT EXPECTED_VERSION README
# TOOL_PREFIX is the binutils prefix (i686-w64-mingw32), EXPECTED_FORMAT the
# objdump file format (pei-i386), EXPECTED_VERSION the product version (1.0.0),
# README the one that states the 32-bit executable's size.
set -u
# objdump and windres speak English only in the C locale; the checks read them.
export LC_ALL=C

tools=$1
exe=$2
format=$3
version=$4
readme=$5

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

headers=$("$tools-objdump" -p "$exe") || { echo "FAIL - objdump cannot read $exe"; exit 1; }
fileinfo=$("$tools-objdump" -f "$exe")
resources=$("$tools-windres" -i "$exe" -O rc 2>&1) || { echo "     ($resources)"; resources=; }

# The manifest as text: the RT_MANIFEST (type 24) resource with id 1, its
# rc string lines unquoted.
manifest=$(printf '%s\n' "$resources" |
  sed -n '/^1 24 /,/^END/p' | sed -n 's/^  "\(.*\)"$/\1/p' | sed -e 's/\\n$//' -e 's/""/"/g')

has() { grep -Eq -- "$2" <<<"$1"; }
lacks() { ! has "$@"; }

# Image kind
check "file format is $format" has "$fileinfo" "file format $format\$"
if [ "$format" = pei-i386 ]; then
  check "32-bit image (PE32, i386)" has "$headers" '^Magic[[:space:]]+010b[[:space:]]+\(PE32\)'
fi
check "Windows GUI subsystem (2): no console of its own" \
  has "$headers" '^Subsystem[[:space:]]+00000002[[:space:]]+\(Windows GUI\)'

# Stripped, as shipped: no symbol table and no debug sections.
check "no symbol table (stripped)" lacks "$fileinfo" 'HAS_SYMS'
debug_sections=$("$tools-objdump" -h "$exe" | awk '$2 ~ /^\.debug/ { print $2 }' | tr '\n' ' ')
check "no debug sections (found: ${debug_sections:-none})" test -z "$debug_sections"

# Imports: only DLLs that every Windows has.
allowed='^(KERNEL32|USER32|GDI32|SHELL32|ADVAPI32|OLE32|OLEAUT32|COMCTL32|COMDLG32|SHLWAPI|VERSION|WS2_32|MSVCRT)\.DLL$'
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")
check "imports some DLLs" test -n "$imports"
foreign=$(tr '[:lower:]' '[:upper:]' <<<"$imports" | grep -Ev "$allowed")
check "imports only Windows' own DLLs (found: $(echo $imports))" test -z "$foreign"

# Application manifest
check "resources readable" test -n "$resources"
check "manifest resource (RT_MANIFEST, id 1) present" test -n "$manifest"
check "manifest requests level asInvoker" \
  has "$manifest" '<requestedExecutionLevel[^>]*level="asInvoker"'
check "manifest sets uiAccess false" \
  has "$manifest" '<requestedExecutionLevel[^>]*uiAccess="false"'
check "manifest declares dpiAware true" has "$manifest" '<dpiAware[^>]*>[[:space:]]*true[[:space:]]*<'
check "manifest sets the process code page to UTF-8" \
  has "$manifest" '<activeCodePage[^>]*>[[:space:]]*UTF-8[[:space:]]*<'

# Version information
versionnumbers=${version//./, }
check "version resource present" has "$resources" '^1 VERSIONINFO'
check "product name Tavix Updater" has "$resources" 'VALUE "ProductName", "Tavix Updater"'
check "file description present" has "$resources" 'VALUE "FileDescription", "[^"]+"'
check "company name present" has "$resources" 'VALUE "CompanyName", "[^"]+"'
check "product version $version" has "$resources" "VALUE \"ProductVersion\", \"$version\""
check "file version $version" has "$resources" "FILEVERSION $versionnumbers, 0"

# The size README.md gives ("about N KiB") is the 32-bit build's, rounded:
# it must stay within 10 % of the file.
if [ "$format" = pei-i386 ]; then
  stated=$(grep -o 'about [0-9]* KiB' "$readme" | head -n 1 | tr -cd '0-9')
  size=$(stat -c %s "$exe")
  check "README.md states the size (about ${stated:-?} KiB; built: $size bytes)" \
    test -n "$stated" -a $((size * 10)) -ge $((stated * 1024 * 9)) -a \
    $((size * 10)) -le $((stated * 1024 * 11))
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed for $exe"
  exit 1
fi
echo "all checks passed for $exe"
