#!/usr/bin/env bash
# Reads a generated recording of at least 500 MB with krv_read_packet and
# prints its MB/s beside `cat FILE > /dev/null` on the same file, both from the
# page cache, in one run. Usage: bench/krvreader/read_speed.sh [BUILD_DIR] [--keep]
# The recording goes to /tmp and is deleted afterwards unless --keep is given.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD=build/bench
KEEP=0
for a in "$@"; do
  case "$a" in
    --keep) KEEP=1 ;;
    *) BUILD="$a" ;;
  esac
done
FILE=/tmp/corvane-bench-recording.krv
MB=520

cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCORVANE_BENCH=ON -DCORVANE_GUI=OFF >/dev/null
cmake --build "$BUILD" --target krv_read_bench >/dev/null
BENCH="$BUILD/bench/krvreader/krv_read_bench"

if [ ! -f "$FILE" ]; then
  echo "writing $FILE ($MB MB)" >&2
  "$BENCH" write "$FILE" "$MB"
fi
SIZE=$(stat -c %s "$FILE")

now() { date +%s.%N; }
cat "$FILE" >/dev/null  # into the page cache
t0=$(now); cat "$FILE" >/dev/null; t1=$(now)
READER=$("$BENCH" read "$FILE")
CAT_MBS=$(echo "$SIZE $t0 $t1" | awk '{printf "%.1f", $1 / 1e6 / ($3 - $2)}')
KRV_MBS=$(echo "$READER" | awk '{for (i = 1; i < NF; i++) if ($i == "MB/s") print $(i + 1)}')
echo "file: $FILE, $SIZE bytes"
echo "reader: $READER"
echo "cat FILE > /dev/null: $CAT_MBS MB/s"
echo "krv_read_packet:      $KRV_MBS MB/s"
echo "ratio (krv_read_packet / cat): $(echo "$KRV_MBS $CAT_MBS" | awk '{printf "%.2f", $1 / $2}')"

if [ "$KEEP" = 0 ]; then rm -f "$FILE"; fi
