#!/bin/sh
# The vexogeo tool against PROJ's cs2cs on the same points with the same output precision, and
# its peak memory at 1,000,000 and 10,000,000 points. Prints a table.
#
#   bench/cli_bench.sh [--build DIR] [--runs N] [--csv FILE]
#
# DIR is a build folder holding bin/vexogeo (default: build). Each time is the best of N runs
# (default 3) of wall-clock seconds, so that other work on the machine disturbs it least.
set -eu

build=build
runs=3
csv=
while [ $# -gt 0 ]; do
    case $1 in
    --build) build=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --csv) csv=$2; shift 2 ;;
    *) echo "usage: $0 [--build DIR] [--runs N] [--csv FILE]" >&2; exit 2 ;;
    esac
done

tool=$build/bin/vexogeo
for program in "$tool" cs2cs /usr/bin/time awk; do
    if ! command -v "$program" >/dev/null 2>&1; then
        echo "cli_bench: $program is missing" >&2
        exit 1
    fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/vexogeo-cli-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

# Longitude and latitude with six decimals; cs2cs reads EPSG:4326 in its own axis order,
# latitude first, so it gets the same points with the columns swapped.
generate() {
    awk -v n="$1" 'BEGIN { srand(20240601); for (i = 0; i < n; i++)
        printf "%.6f %.6f\n", -180 + 360 * rand(), -80 + 160 * rand() }'
}
generate 1000000 >"$work/points_1e6.txt"
awk '{ print $2, $1 }' "$work/points_1e6.txt" >"$work/points_1e6_latlon.txt"

# Runs a command line with its input and output files; prints "seconds peak_kilobytes
# cpu_seconds" of the best run (least wall-clock time; CPU is user plus system time).
measure() {
    input=$1
    output=$2
    shift 2
    best=
    cpu=
    peak=
    i=0
    while [ "$i" -lt "$runs" ]; do
        /usr/bin/time -f "%e %M %U %S" -o "$work/time" "$@" <"$input" >"$output"
        read -r seconds kilobytes user system <"$work/time"
        if [ -z "$best" ] || awk -v a="$seconds" -v b="$best" 'BEGIN { exit !(a < b) }'; then
            best=$seconds
            cpu=$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.2f", u + s }')
        fi
        if [ -z "$peak" ] || [ "$kilobytes" -gt "$peak" ]; then
            peak=$kilobytes
        fi
        i=$((i + 1))
    done
    echo "$best $peak $cpu"
}

export PROJ_DEBUG=0
set -- $(measure "$work/points_1e6.txt" "$work/vexogeo.txt" \
    "$tool" transform --from EPSG:4326 --to EPSG:3857 --precision 6)
vexogeo_seconds=$1
vexogeo_peak_1e6=$2
vexogeo_cpu=$3
set -- $(measure "$work/points_1e6_latlon.txt" "$work/cs2cs.txt" \
    cs2cs -f %.6f EPSG:4326 EPSG:3857)
cs2cs_seconds=$1
cs2cs_peak=$2
cs2cs_cpu=$3

# Both must have written the same numbers: cs2cs adds a height column and a tab.
if ! awk '{ print $1, $2 }' "$work/cs2cs.txt" | cmp -s - "$work/vexogeo.txt"; then
    echo "cli_bench: vexogeo and cs2cs wrote different points" >&2
    exit 1
fi

generate 10000000 >"$work/points_1e7.txt"
set -- $(runs=1 measure "$work/points_1e7.txt" /dev/null \
    "$tool" transform --from EPSG:4326 --to EPSG:3857 --precision 6)
vexogeo_seconds_1e7=$1
vexogeo_peak_1e7=$2

awk -v vs="$vexogeo_seconds" -v cs="$cs2cs_seconds" -v vp6="$vexogeo_peak_1e6" \
    -v cp="$cs2cs_peak" -v vc="$vexogeo_cpu" -v cc="$cs2cs_cpu" -v vs7="$vexogeo_seconds_1e7" -v vp7="$vexogeo_peak_1e7" -v csv="$csv" '
BEGIN {
    ratio = cs / (vs > 0 ? vs : 0.001)
    growth = vp7 / vp6
    printf "%-48s %12s %12s %10s  %s\n", "measure", "vexogeo", "cs2cs", "ratio", "limit"
    printf "%-48s %12.2f %12.2f %9.1fx  %s %s\n", "transform 1e6 points EPSG:4326->3857, s",
        vs, cs, ratio, ">= 4x", (ratio >= 4 ? "met" : "MISSED")
    printf "%-48s %12.2f %12.2f %9.1fx\n", "CPU time (user + system) 1e6 points, s", vc, cc,
        cc / (vc > 0 ? vc : 0.01)
    printf "%-48s %12.0f %12.0f\n", "throughput 1e6 points, points/s", 1e6 / vs, 1e6 / cs
    printf "%-48s %12.1f %12.1f\n", "peak memory 1e6 points, MB", vp6 / 1024, cp / 1024
    printf "%-48s %12.1f %12s %9.2fx  %s %s\n", "peak memory 1e7 points, MB", vp7 / 1024, "-",
        growth, "no growth (<= 1.10x)", (growth <= 1.10 ? "met" : "MISSED")
    printf "%-48s %12.2f\n", "transform 1e7 points, s", vs7
    if (csv != "") {
        print "measure,vexogeo,cs2cs,ratio,limit" > csv
        printf "transform_1e6_seconds,%.3f,%.3f,%.2f,4\n", vs, cs, ratio >> csv
        printf "cpu_1e6_seconds,%.2f,%.2f,%.2f,\n", vc, cc, cc / (vc > 0 ? vc : 0.01) >> csv
        printf "peak_memory_1e6_kb,%d,%d,,\n", vp6, cp >> csv
        printf "peak_memory_1e7_kb,%d,,%.3f,1.10\n", vp7, growth >> csv
        printf "transform_1e7_seconds,%.3f,,,\n", vs7 >> csv
    }
}'
