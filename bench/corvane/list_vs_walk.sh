#!/usr/bin/env bash
# The catalogue scan against the least any scan must do.
#
# Builds (once) a recorder tree of COUNT KRV recordings (100 a day in day
# folders, small real recordings from `krvtool synth`, copied), then times
#   walk: bench_record_tree walk TREE  (open every file, read its first 4 KB)
#   list: krvtool list TREE            (the catalogue: names, KRV probe, rows)
# Page cache: each command runs once untimed first, so both timed runs read a
# warm cache; the timed pair is repeated ROUNDS times and the median ratio printed.
# Each round also times `krvtool list` of an empty folder (the program's
# start-up; krvtool loads no codec library, so it is a few milliseconds),
# and the median of (list - start-up) / walk is printed beside the whole ratio.
# Then bench_catalogue_parts splits the scan inside one process (no program
# start-up): bare walk, the container's probe alone, the whole scan.
# Instruction and system-call counts per file: scan_instructions.sh.
#
# usage: bench/corvane/list_vs_walk.sh [BUILD_DIR] [COUNT] [ROUNDS]
#   BUILD_DIR defaults to build/release (configure it with -DCMAKE_BUILD_TYPE=Release
#   and build the targets krvtool, bench_record_tree and bench_catalogue_parts).
set -euo pipefail

BUILD=${1:-build/release}
COUNT=${2:-10000}
ROUNDS=${3:-3}
BENCH_NAME=list_vs_walk
# shellcheck source=record_tree.sh
source "$(dirname "$0")/record_tree.sh"

listed=$("$KRVTOOL" list "$TREE" | wc -l)
walked=$("$TREE_TOOL" walk "$TREE")
echo "tree: $TREE ($walked files, $listed listed, $(du -sh "$TREE" | cut -f1))"
[ "$listed" -eq "$COUNT" ] || { echo "list_vs_walk: expected $COUNT rows" >&2; exit 1; }

ms() {  # milliseconds one run of "$@" takes, output discarded
  local t0 t1
  t0=$(date +%s%N)
  "$@" >/dev/null
  t1=$(date +%s%N)
  echo $(((t1 - t0) / 1000000))
}

empty=$(mktemp -d)
trap 'rmdir "$empty"' EXIT
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratios=() startups=() lessStartup=()
for r in $(seq "$ROUNDS"); do
  ms "$TREE_TOOL" walk "$TREE" >/dev/null
  walk=$(ms "$TREE_TOOL" walk "$TREE")
  ms "$KRVTOOL" list "$TREE" >/dev/null
  list=$(ms "$KRVTOOL" list "$TREE")
  startup=$(ms "$KRVTOOL" list "$empty")
  ratio=$(awk -v a="$list" -v b="$walk" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
  less=$(awk -v a="$list" -v s="$startup" -v b="$walk" 'BEGIN { printf "%.2f", (b > 0 ? (a - s) / b : 0) }')
  echo "round $r: walk ${walk} ms, list ${list} ms, ratio ${ratio}; start-up ${startup} ms, list less start-up / walk ${less}"
  ratios+=("$ratio") startups+=("$startup") lessStartup+=("$less")
done
echo "median ratio list/walk: $(printf '%s\n' "${ratios[@]}" | median) (target <= 1.3)"
echo "krvtool start-up (list of an empty folder), median: $(printf '%s\n' "${startups[@]}" | median) ms;" \
  "median (list - start-up)/walk: $(printf '%s\n' "${lessStartup[@]}" | median)"
echo "inside one process: $("$PARTS" "$TREE")"
