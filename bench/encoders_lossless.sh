#!/bin/sh
# Encodes the same generated PCM (default 60 minutes, 16-bit stereo at 44100 Hz) with our
# Ogg Vorbis, FLAC, Ogg FLAC and WavPack drivers and, in the same run, with the reference
# command-line encoders at the same settings (oggenc -q 3.5, flac -5, flac --ogg -5,
# wavpack, wavpack -b320 -c); prints both times and their ratio. Target: ours within
# 1.15x of each reference.
#
#   bench/encoders_lossless.sh [BUILD_DIR] [MINUTES]     (default: build, 60)
# BUILD_DIR must hold built quarrow_encoders/albuminfo/app libraries, ideally of an
# optimised build (cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo, the default build type).
# QUARROW_BENCH_FORMATS picks formats (default "ogg flac oggflac wv wvhybrid").
#
# Our side runs through bench/encoders_lossless_driver.cpp: a reader thread pours the
# PCM into the sample rings as a rip does, and the driver drains them.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
minutes=${2:-60}
formats=${QUARROW_BENCH_FORMATS:-ogg flac oggflac wv wvhybrid}

for lib in src/encoders/libquarrow_encoders.a src/albuminfo/libquarrow_albuminfo.a src/app/libquarrow_app.a; do
    [ -f "$build/$lib" ] || { echo "$build/$lib not found (build quarrow_encoders in $build first)" >&2; exit 2; }
done
for tool in sox oggenc flac wavpack pkg-config g++; do
    command -v $tool >/dev/null || { echo "$tool is missing" >&2; exit 2; }
done
type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
case "$type" in
    Debug|"") echo "note: $build is a '${type:-unknown}' build; our side runs unoptimised" >&2 ;;
esac

work=$(mktemp -d "${TMPDIR:-/tmp}/quarrow-bench-lossless.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

echo "Building the driver program against $build ($type) ..."
# shellcheck disable=SC2046
g++ -std=c++20 -O2 -Wall -Wextra -I"$root/src" "$root/bench/encoders_lossless_driver.cpp" -o "$work/driver" \
    "$build/src/encoders/libquarrow_encoders.a" "$build/src/albuminfo/libquarrow_albuminfo.a" \
    "$build/src/app/libquarrow_app.a" \
    $(pkg-config --libs sndfile vorbisenc vorbis ogg twolame flac wavpack libcdio libcdio_cdda libcdio_paranoia) \
    -lpthread -ldl

echo "Generating $minutes minutes of PCM (a sweep left, pink noise right) ..."
raw=$work/pcm.raw
sox -n -r 44100 -c 2 -b 16 -e signed-integer -L -t raw "$raw" \
    synth $((minutes * 60)) sine 220-880 pinknoise vol 0.5

now() { date +%s.%N; }
# run LABEL command...: prints the seconds the command took; exits on its failure.
run() {
    label=$1; shift
    start=$(now)
    "$@" > "$work/$label.log" 2>&1 || { echo "$label failed:" >&2; cat "$work/$label.log" >&2; exit 1; }
    end=$(now)
    echo "$start $end" | awk '{printf "%.2f", $2 - $1}'
}

rawflac="--force-raw-format --endian=little --sign=signed --channels=2 --bps=16 --sample-rate=44100"
status=0
printf '%-9s %10s %10s %7s  %s\n' format "ours (s)" "ref (s)" ratio "sizes ours / ref (bytes)"
for f in $formats; do
    case $f in
        ogg)
            ours=$(run ours-$f "$work/driver" ogg "$raw" "$work/ours.ogg")
            ref=$(run ref-$f oggenc -Q -r -B 16 -C 2 -R 44100 --raw-endianness 0 -q 3.5 -o "$work/ref.ogg" "$raw")
            a=$work/ours.ogg; b=$work/ref.ogg ;;
        flac)
            ours=$(run ours-$f "$work/driver" flac "$raw" "$work/ours.flac")
            # shellcheck disable=SC2086
            ref=$(run ref-$f flac -s -f -5 $rawflac -o "$work/ref.flac" "$raw")
            a=$work/ours.flac; b=$work/ref.flac ;;
        oggflac)
            ours=$(run ours-$f "$work/driver" oggflac "$raw" "$work/ours.oga")
            # shellcheck disable=SC2086
            ref=$(run ref-$f flac -s -f --ogg -5 $rawflac -o "$work/ref.oga" "$raw")
            a=$work/ours.oga; b=$work/ref.oga ;;
        wv)
            ours=$(run ours-$f "$work/driver" wv "$raw" "$work/ours.wv")
            ref=$(run ref-$f wavpack -q -y --raw-pcm "$raw" -o "$work/ref.wv")
            a=$work/ours.wv; b=$work/ref.wv ;;
        wvhybrid)
            ours=$(run ours-$f "$work/driver" wvhybrid "$raw" "$work/ours-h.wv")
            ref=$(run ref-$f wavpack -q -y -b320 -c --raw-pcm "$raw" -o "$work/ref-h.wv")
            a=$work/ours-h.wv; b=$work/ref-h.wv ;;
        *) echo "unknown format $f" >&2; exit 2 ;;
    esac
    ratio=$(echo "$ours $ref" | awk '{ printf "%.2f", ($2 > 0) ? $1 / $2 : 0 }')
    verdict=$(echo "$ratio" | awk '{ print ($1 <= 1.15) ? "met" : "MISSED" }')
    [ "$verdict" = met ] || status=1
    printf '%-9s %10s %10s %7s  %s / %s  (target <= 1.15: %s)\n' "$f" "$ours" "$ref" "$ratio" \
        "$(wc -c < "$a")" "$(wc -c < "$b")" "$verdict"
    rm -f "$work"/ours* "$work"/ref*
done
exit $status
