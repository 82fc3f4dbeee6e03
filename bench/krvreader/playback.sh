#!/usr/bin/env bash
# Real-time x1 playback of a 60 s four-channel 704x576 25 fps recording
# through the whole road (KRV reader thread, clock, video filter with null
# renderers, sound player, vehicle record consumers) with `krvtool play`,
# under /usr/bin/time. Prints the wall time against the recording's length,
# the pacing of the clock's CurDTS calls (median and p99 of
# |actual - expected| interval), the CPU time of the process as a share of
# one core, and its peak memory.
#
# Usage: bench/krvreader/playback.sh [BUILD_DIR] [--keep] [--seconds N]
# The recording goes to /tmp and is deleted afterwards unless --keep is
# given. SDL plays through its dummy driver unless SDL_AUDIODRIVER is set.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD=build/bench
KEEP=0
SECONDS_LONG=60
while [ $# -gt 0 ]; do
  case "$1" in
    --keep) KEEP=1 ;;
    --seconds) SECONDS_LONG="$2"; shift ;;
    *) BUILD="$1" ;;
  esac
  shift
done
FILE=/tmp/corvane-bench-playback-${SECONDS_LONG}s/20240101120000_1000.krv
export SDL_AUDIODRIVER="${SDL_AUDIODRIVER:-dummy}"

cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCORVANE_BENCH=ON -DCORVANE_GUI=OFF >/dev/null
cmake --build "$BUILD" --target krvtool >/dev/null
KRVTOOL="$BUILD/tools/krvtool"

if [ ! -f "$FILE" ]; then
  echo "writing $FILE (${SECONDS_LONG} s, four channels of 704x576)" >&2
  mkdir -p "$(dirname "$FILE")"
  "$KRVTOOL" synth "$FILE" --seconds "$SECONDS_LONG" --size 704x576 --fps 25 --channels 4 \
    --start 20240101120000 >/dev/null
fi

REPORT=$(mktemp)
TIMES=$(mktemp)
/usr/bin/time -v "$KRVTOOL" play "$FILE" --report >"$REPORT" 2>"$TIMES"

python3 - "$REPORT" "$TIMES" "$SECONDS_LONG" <<'PY'
import json, re, sys
report = json.load(open(sys.argv[1]))
times = open(sys.argv[2]).read()
length_s = float(sys.argv[3])
def field(name):
    m = re.search(re.escape(name) + r":\s*([0-9.:]+)", times)
    return m.group(1) if m else "0"
user, system = float(field("User time (seconds)")), float(field("System time (seconds)"))
rss_kb = int(field("Maximum resident set size (kbytes)"))
wall_s = report["wall_ms"] / 1000.0
play_s = report["play_ms"] / 1000.0
pictures = sum(c["pictures"] for c in report["channels"])
print(f"recording: {length_s:.0f} s, four channels of 704x576 at 25 fps; sound: {report['sound']['device']}")
print(f"pictures shown: {pictures} (out of order: {sum(c['out_of_order'] for c in report['channels'])})")
print(f"wall time, open to end: {wall_s:.3f} s = {100.0 * (wall_s / length_s - 1):+.2f} % of the length")
print(f"clock time, first to last CurDTS: {play_s:.3f} s (last frame at {length_s - 0.04:.2f} s)")
print(f"CurDTS pacing: median {report['pacing']['median_ms']:.3f} ms, p99 {report['pacing']['p99_ms']:.3f} ms"
      f" over {report['pacing']['intervals']} intervals")
print(f"sound played {report['sound']['played_ms']} ms at clock {report['sound']['clock_ms']} ms")
print(f"CPU time: user {user:.2f} s + system {system:.2f} s = {100.0 * (user + system) / wall_s:.1f} % of one core")
print(f"peak memory (max RSS): {rss_kb / 1024.0:.1f} MiB")
PY
rm -f "$REPORT" "$TIMES"
if [ "$KEEP" = 0 ]; then rm -rf "$(dirname "$FILE")"; fi
