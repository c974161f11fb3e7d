#!/usr/bin/env bash
# Installs the Debian packages VexoGeo needs, when missing. As root it runs apt-get; otherwise it
# prints the apt-get line and stops.
#
#   scripts/install-deps.sh [GROUP...]      GROUP: core (the default), fuzz, valgrind, bench,
#                                           python, all
#
#   core      build the library, the tool and the tests and pass every ctest case, including the
#             independent oracles (cs2cs, GeodSolve), the Windows-1252 locale and the peak-memory
#             check (GNU time), ccache and clang-format, SQLite's shell (a lighter proj.db):
#             everything `scripts/run-tests --quick` and the sanitizer stages need
#   fuzz      clang with libFuzzer, for scripts/run-fuzzers
#   valgrind  Valgrind and python3, for scripts/run-valgrind
#   bench     Google Benchmark and python3, for bench/run
#   python    pybind11, NumPy, pytest, setuptools, Dask and pyproj, for the Python package
#             (VEXOGEO_BUILD_PYTHON, the regular stage of scripts/run-tests, pip install .)
# VEXOGEO_EXTRA_PACKAGES adds packages to whatever is asked for.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config ccache clang-format
    libproj-dev proj-data proj-bin
    libgeographiclib-dev geographiclib-tools
    libcurl4-openssl-dev rapidjson-dev libxml2-dev libcli11-dev
    libgtest-dev libcpp-httplib-dev libssl-dev
    locales time python3 python3-pyproj sqlite3
    mapserver-bin libpng-dev
    ${VEXOGEO_WINDOWS:+g++-mingw-w64-x86-64-posix wine64 wine dpkg-dev tcl googletest}
    ${VEXOGEO_EXTRA_PACKAGES:-})
fuzz_packages=(clang libclang-rt-14-dev)
valgrind_packages=(valgrind python3)
bench_packages=(libbenchmark-dev python3 python3-owslib)
python_packages=(pybind11-dev python3-pybind11 python3-numpy python3-pytest python3-setuptools
    python3-dask python3-pyproj python3-dev python3-pip)

wanted=()
for group in "${@:-core}"; do
    case "$group" in
    core) wanted+=("${packages[@]}") ;;
    fuzz) wanted+=("${packages[@]}" "${fuzz_packages[@]}") ;;
    valgrind) wanted+=("${packages[@]}" "${valgrind_packages[@]}") ;;
    bench) wanted+=("${packages[@]}" "${bench_packages[@]}") ;;
    python) wanted+=("${packages[@]}" "${python_packages[@]}") ;;
    all) wanted+=("${packages[@]}" "${fuzz_packages[@]}" "${valgrind_packages[@]}" "${bench_packages[@]}"
        "${python_packages[@]}") ;;
    *)
        echo "install-deps.sh: unknown group '$group' (core, fuzz, valgrind, bench, python, all)" >&2
        exit 2
        ;;
    esac
done

missing=()
for p in $(printf '%s\n' "${wanted[@]}" | sort -u); do
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
