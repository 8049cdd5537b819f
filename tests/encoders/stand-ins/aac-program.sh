#!/bin/sh
# Stands in for the AAC encoder programs and their tagger, which are not packaged here
# (installed under External/ as faac, neroAacEnc, enc_aacplus and neroAacTag). It records
# its arguments, one per line, in $0.args and its standard input in $0.stdin, then makes
# the output file from that input with ffmpeg.
me="$0"
: > "$me.args"
for a in "$@"; do printf '%s\n' "$a" >> "$me.args"; done
case "$(basename "$me")" in
  neroAacTag) exit 0 ;;
  faac) while [ $# -gt 0 ] && [ "$1" != "-o" ]; do shift; done; out="$2" ;;
  neroAacEnc) while [ $# -gt 0 ] && [ "$1" != "-of" ]; do shift; done; out="$2" ;;
  enc_aacplus) out="$2" ;;
esac
cat > "$me.stdin"
case "$out" in *.aac) muxer=adts ;; *) muxer=mp4 ;; esac
exec ffmpeg -v error -nostdin -f wav -i "$me.stdin" -c:a aac -f $muxer -y "$out"
