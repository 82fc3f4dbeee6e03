#!/usr/bin/env bash
# The export's speed: `krvtool export` of a 1-hour stretch of a 4-channel
# recording into four AVI files, beside `ffmpeg -c copy` of the same stretch
# into four files from one AVI holding the same packets, in one run, both
# with the sources in the page cache. Prints both times and the ratio
# (ffmpeg's time / ours: 1 or more means as fast as ffmpeg or faster).
#
# The source is a 10-second `krvtool synth` recording (4 channels, real H.264
# and ADPCM) repeated to 62 minutes, so it is made in seconds.
# Usage: bench/export/export_speed.sh [BUILD_DIR] [--size WxH] [--keep]
# Files go to /tmp/corvane-export-bench and are deleted unless --keep.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD=build/bench
SIZE=352x288
KEEP=0
while [ $# -gt 0 ]; do
  case "$1" in
    --keep) KEEP=1 ;;
    --size) SIZE="$2"; shift ;;
    *) BUILD="$1" ;;
  esac
  shift
done
DIR=/tmp/corvane-export-bench
FROM=60
TO=$((FROM + 3600))

cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCORVANE_BENCH=ON -DCORVANE_GUI=OFF >/dev/null
cmake --build "$BUILD" --target krvtool export_bench_source >/dev/null
KRVTOOL="$BUILD/tools/krvtool"
MAKER="$BUILD/bench/export/export_bench_source"

mkdir -p "$DIR"
SRC="$DIR/20131227070943_0100_01.krv"
AVI="$DIR/source.avi"
if [ ! -f "$SRC" ] || [ ! -f "$AVI" ]; then
  echo "making a 62-minute 4-channel $SIZE source" >&2
  "$KRVTOOL" synth "$DIR/seed.krv" --seconds 10 --size "$SIZE" --channels 4 --gop 25 --start 20131227070943 >/dev/null
  "$MAKER" "$DIR/seed.krv" $((TO + 60)) "$SRC" "$AVI"
fi
rm -rf "$DIR/ours" "$DIR/ffmpeg"
mkdir -p "$DIR/ours" "$DIR/ffmpeg"
cat "$SRC" "$AVI" >/dev/null  # into the page cache

now() { date +%s.%N; }
t0=$(now)
REPORT=$("$KRVTOOL" export "$SRC" --from $FROM --to $TO --channels 0,1,2,3 -d "$DIR/ours" --report)
t1=$(now)
ffmpeg -v error -ss $FROM -to $TO -i "$AVI" \
  -map 0:0 -map 0:4 -c copy "$DIR/ffmpeg/1.avi" \
  -map 0:1 -map 0:5 -c copy "$DIR/ffmpeg/2.avi" \
  -map 0:2 -map 0:6 -c copy "$DIR/ffmpeg/3.avi" \
  -map 0:3 -map 0:7 -c copy "$DIR/ffmpeg/4.avi"
t2=$(now)

OURS=$(echo "$t0 $t1" | awk '{printf "%.2f", $2 - $1}')
PEER=$(echo "$t1 $t2" | awk '{printf "%.2f", $2 - $1}')
echo "source: $(stat -c %s "$SRC") bytes KRV, $(stat -c %s "$AVI") bytes AVI; stretch ${FROM}-${TO} s, 4 channels"
echo "outcome: $(echo "$REPORT" | sed -n 's/.*"outcome":"\([^"]*\)".*/\1/p')"
echo "krvtool export:  $OURS s ($(du -cb "$DIR"/ours/*.avi | tail -1 | cut -f1) bytes written)"
echo "ffmpeg -c copy:  $PEER s ($(du -cb "$DIR"/ffmpeg/*.avi | tail -1 | cut -f1) bytes written)"
echo "ratio (ffmpeg / krvtool export): $(echo "$PEER $OURS" | awk '{printf "%.2f", $1 / $2}')x (target: at least 1x)"

if [ "$KEEP" = 0 ]; then rm -rf "$DIR"; fi
