# Sourced by the catalogue benches: checks the programs they run and builds
# (once) the recorder tree of COUNT small KRV recordings they scan.
# In: BUILD, COUNT, BENCH_NAME (for messages). Out: KRVTOOL, TREE_TOOL, PARTS,
# DATA, TREE.
KRVTOOL=$BUILD/tools/krvtool
TREE_TOOL=$BUILD/bench/corvane/bench_record_tree
PARTS=$BUILD/bench/corvane/bench_catalogue_parts
DATA=$BUILD/bench-data/corvane
TREE=$DATA/tree-$COUNT

for exe in "$KRVTOOL" "$TREE_TOOL" "$PARTS"; do
  [ -x "$exe" ] || { echo "$BENCH_NAME: $exe missing; build it first" >&2; exit 2; }
done

if [ ! -f "$TREE.done" ]; then
  echo "making $TREE" >&2
  rm -rf "$TREE"
  mkdir -p "$DATA/templates"
  for i in 1 2 3 4; do
    [ -f "$DATA/templates/t$i.krv" ] ||
      "$KRVTOOL" synth "$DATA/templates/t$i.krv" --seconds 1 --fps 10 --size 176x144 --channels 4 \
        --bus "CAR-$i" --seed "$i" >/dev/null
  done
  "$TREE_TOOL" make "$TREE" "$COUNT" "$DATA"/templates/t*.krv
  touch "$TREE.done"
fi
