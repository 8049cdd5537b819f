#!/bin/sh
# Rips a generated 60-minute disc image to WAV with quarrow-cli and, in the same run,
# copies the same PCM into a WAV with sox; prints the time and peak memory of both and
# their ratio. Targets: quarrow-cli within 1.2x of sox's time and under 64 MiB.
#
#   bench/rip_wav.sh [BUILD_DIR]     (default: build)
# QUARROW_RIP_ARGS overrides the rip command's words (default: "rip --all --format wav").
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
. "$root/bench/common.sh"
need_cli "$build"
[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing (Debian package \"time\")" >&2; exit 2; }
need_tools sox

work=$(mktemp -d "${TMPDIR:-/tmp}/quarrow-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

minutes=60
tracks=10
make_disc_image "$work" "$minutes" "$tracks" sine 220-880 sine 330-660 vol 0.5

mkdir -p "$work/home" "$work/out" "$work/sox"
printf '[OUTPUT]\nOutputFormat=1\nDesDir=%s/out/\nNotify=0\nVisRip=0\n[DISC]\nRipModePreset=0\n' "$work" \
    > "$work/home/Quarrow.ini"

measure() {  # label, command...
    label=$1; shift
    /usr/bin/time -v "$@" > /dev/null 2> "$work/$label.time" || { cat "$work/$label.time" >&2; exit 1; }
    secs=$(awk -F': ' '/Elapsed \(wall clock\)/ {n=split($2,a,":"); s=0; for(i=1;i<=n;i++) s=s*60+a[i]; print s}' "$work/$label.time")
    kib=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/$label.time")
    echo "$label $secs $kib"
}

# shellcheck disable=SC2086
q=$(measure quarrow "$cli" --home "$work/home" --drive "$work/disc.cue" --yes ${QUARROW_RIP_ARGS:-rip --all --format wav})
s=$(measure sox sox -t raw -r 44100 -c 2 -b 16 -e signed-integer -L "$work/disc.bin" "$work/sox/disc.wav")

echo "$q" "$s" | awk '{
    printf "quarrow-cli: %8.2f s  %8.1f MiB peak\n", $2, $3 / 1024
    printf "sox        : %8.2f s  %8.1f MiB peak\n", $5, $6 / 1024
    ratio = ($5 > 0) ? $2 / $5 : 0
    printf "time ratio : %8.2f (target <= 1.20); quarrow-cli memory target < 64 MiB: %s\n", ratio, ($3 / 1024 < 64) ? "met" : "missed"
}'
