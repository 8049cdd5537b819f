#!/bin/sh
# Rips the same generated disc image (default 60 minutes of 16-bit stereo at 44100 Hz, a
# sweep left and pink noise right, in ten tracks) to APE with quarrow-cli at every
# compression level, and compresses the same PCM with flac -5; prints the time and size
# of each level and its size against FLAC's. Every level's files are decoded with ffmpeg
# and must give back the PCM bit for bit.
#
#   bench/ape_vs_flac.sh [BUILD_DIR] [MINUTES]     (default: build, 60)
# BUILD_DIR must hold a built quarrow-cli, ideally of a Release build.
# QUARROW_BENCH_LEVELS picks levels (default "1000 2000 3000 4000 5000").
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
minutes=${2:-60}
levels=${QUARROW_BENCH_LEVELS:-1000 2000 3000 4000 5000}
cli=$build/src/cli/quarrow-cli
[ -x "$cli" ] || { echo "quarrow-cli not found in $build (build it first)" >&2; exit 2; }
for tool in sox flac ffmpeg md5sum; do
    command -v $tool >/dev/null || { echo "$tool is missing" >&2; exit 2; }
done
type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
case "$type" in
    Release|RelWithDebInfo) ;;
    *) echo "note: $build is a '${type:-unknown}' build; the compressor runs unoptimised" >&2 ;;
esac

work=$(mktemp -d "${TMPDIR:-/tmp}/quarrow-bench-ape.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

tracks=10
. "$root/bench/common.sh"
make_disc_image "$work" "$minutes" "$tracks" sine 220-880 pinknoise vol 0.5
pcm_md5=$(md5sum < "$work/disc.bin" | cut -d' ' -f1)
pcm_bytes=$(wc -c < "$work/disc.bin")

now() { date +%s.%N; }
elapsed() { echo "$1 $2" | awk '{printf "%.1f", $2 - $1}'; }

start=$(now)
flac -s -f -5 --force-raw-format --endian=little --sign=signed --channels=2 --bps=16 --sample-rate=44100 \
    -o "$work/ref.flac" "$work/disc.bin"
flac_secs=$(elapsed "$start" "$(now)")
flac_bytes=$(wc -c < "$work/ref.flac")

printf '%-12s %9s %12s %8s %9s  %s\n' encoder "time (s)" "size (bytes)" "of PCM" "vs flac" "decodes"
printf '%-12s %9s %12s %7.1f%% %9s  %s\n' "flac -5" "$flac_secs" "$flac_bytes" \
    "$(echo "$flac_bytes $pcm_bytes" | awk '{print 100 * $1 / $2}')" "1.000" "-"
status=0
for level in $levels; do
    mkdir -p "$work/home" "$work/out"
    printf '[OUTPUT]\nOutputFormat=5\nDesDir=%s/out/\nNotify=0\nVisRip=0\nM3U=0\n[APE]\nCompLev=%s\n[DISC]\nRipModePreset=0\n' \
        "$work" "$level" > "$work/home/Quarrow.ini"
    start=$(now)
    "$cli" --home "$work/home" --drive "$work/disc.cue" --yes rip --all --format 5 > "$work/rip.log" 2>&1 ||
        { echo "APE $level failed:" >&2; cat "$work/rip.log" >&2; exit 1; }
    secs=$(elapsed "$start" "$(now)")
    bytes=$(find "$work/out" -name '*.ape' -exec cat {} + | wc -c)
    # The tracks in order, decoded back to PCM, must be the image.
    decoded=$(find "$work/out" -name '*.ape' | sort | while read -r f; do
        ffmpeg -nostdin -v error -i "$f" -f s16le -acodec pcm_s16le -; done | md5sum | cut -d' ' -f1)
    verdict=ok
    [ "$decoded" = "$pcm_md5" ] || { verdict=MISMATCH; status=1; }
    printf '%-12s %9s %12s %7.1f%% %9s  %s\n' "APE $level" "$secs" "$bytes" \
        "$(echo "$bytes $pcm_bytes" | awk '{print 100 * $1 / $2}')" \
        "$(echo "$bytes $flac_bytes" | awk '{printf "%.3f", $1 / $2}')" "$verdict"
    rm -rf "$work/home" "$work/out"
done
exit $status
