#!/bin/sh
# The shared library must export BMPGlow and nothing else.
set -eu
library=$1
exports=$(nm -D --defined-only "$library" | awk '{print $NF}' | sort)
if [ "$exports" != "BMPGlow" ]; then
  echo "expected exactly BMPGlow exported from $library, found:" >&2
  echo "$exports" >&2
  exit 1
fi
echo "exports: $exports"
