#!/usr/bin/env bash
# Builds a host project that adds the source tree with add_subdirectory (tests/package/subproject)
# and runs its consumer program. The project's warnings must reach its own files and no others.
set -euo pipefail
source="$1"
launcher="${2:-}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# An empty build type and a library folder of the host's own: the subproject must keep both.
cmake -S "$source/tests/package/subproject" -B "$work/host" -G Ninja -DCMAKE_BUILD_TYPE= \
    -DCMAKE_INSTALL_LIBDIR=host-lib -DVEXOGEO_SOURCE_DIR="$source" \
    -DCMAKE_EXPORT_COMPILE_COMMANDS=ON ${launcher:+-DCMAKE_CXX_COMPILER_LAUNCHER="$launcher"} \
    >/dev/null
commands="$work/host/compile_commands.json"
if ! grep '"command"' "$commands" | grep '/src/crs/converter.cpp' | grep -q -- '-Wpedantic'; then
    echo "the project's own sources lost its warnings" >&2
    exit 1
fi
if grep '"command"' "$commands" | grep 'consumer/main.cpp' | grep -q -- '-W'; then
    echo "the project's warnings reached the host's target" >&2
    exit 1
fi
cmake --build "$work/host" --target consumer >/dev/null
"$work/host/consumer"
echo "subproject OK"
