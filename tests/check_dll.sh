#!/bin/sh
# The DLL's export directory names it QUORBIXBMPGLOW.dll and holds BMPGlow
# alone, at ordinal 1; it imports nothing but Windows system DLLs and the C
# runtime (the GCC runtimes are linked in), besides the framework DLL.
#   check_dll.sh OBJDUMP DLL
set -eu
objdump=$1 dll=$2
dump=$(mktemp)
trap 'rm -f "$dump"' EXIT
"$objdump" -p "$dll" >"$dump"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

name=$(awk '$1 == "Name" && NF == 3 {print $3; exit}' "$dump")
[ "$name" = "QUORBIXBMPGLOW.dll" ] || fail "export directory name is '$name'"
base=$(awk '$1 == "Ordinal" && $2 == "Base" {print $3; exit}' "$dump")
[ "$base" = "1" ] || fail "ordinal base is '$base'"
count=$(awk '$1 == "Export" && $2 == "Address" && $3 == "Table" && NF == 4 {print $4 + 0; exit}' "$dump")
[ "$count" = "1" ] || fail "$count entries in the export address table"
names=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' "$dump" | awk '/^\t\[/ {print $NF}')
[ "$names" = "BMPGlow" ] || fail "exported names: $names"

imports=$(awk '/DLL Name:/ {print tolower($3)}' "$dump" | sort | tr '\n' ' ')
for import in $imports; do
  case $import in
    kernel32.dll | msvcrt.dll | user32.dll | advapi32.dll | ucrtbase.dll | api-ms-win-*) ;;
    quorbixframework.dll) ;;  # the framework the module registers with
    *) fail "imports $import" ;;
  esac
done
[ "$failures" -eq 0 ] && echo "DLL: $name, exports $names at ordinal $base; imports $imports"
exit "$failures"
