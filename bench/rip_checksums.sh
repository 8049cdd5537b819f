#!/bin/sh
# What the checksums of the audio as read (CRC32, AccurateRip v1/v2, frame 450, the
# CUETools disc CRC) cost a rip: rips a generated 60-minute disc image to WAV with
# quarrow-cli with and without them (--no-checksums), the runs interleaved in the same
# run of this script, and prints the median wall and CPU times of each and their ratio.
# Target: with / without <= 1.03. The rip log is off (WriteLog=0), so that both runs
# differ only by the checksums.
#
#   bench/rip_checksums.sh [BUILD_DIR] [RUNS]     (defaults: build, 3)
# Use a Release build: cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
runs=${2:-3}
. "$root/bench/common.sh"
need_cli "$build"
[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing (Debian package \"time\")" >&2; exit 2; }
need_tools sox

work=$(mktemp -d "${TMPDIR:-/tmp}/quarrow-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

minutes=60
tracks=10
make_disc_image "$work" "$minutes" "$tracks" sine 220-880 sine 330-660 vol 0.5

mkdir -p "$work/home"
printf '[OUTPUT]\nOutputFormat=1\nDesDir=%s/out/\nNotify=0\nVisRip=0\nWriteLog=0\n[DISC]\nRipModePreset=0\n' "$work" \
    > "$work/home/Quarrow.ini"

rip() {  # label, extra rip words...
    label=$1; shift
    rm -rf "$work/out"
    /usr/bin/time -f '%e %U %S' -o "$work/time" \
        "$cli" --home "$work/home" --drive "$work/disc.cue" --yes rip --all --format wav "$@" \
        > /dev/null 2> "$work/$label.err" || { cat "$work/$label.err" >&2; exit 1; }
    awk -v l="$label" '{ printf "%s %s %.2f\n", l, $1, $2 + $3 }' "$work/time" >> "$work/times"
}

: > "$work/times"
rip warmup --no-checksums   # the image into the page cache
: > "$work/times"
i=0
while [ $i -lt "$runs" ]; do
    rip with
    rip without --no-checksums
    i=$((i + 1))
done

cp "$work/times" "${QUARROW_BENCH_TIMES:-/dev/null}" 2>/dev/null || true
median() {  # label, column (2 wall, 3 cpu)
    awk -v l="$1" -v c="$2" '$1 == l { print $c }' "$work/times" | sort -n |
        awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
ww=$(median with 2); wc=$(median with 3)
nw=$(median without 2); nc=$(median without 3)
echo "$runs runs each, medians:"
echo "$ww $wc $nw $nc" | awk '{
    printf "with checksums   : %7.2f s wall %7.2f s CPU\n", $1, $2
    printf "without checksums: %7.2f s wall %7.2f s CPU\n", $3, $4
    printf "ratio            : %7.3f wall   %7.3f CPU (target <= 1.03)\n", ($3 > 0) ? $1 / $3 : 0, ($4 > 0) ? $2 / $4 : 0
}'
