#!/usr/bin/env bash
# Installs the Debian packages that building, testing and benchmarking VexoGeo need, when missing.
# As root it runs apt-get; otherwise it prints the apt-get line and stops.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config
    libproj-dev proj-data proj-bin
    libgeographiclib-dev geographiclib-tools
    libcurl4-openssl-dev rapidjson-dev libxml2-dev libcli11-dev
    libgtest-dev libbenchmark-dev libcpp-httplib-dev libssl-dev
    clang libclang-rt-14-dev valgrind locales time python3
    ${VEXOGEO_WINDOWS:+g++-mingw-w64-x86-64-posix wine64 wine dpkg-dev tcl sqlite3 googletest}
    ${VEXOGEO_EXTRA_PACKAGES:-})

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages. Install them with:" >&2
    echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
