#!/usr/bin/env bash
# The catalogue scan against the least any scan must do.
#
# Builds (once) a recorder tree of COUNT KRV recordings (100 a day in day
# folders, small real recordings from `krvtool synth`, copied), then times
#   walk: bench_record_tree walk TREE  (open every file, read its first 4 KB)
#   list: krvtool list TREE            (the catalogue: names, KRV probe, size, rows)
# Page cache: each command runs once untimed first, so both timed runs read a
# warm cache; the timed pair is repeated ROUNDS times and the median ratio printed.
# Then bench_catalogue_parts splits the scan inside one process (no program
# start-up): bare walk, the container's probe alone, the whole scan.
#
# usage: bench/corvane/list_vs_walk.sh [BUILD_DIR] [COUNT] [ROUNDS]
#   BUILD_DIR defaults to build/release (configure it with -DCMAKE_BUILD_TYPE=Release
#   and build the targets krvtool, bench_record_tree and bench_catalogue_parts).
set -euo pipefail

BUILD=${1:-build/release}
COUNT=${2:-10000}
ROUNDS=${3:-3}
KRVTOOL=$BUILD/tools/krvtool
TREE_TOOL=$BUILD/bench/corvane/bench_record_tree
PARTS=$BUILD/bench/corvane/bench_catalogue_parts
DATA=$BUILD/bench-data/corvane
TREE=$DATA/tree-$COUNT

for exe in "$KRVTOOL" "$TREE_TOOL" "$PARTS"; do
  [ -x "$exe" ] || { echo "list_vs_walk: $exe missing; build it first" >&2; exit 2; }
done

if [ ! -f "$TREE.done" ]; then
  echo "making $TREE" >&2
  rm -rf "$TREE" "$DATA/templates"
  mkdir -p "$DATA/templates"
  for i in 1 2 3 4; do
    "$KRVTOOL" synth "$DATA/templates/t$i.krv" --seconds 1 --fps 10 --size 176x144 --channels 4 \
      --bus "CAR-$i" --seed "$i" >/dev/null
  done
  "$TREE_TOOL" make "$TREE" "$COUNT" "$DATA"/templates/t*.krv
  touch "$TREE.done"
fi

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

ratios=()
for r in $(seq "$ROUNDS"); do
  ms "$TREE_TOOL" walk "$TREE" >/dev/null
  walk=$(ms "$TREE_TOOL" walk "$TREE")
  ms "$KRVTOOL" list "$TREE" >/dev/null
  list=$(ms "$KRVTOOL" list "$TREE")
  ratio=$(awk -v a="$list" -v b="$walk" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
  echo "round $r: walk ${walk} ms, list ${list} ms, ratio ${ratio}"
  ratios+=("$ratio")
done
median=$(printf '%s\n' "${ratios[@]}" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
echo "median ratio list/walk: $median (target <= 1.5)"
empty=$(mktemp -d)
ms "$KRVTOOL" list "$empty" >/dev/null
echo "krvtool start-up (list of an empty folder): $(ms "$KRVTOOL" list "$empty") ms"
rmdir "$empty"
echo "inside one process: $("$PARTS" "$TREE")"
