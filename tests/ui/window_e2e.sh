#!/usr/bin/env bash
# The real window under Xvfb: it opens on a generated disc image with its album from the
# local CDDB folder, Ctrl+F4 rips every track to WAV, every file is bit-exact against the
# image, a second start leaves one window, and Exit closes the log as it should.
# Usage: window_e2e.sh QUARROW QUARROW_CLI OUTPUT_DIR   (screenshots go to OUTPUT_DIR)
set -euo pipefail

if [ "${1:-}" != "--inside" ]; then
    [ $# -eq 3 ] || { echo "usage: $0 QUARROW QUARROW_CLI OUTPUT_DIR" >&2; exit 64; }
    quarrow=$(realpath "$1"); cli=$(realpath "$2"); out=$3
    for tool in xvfb-run xdotool import python3; do
        command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed (scripts/install-deps)" >&2; exit 1; }
    done
    mkdir -p "$out"; out=$(realpath "$out")
    export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$(dirname "$(realpath "$0")")/lsan.supp}"
    work=$(mktemp -d /tmp/quarrow-e2e.XXXXXX)
    trap 'rm -rf "$work"' EXIT
    # The one-window-per-user socket lives in TMPDIR: this run's own, so a window the
    # user has open is neither raised nor mistaken for ours.
    export TMPDIR="$work"
    home="$work/home"
    setup="$out/setup.out"
    : >"$setup"
    cli() { "$cli" --home "$home" "$@" 2>>"$setup" || { echo "FAIL: quarrow-cli $* (output in $setup)" >&2; exit 1; }; }
    # Album lookups may only ever reach the loopback address: the one server left in
    # the list is 127.0.0.1, and the disc's record is in the local CDDB folder.
    cli servers add 127.0.0.1:9 >/dev/null
    while [ "$(cli servers list | wc -l)" -gt 1 ]; do cli servers delete 1 >/dev/null; done
    cli servers list | grep -q ' 127\.0\.0\.1 ' || { echo "FAIL: the server list is not on 127.0.0.1" >&2; exit 1; }
    cli make-demo-disc "$work/disc" >/dev/null
    cli settings set OUTPUT OutputFormat 1 >/dev/null   # WAV
    status=0
    xvfb-run -a -s "-screen 0 1280x800x24" bash "$0" --inside "$quarrow" "$home" "$work/disc/Quarrow Demo.cue" "$out" || status=$?
    exit $status
fi

quarrow=$2 home=$3 image=$4 out=$5
log="$home/Quarrow.log"
title="^Quarrow 3\.1\.0$"
fail() {
    echo "FAIL: $*" >&2
    import -window root "$out/window-failure.png" 2>/dev/null || true
    echo "--- this run's log:" >&2; run_log | tail -n 30 >&2
    echo "--- quarrow's output:" >&2; tail -n 30 "$out/quarrow.out" >&2 || true
    exit 1
}

# Waits up to $1 seconds for the command in the remaining arguments to succeed.
wait_for() {
    local limit=$1; shift
    local end=$((SECONDS + limit))
    until "$@" >/dev/null 2>&1; do
        [ $SECONDS -lt $end ] || return 1
        sleep 0.3
    done
}
run_log() { tail -c +"$((log_start + 1))" "$log" 2>/dev/null; }
run_log_has() { run_log | grep -qF -- "$1"; }
window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1; }
has_window() { [ -n "$(window "$1")" ]; }
# Keys go to the window that has the focus; with no window manager the test gives it.
keys() { local w=$1; shift; xdotool windowfocus --sync "$w" && sleep 0.3 && xdotool key --clearmodifiers "$@"; }

log_start=$(stat -c %s "$log" 2>/dev/null || echo 0)
"$quarrow" --home "$home" --drive "$image" >"$out/quarrow.out" 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT

wait_for 60 has_window "$title" || fail "no window titled \"Quarrow 3.1.0\" within 60 s"
wait_for 60 run_log_has "Local CDDB loaded." || fail "the disc's album was not loaded from the local CDDB folder"
wait_for 30 run_log_has "Refreshing track list view..." || fail "the track list was not filled"
run_log_has "Initialization finished." || fail "the log has no \"Initialization finished.\""
main=$(window "$title")

# The Tip of the Day comes up once, a second after the window opens.
wait_for 15 has_window "^Tip of the Day$" || fail "no Tip of the Day at start-up"
keys "$(window "^Tip of the Day$")" Return
wait_for 10 bash -c "! xdotool search --onlyvisible --name '^Tip of the Day$'" || fail "the Tip of the Day did not close on Return"
sleep 1
import -window "$main" "$out/main-window.png"

# A second start hands over to the first window and ends; one window stays.
timeout 30 "$quarrow" --home "$home" --drive "$image" >"$out/second.out" 2>&1 || fail "the second start did not end by itself (status $?)"
count=$(xdotool search --onlyvisible --name "$title" | wc -l)
[ "$count" -eq 1 ] || fail "$count windows titled Quarrow 3.1.0 after a second start"
kill -0 $pid 2>/dev/null || fail "the first window ended when a second start was tried"

# Rip All.
keys "$main" ctrl+F4
wait_for 300 run_log_has "Finished coping!" || fail "the rip did not finish within 300 s"
# The finished rip says so in a box titled "Done"; the rip dialog then offers Finish.
wait_for 10 has_window "^Done$" || fail "no \"Done\" box at the end of the rip"
keys "$(window "^Done$")" Return
has_window "^Finished Coping$" || fail "the rip dialog's caption is not \"Finished Coping\""
sleep 1
import -window root -crop "$(xdotool getwindowgeometry "$main" | awk '/Geometry/ {print $2}')+0+0" "$out/rip-finished.png"
keys "$(window "^Finished Coping$")" Escape
wait_for 20 bash -c "! xdotool search --onlyvisible --name '^Finished Coping$'" || fail "the finished rip dialog did not close"

# Exit through the File menu (its last entry).
keys "$main" alt+f
sleep 0.5
xdotool key Up Return
for _ in $(seq 100); do kill -0 $pid 2>/dev/null || break; sleep 0.3; done
kill -0 $pid 2>/dev/null && fail "the window did not close on Exit"
wait $pid || fail "quarrow ended with status $? (output in $out/quarrow.out)"
trap - EXIT

# OK on the tip kept "Show tips on startup" in the settings file, and Exit's save kept it.
grep -qE $'^Tip=1\r?$' "$home/Quarrow.ini" || fail "Quarrow.ini has no Tip=1 after the tip's OK and Exit"

# The run's part of the log ends with the closing line and five empty lines.
run_log | python3 -c '
import re, sys
text = sys.stdin.buffer.read().decode("utf-8", "replace")
if not re.search(r"Closing Quarrow\.\.\.\r\n(\r\n){5}\Z", text):
    sys.exit("FAIL: the log does not end with \"Closing Quarrow...\" and five empty lines:\n" + repr(text[-200:]))
'

# Every track is in exactly one complete WAV file whose samples are the image's bytes.
python3 - "$image" "$home/Output" <<'PY'
import pathlib, re, struct, sys, wave
cue, outdir = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
text = cue.read_text()
data = (cue.parent / re.search(r'FILE "([^"]+)"', text).group(1)).read_bytes()
starts = [(int(m) * 60 + int(s)) * 75 + int(f) for m, s, f in re.findall(r"INDEX 01 (\d+):(\d+):(\d+)", text)]
bounds = [x * 2352 for x in starts] + [len(data)]
tracks = [data[a:b] for a, b in zip(bounds, bounds[1:])]

def pcm(path):   # a RIFF size short of the file's is an incomplete file
    raw = path.read_bytes()
    if raw[:4] != b"RIFF" or struct.unpack("<I", raw[4:8])[0] != len(raw) - 8:
        sys.exit(f"FAIL: {path} is not a complete RIFF file")
    with wave.open(str(path)) as w:
        if (w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getcomptype()) != (2, 2, 44100, "NONE"):
            sys.exit(f"FAIL: {path} is not 16-bit stereo PCM at 44100 Hz")
        return w.readframes(w.getnframes())

wavs = sorted(outdir.rglob("*.wav"))
if len(wavs) != len(tracks):
    sys.exit(f"FAIL: {len(wavs)} WAV files for {len(tracks)} tracks: {[str(w) for w in wavs]}")
got = {w: pcm(w) for w in wavs}
for n, want in enumerate(tracks, 1):
    same = [w for w, d in got.items() if d == want]
    if len(same) != 1:
        sys.exit(f"FAIL: track {n} ({len(want)} bytes) matches {len(same)} WAV files")
print(f"{len(tracks)} tracks ripped bit-exact: " + ", ".join(w.name for w in wavs))
PY
echo "PASS: window end to end (screenshots in $out)"
