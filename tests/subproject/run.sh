#!/bin/sh
# Builds the consumer project here with the library added by add_subdirectory
# and runs it, then configures it once more with the library added by
# FetchContent and a build type of its own (the checks are in its
# CMakeLists.txt).
#   run.sh SOURCE-DIR VERSION SAMPLE GLOW-SHA256 C-COMPILER C++-COMPILER
set -eu
source_dir=$1 version=$2 sample=$3 expected_sha256=$4 c_compiler=$5 cxx_compiler=$6
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
set -- -DQBG_SOURCE_DIR="$source_dir" -DCMAKE_C_COMPILER="$c_compiler" \
  -DCMAKE_CXX_COMPILER="$cxx_compiler"

cmake -S "$here" -B "$work/build" "$@" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
cmake --build "$work/build" -j 2 >/dev/null
# The consumer's own program is compiled with its flags alone.
python3 - "$work/build/compile_commands.json" <<'PY'
import json, sys
for entry in json.load(open(sys.argv[1])):
    if entry["file"].endswith("consumer.cpp"):
        inherited = {"-fvisibility=hidden", "-Wshadow", "-D_FILE_OFFSET_BITS=64"} & set(entry["command"].split())
        sys.exit(f"the consumer inherits {sorted(inherited)}" if inherited else 0)
sys.exit("consumer.cpp not compiled")
PY
# Nothing to install: the library's install rules are off.
cmake --install "$work/build" --prefix "$work/prefix" >/dev/null
[ ! -e "$work/prefix" ] || { echo "installed: $(find "$work/prefix" -type f)" >&2; exit 1; }

cp "$sample" "$work/sample.bmp"
printed=$(cd "$work" && "$work/build/consumer")
[ "$printed" = "$version
Glow effect applied and saved to output.bmp" ] || { echo "printed: $printed" >&2; exit 1; }
sha256=$(sha256sum "$work/glowed.bmp" | cut -d' ' -f1)
[ "$sha256" = "$expected_sha256" ] || { echo "glowed sample: sha256 $sha256" >&2; exit 1; }

cmake -S "$here" -B "$work/fetchcontent" "$@" -DQBG_CONSUMER_FETCHCONTENT=ON \
  -DCMAKE_BUILD_TYPE=Debug >/dev/null
echo "subproject: ok"
