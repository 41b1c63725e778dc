#!/bin/sh
# Fails when an object file calls one of the ARM runtime's soft-float or
# integer-division helpers. On a processor with neither FPU nor divide
# instruction each such call is a library routine run per channel.
#   check_arithmetic_helpers.sh NM OBJECT...
# An argument may hold several objects separated by ';' (as CMake lists them).
set -eu
export LC_ALL=C
[ $# -ge 2 ] || { echo "usage: $0 NM OBJECT..." >&2; exit 2; }
nm=$1
shift
# __aeabi_f*/d* (float and double arithmetic, comparisons, conversions),
# integer to float conversions, __aeabi_[u]idiv/[u]ldiv*, and the libgcc
# names of the same routines (__divsi3, __addsf3, __floatsisf, __fixsfsi...).
helpers='^(__aeabi_([fd]|c[fd]|u?[il]2[fd]|ul2[fd]|u?idiv|u?ldiv)|__u?(div|mod)[sdt]i3$|__u?divmod[sdt]i4$|__(float|fix|extend|trunc)|__[a-z]+[sdt]f[23]$|__gnu_(f2h|h2f))'
set -f  # split the ';' lists without expanding wildcards
IFS=';'
set -- $*
unset IFS
checked=0 found=''
for object in "$@"; do
  [ -f "$object" ] || { echo "no such object: $object" >&2; exit 2; }
  undefined=$("$nm" --undefined-only "$object") || { echo "$nm failed on $object" >&2; exit 2; }
  calls=$(printf '%s\n' "$undefined" | awk '{print $NF}' | grep -E "$helpers" || true)
  for call in $calls; do echo "$object: calls $call"; done
  found="$found $calls"
  checked=$((checked + 1))
done
if [ -n "$(echo $found)" ]; then
  echo "helpers called:" $(printf '%s\n' $found | sort -u)
  exit 1
fi
echo "no soft-float or division helper calls in $checked object(s)"
