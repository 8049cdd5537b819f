#!/bin/sh
# Rips a generated disc image (default 60 minutes, ten tracks) with quarrow-cli at the
# default settings of each format and, in the same run, encodes the same PCM with the
# encoder each format uses, run directly at the same settings:
#   MP3: lame -m j -b 128 -q 5 (CBR 128 kbps joint stereo, quality 5, no ReplayGain)
#   MP2: twolame -m a -b 128 (128 kbps, automatic channel mode)
#   AAC: ffmpeg -c:a aac -b:a 128k into MP4 (Quarrow's built-in AAC encoder when none of
#        the AAC programs is installed: FAAC quality 100 maps to 128 kbps)
#   MPC: mpcenc --quality 5.00 on the WAV file (Quarrow runs the same program on stdin)
#   WMA: ffmpeg -c:a wmav2 -b:a 128k into ASF (profile 47, 128 kbps 44100 Hz stereo)
# Prints both wall-clock and CPU times (user + system, child programs included) and their
# ratios. Targets on CPU time: within 1.15x of lame and twolame, 1.1x of the others. On a
# machine shared with other work the wall-clock times wander with the load, so the
# verdict is taken on CPU time.
#
#   bench/encoders_vs_reference.sh [BUILD_DIR] [MINUTES]   (default: build-bench-enc, 60)
# When BUILD_DIR holds no quarrow-cli yet, it is configured (RelWithDebInfo) and built
# with -j2 first. QUARROW_BENCH_FORMATS picks formats (default "mp3 mp2 aac mpc wma").
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench-enc}
minutes=${2:-60}
formats=${QUARROW_BENCH_FORMATS:-mp3 mp2 aac mpc wma}
tracks=10

for tool in sox lame twolame ffmpeg mpcenc cmake; do
    command -v $tool >/dev/null || { echo "$tool is missing" >&2; exit 2; }
done
[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing (Debian package \"time\")" >&2; exit 2; }

cli=$build/src/cli/quarrow-cli
if [ ! -x "$cli" ]; then
    echo "Building quarrow-cli in $build ..."
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARROW_TESTS=OFF > /dev/null
    cmake --build "$build" -j2 --target quarrow-cli > /dev/null
fi
type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
case "$type" in
    Debug|"") echo "note: $build is a '${type:-unknown}' build; our side runs unoptimised" >&2 ;;
esac

work=$(mktemp -d "${TMPDIR:-/tmp}/quarrow-bench-enc.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

. "$root/bench/common.sh"
make_disc_image "$work" "$minutes" "$tracks" sine 220-880 sine 330-660 vol 0.5

seconds_of() {  # time -v output file -> "wall-clock-seconds cpu-seconds"
    awk -F': ' '/Elapsed \(wall clock\)/ {n=split($2,a,":"); s=0; for(i=1;i<=n;i++) s=s*60+a[i]; w=s}
                /User time \(seconds\)/ {c+=$2} /System time \(seconds\)/ {c+=$2}
                END {print w, c}' "$1"
}

measure() {  # label, command...
    label=$1; shift
    /usr/bin/time -v "$@" > "$work/$label.out" 2> "$work/$label.time" || {
        cat "$work/$label.out" "$work/$label.time" >&2; exit 1; }
    seconds_of "$work/$label.time"
}

status=0
for format in $formats; do
    case "$format" in
        mp3) id=2; ext=mp3; target=1.15
             set -- lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -m j -b 128 -q 5 \
                 --noreplaygain "$work/disc.bin" "$work/ref.mp3" ;;
        mp2) id=7; ext=mp2; target=1.15
             set -- twolame --quiet -r -s 44100 -N 2 -m a -b 128 "$work/disc.bin" "$work/ref.mp2" ;;
        aac) id=10; ext=mp4; target=1.1
             set -- ffmpeg -v error -nostdin -f s16le -ar 44100 -ac 2 -i "$work/disc.bin" -c:a aac -b:a 128k \
                 -f mp4 -y "$work/ref.mp4" ;;
        mpc) id=11; ext=mpc; target=1.1
             [ -f "$work/disc.wav" ] || sox -t raw -r 44100 -c 2 -b 16 -e signed-integer -L "$work/disc.bin" "$work/disc.wav"
             set -- mpcenc --silent --quality 5.00 --overwrite "$work/disc.wav" "$work/ref.mpc" ;;
        wma) id=3; ext=wma; target=1.1
             set -- ffmpeg -v error -nostdin -f s16le -ar 44100 -ac 2 -i "$work/disc.bin" -c:a wmav2 -b:a 128k \
                 -f asf -y "$work/ref.wma" ;;
        *) echo "unknown format $format (mp3, mp2, aac, mpc, wma)" >&2; exit 2 ;;
    esac
    rm -rf "$work/home" "$work/out"
    mkdir -p "$work/home" "$work/out"
    printf '[OUTPUT]\nOutputFormat=%d\nDesDir=%s/out/\nNotify=0\nVisRip=0\n[DISC]\nRipModePreset=0\n' \
        "$id" "$work" > "$work/home/Quarrow.ini"

    ours=$(measure "quarrow-$format" "$cli" --home "$work/home" --drive "$work/disc.cue" --yes rip --all)
    files=$(find "$work/out" -name "*.$ext" | wc -l)
    [ "$files" -eq "$tracks" ] || { echo "$format: expected $tracks files, found $files" >&2; exit 1; }
    ref=$(measure "ref-$format" "$@")
    ourBytes=$(find "$work/out" -name "*.$ext" -exec cat {} + | wc -c)
    refBytes=$(wc -c < "$work/ref.$ext")

    echo "$format $ours $ref $ourBytes $refBytes $1 $target" | awk '{
        wall = ($4 > 0) ? $2 / $4 : 0
        cpu = ($5 > 0) ? $3 / $5 : 0
        printf "%s: quarrow-cli %8.2f s wall %8.2f s cpu (%d bytes)\n", $1, $2, $3, $6
        printf "%s: %-11s %8.2f s wall %8.2f s cpu (%d bytes)\n", $1, $8, $4, $5, $7
        printf "%s: ratio wall %.2f, cpu %.2f (target <= %s on cpu): %s\n", $1, wall, cpu, $9, (cpu <= $9) ? "met" : "missed"
        exit (cpu <= $9) ? 0 : 1
    }' || status=1
done
exit $status
