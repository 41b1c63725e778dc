#!/bin/sh
# The loader must reach the module only through its DT_INIT and DT_FINI hooks:
# the static-initialiser and termination arrays belong to the start-up routine.
set -eu
dynamic=$(readelf -d "$1")
for tag in '(INIT)' '(FINI)'; do
  echo "$dynamic" | grep -qF "$tag" || { echo "$1 has no $tag hook" >&2; exit 1; }
done
if echo "$dynamic" | grep -qE '\((INIT|FINI)_ARRAY'; then
  echo "$1 still hands the loader its static-initialiser or termination array:" >&2
  echo "$dynamic" | grep -E '_ARRAY' >&2
  exit 1
fi
echo "module hooks: DT_INIT and DT_FINI, no init/fini arrays"
