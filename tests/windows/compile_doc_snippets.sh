#!/usr/bin/env bash
# Compiles every C snippet of a document, as integrators copy them, with the
# Windows compiler and every warning an error:
#   compile_doc_snippets.sh C_COMPILER DOCUMENT INCLUDE_DIR
# INCLUDE_DIR holds the headers the snippets include (the client library's).
set -u

compiler=$1
document=$2
include=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Each ```c block into a file of its own.
awk -v dir="$work" '
  /^```c$/ { n++; file = dir "/snippet" n ".c"; next }
  /^```/ { file = ""; next }
  file != "" { print > file }
' "$document"

snippets=("$work"/snippet*.c)
[ -e "${snippets[0]}" ] || { echo "FAIL - no C snippet in $document"; exit 1; }
failures=0
for snippet in "${snippets[@]}"; do
  if "$compiler" -std=c99 -Wall -Wextra -Werror -I "$include" -c "$snippet" -o "$snippet.o"; then
    echo "ok   - $(basename "$snippet") of $(basename "$document") compiles without a warning"
  else
    echo "FAIL - $(basename "$snippet") of $(basename "$document")"
    failures=$((failures + 1))
  fi
done
[ "$failures" = 0 ]
