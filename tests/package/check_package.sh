#!/usr/bin/env bash
# Installs the build tree into a fresh prefix and builds a separate consumer project against it
# twice: through find_package(VexoGeo) and through pkg-config. Also checks what the library exports.
set -euo pipefail
build="$1"
source="$2"
# A library built with sanitizers needs consumers built with the same runtime.
flags=""
[ -n "${3:-}" ] && flags="-fsanitize=$3"
# The library folder below the prefix, as the build chose it (lib, lib64, lib/<multiarch>).
libdir="${4:-lib}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
test -f "$work/prefix/bin/Resources/Proj/proj.db"
test -f "$work/prefix/include/vexogeo/vexogeo.h"
test -f "$work/prefix/$libdir/pkgconfig/vexogeo.pc"
readelf -d "$work/prefix/$libdir/libvexogeo.so" | grep -q 'SONAME.*libvexogeo.so.7'

# Only classes of the namespace Geo leave the library.
if nm -D --defined-only -C "$work/prefix/$libdir/libvexogeo.so" | awk '{ $1=""; $2=""; print }' |
    grep -v -E '^ *Geo::' | grep -v -E '^ *(typeinfo|typeinfo name|vtable) for Geo::' | grep .; then
    echo "the library exports symbols outside Geo::" >&2
    exit 1
fi

cmake -S "$source/tests/package/consumer" -B "$work/consumer" -G Ninja \
    -DCMAKE_PREFIX_PATH="$work/prefix" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
cmake --build "$work/consumer" >/dev/null
cp "$work/consumer/consumer" "$work/prefix/bin/"
LD_LIBRARY_PATH="$work/prefix/$libdir" "$work/prefix/bin/consumer"

PKG_CONFIG_PATH="$work/prefix/$libdir/pkgconfig" \
    c++ -std=c++17 $flags "$source/tests/package/consumer/main.cpp" -o "$work/prefix/bin/consumer-pc" \
    $(PKG_CONFIG_PATH="$work/prefix/$libdir/pkgconfig" pkg-config --cflags --libs vexogeo)
LD_LIBRARY_PATH="$work/prefix/$libdir" "$work/prefix/bin/consumer-pc"
echo "package OK"
