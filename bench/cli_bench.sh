#!/bin/sh
# The vexogeo tool side by side with the reference tools on the same input and the same output
# precision: `transform` against PROJ's cs2cs and `distance` against GeographicLib's GeodSolve
# on 1,000,000 lines, and the tool's peak memory at 1,000,000 and 10,000,000 lines.
#
#   bench/cli_bench.sh [--build DIR] [--runs N] [--csv FILE]
#
# DIR is a build folder holding bin/vexogeo (default: build). Each time is the best of N runs
# (default 3) in wall-clock seconds, the figure other work on the machine disturbs least; the
# CPU seconds (user + system) of that run are shown beside it. Prints a table, and writes it
# as CSV to FILE when asked.
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
for program in "$tool" cs2cs GeodSolve /usr/bin/time awk; do
    if ! command -v "$program" >/dev/null 2>&1; then
        echo "cli_bench: $program is missing" >&2
        exit 1
    fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/vexogeo-cli-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
rows=$work/rows
: >"$rows"

# Points as "longitude latitude" with six decimals; pairs as two such points on one line.
points() {
    awk -v n="$1" 'BEGIN { srand(20240601); for (i = 0; i < n; i++)
        printf "%.6f %.6f\n", -180 + 360 * rand(), -80 + 160 * rand() }'
}
pairs() {
    awk -v n="$1" 'BEGIN { srand(20240602); for (i = 0; i < n; i++)
        printf "%.6f %.6f %.6f %.6f\n", -180 + 360 * rand(), -80 + 160 * rand(),
            -180 + 360 * rand(), -80 + 160 * rand() }'
}

# Runs a command with its input and output files; prints "wall_seconds peak_kilobytes
# cpu_seconds" of the run with the least wall-clock time (the peak is the largest of all runs).
measure() {
    count=$1
    input=$2
    output=$3
    shift 3
    best=
    cpu=
    peak=0
    i=0
    while [ "$i" -lt "$count" ]; do
        /usr/bin/time -f "%e %M %U %S" -o "$work/time" "$@" <"$input" >"$output"
        read -r seconds kilobytes user system <"$work/time"
        if [ -z "$best" ] || awk -v a="$seconds" -v b="$best" 'BEGIN { exit !(a < b) }'; then
            best=$seconds
            cpu=$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.2f", u + s }')
        fi
        if [ "$kilobytes" -gt "$peak" ]; then
            peak=$kilobytes
        fi
        i=$((i + 1))
    done
    echo "$best $peak $cpu"
}

# row NAME VEXOGEO REFERENCE RATIO LIMIT VERDICT
row() {
    printf '%s|%s|%s|%s|%s|%s\n' "$1" "$2" "$3" "$4" "$5" "$6" >>"$rows"
}

# compare NAME "VEXOGEO_MEASURE" "REFERENCE_MEASURE" LIMIT: times and the throughput ratio.
compare() {
    set -- "$1" $2 $3 "$4"
    name=$1 vs=$2 vp=$3 vc=$4 rs=$5 rp=$6 rc=$7 limit=$8
    ratio=$(awk -v v="$vs" -v r="$rs" 'BEGIN { printf "%.1f", r / (v > 0 ? v : 0.01) }')
    verdict=$(awk -v x="$ratio" -v l="$limit" 'BEGIN { print (x >= l ? "met" : "MISSED") }')
    row "$name, wall s" "$vs" "$rs" "${ratio}x" ">= ${limit}x" "$verdict"
    row "$name, CPU s" "$vc" "$rc" \
        "$(awk -v v="$vc" -v r="$rc" 'BEGIN { printf "%.1fx", r / (v > 0 ? v : 0.01) }')" "" ""
    row "$name, peak MB" "$(awk -v k="$vp" 'BEGIN { printf "%.1f", k / 1024 }')" \
        "$(awk -v k="$rp" 'BEGIN { printf "%.1f", k / 1024 }')" "" "" ""
}

# growth NAME PEAK_1E6 PEAK_1E7: the peak memory must not grow with the input.
growth() {
    ratio=$(awk -v a="$2" -v b="$3" 'BEGIN { printf "%.2f", b / a }')
    verdict=$(awk -v x="$ratio" 'BEGIN { print (x <= 1.10 ? "met" : "MISSED") }')
    row "$1, peak MB at 1e7 lines" "$(awk -v k="$3" 'BEGIN { printf "%.1f", k / 1024 }')" "" \
        "${ratio}x of 1e6" "<= 1.10x" "$verdict"
}

export PROJ_DEBUG=0

# transform: cs2cs reads EPSG:4326 in its own axis order, latitude first, so it gets the same
# points with the columns swapped.
points 1000000 >"$work/points"
awk '{ print $2, $1 }' "$work/points" >"$work/points_latlon"
vexogeo_transform=$(measure "$runs" "$work/points" "$work/vexogeo_points" \
    "$tool" transform --from EPSG:4326 --to EPSG:3857 --precision 6)
cs2cs_transform=$(measure "$runs" "$work/points_latlon" "$work/cs2cs_points" \
    cs2cs -f %.6f EPSG:4326 EPSG:3857)
# Both must have written the same numbers: cs2cs adds a height column and a tab.
if ! awk '{ print $1, $2 }' "$work/cs2cs_points" | cmp -s - "$work/vexogeo_points"; then
    echo "cli_bench: vexogeo transform and cs2cs wrote different points" >&2
    exit 1
fi
compare "transform 1e6 points vs cs2cs" "$vexogeo_transform" "$cs2cs_transform" 4

# distance: GeodSolve reads latitude first as well and writes azimuths before the distance.
pairs 1000000 >"$work/pairs"
awk '{ print $2, $1, $4, $3 }' "$work/pairs" >"$work/pairs_latlon"
vexogeo_distance=$(measure "$runs" "$work/pairs" "$work/vexogeo_distances" \
    "$tool" distance --crs EPSG:4326 --precision 3)
geodsolve_distance=$(measure "$runs" "$work/pairs_latlon" "$work/geodsolve_distances" \
    GeodSolve -i -p 3)
# Equal to the millimetre written; a distance may round the other way when its fourth decimal
# is a 5 that PROJ's degree round trip moves by a nanometre.
if ! awk '{ print $3 }' "$work/geodsolve_distances" | paste -d' ' - "$work/vexogeo_distances" |
    awk '{ d = $1 - $2; if (d < 0) d = -d; if (d > 0.0015) bad++ } END { exit bad > 0 }'; then
    echo "cli_bench: vexogeo distance and GeodSolve wrote different distances" >&2
    exit 1
fi
compare "distance 1e6 pairs vs GeodSolve -i" "$vexogeo_distance" "$geodsolve_distance" 6

# Peak memory at ten times the input.
rm -f "$work/points_latlon" "$work/pairs_latlon" "$work/cs2cs_points" "$work/geodsolve_distances"
points 10000000 >"$work/points"
set -- $(measure 1 "$work/points" /dev/null \
    "$tool" transform --from EPSG:4326 --to EPSG:3857 --precision 6)
transform_1e7_seconds=$1
growth "transform" "$(echo "$vexogeo_transform" | cut -d' ' -f2)" "$2"
rm -f "$work/points"
pairs 10000000 >"$work/pairs"
set -- $(measure 1 "$work/pairs" /dev/null "$tool" distance --crs EPSG:4326 --precision 3)
distance_1e7_seconds=$1
growth "distance" "$(echo "$vexogeo_distance" | cut -d' ' -f2)" "$2"
row "transform 1e7 points, wall s" "$transform_1e7_seconds" "" "" "" ""
row "distance 1e7 pairs, wall s" "$distance_1e7_seconds" "" "" "" ""

awk -F'|' -v csv="$csv" '
BEGIN {
    printf "%-46s %10s %10s %14s %10s  %s\n", "measure", "vexogeo", "reference", "ratio",
        "limit", ""
    if (csv != "") print "measure,vexogeo,reference,ratio,limit,verdict" > csv
}
{
    printf "%-46s %10s %10s %14s %10s  %s\n", $1, $2, $3, $4, $5, $6
    if (csv != "") printf "\"%s\",%s,%s,%s,\"%s\",%s\n", $1, $2, $3, $4, $5, $6 >> csv
}' "$rows"
