#!/bin/sh
# The shared library must export BMPGlow and nothing else.
#   check_exports.sh LIBRARY [NM]    (NM: the target's nm in a cross build)
set -eu
library=$1 nm=${2:-nm}
exports=$("$nm" -D --defined-only "$library" | awk '{print $NF}' | sort)
if [ "$exports" != "BMPGlow" ]; then
  echo "expected exactly BMPGlow exported from $library, found:" >&2
  echo "$exports" >&2
  exit 1
fi
echo "exports: $exports"
