#!/bin/bash
# CPU and wake-ups of each thread of a paused krvtool play, over SECONDS of
# the pause, from /proc/PID/task/*/schedstat. The threads carry their names
# (cv-display0, cv-clock, ...), so the table says who wakes while nothing
# plays.
#   bench/media/paused_threads.sh [BUILD_DIR] [RECORDING] [SECONDS]
# BUILD_DIR defaults to build/release; RECORDING to bench/run-all's 60 s input.
set -euo pipefail
BUILD=${1:-build/release}
REC=${2:-/tmp/corvane-run-all/play-60s/20240101120000_1000.krv}
SECONDS_MEASURED=${3:-8}
K=$BUILD/tools/krvtool
[ -x "$K" ] || { echo "paused_threads: no $K (build krvtool and krvtool-media)" >&2; exit 1; }
[ -f "$REC" ] || { echo "paused_threads: no $REC (bench/run-all makes it)" >&2; exit 1; }
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
# Paused at second 1 until well after the measurement.
SDL_AUDIODRIVER=corvane-no-such-driver "$K" play "$REC" --report --until 3 --pause-at 1 \
  --resume-after $(((SECONDS_MEASURED + 4) * 1000)) >/dev/null 2>&1 &
P=$!
sleep 3
snap() {
  for t in /proc/$P/task/*; do
    echo "$(basename "$t") $(tr ' ' _ <"$t/comm") $(cat "$t/schedstat")"
  done
}
snap >"$TMP/a"
sleep "$SECONDS_MEASURED"
snap >"$TMP/b"
join "$TMP/a" "$TMP/b" | awk -v s="$SECONDS_MEASURED" '{
  ns = $7 - $3; wk = $9 - $5; tot += ns; twk += wk
  printf "%-8s %-16s cpu %.3f%% wake/s %.1f\n", $1, $2, ns / s / 1e9 * 100, wk / s
} END { printf "TOTAL cpu %.3f%% wake/s %.1f\n", tot / s / 1e9 * 100, twk / s }'
wait
