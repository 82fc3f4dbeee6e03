#!/usr/bin/env bash
# Instructions and system calls per file of the catalogue scan's parts, the
# repeatable side of list_vs_walk.sh (wall times on a shared machine wander;
# instruction counts do not).
#
# Builds (once) a recorder tree of COUNT small KRV recordings like
# list_vs_walk.sh, then runs each part of bench_catalogue_parts once under
#   valgrind --tool=callgrind --toggle-collect=PART
# (so only that part's user-space instructions count; the pattern names the
# part's function alone, since a second match inside it would toggle back off) and prints them per
# file: walk (open + 4 KB read), probe (the container's KRV probe on every
# file), scan (ScanRecordFolder), and the scan's main pieces. When strace is
# there it also prints each part's system calls per file (a run on an empty
# folder subtracted, so program start-up does not count).
#
# usage: bench/corvane/scan_instructions.sh [BUILD_DIR] [COUNT]
#   BUILD_DIR defaults to build/release (targets krvtool, bench_record_tree and
#   bench_catalogue_parts built); COUNT defaults to 900.
set -euo pipefail

BUILD=${1:-build/release}
COUNT=${2:-900}
BENCH_NAME=scan_instructions
# shellcheck source=record_tree.sh
source "$(dirname "$0")/record_tree.sh"
command -v valgrind >/dev/null || { echo "scan_instructions: valgrind missing" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Inclusive instruction count of the functions whose names match $2 in the
# callgrind output $1 (the largest entry: a recursive function is listed per
# depth).
inclusive() {
  callgrind_annotate --inclusive=yes --threshold=100 "$1" 2>/dev/null |
    awk -v pat="$2" 'index($0, pat) { gsub(",", "", $1); if ($1 + 0 > best) best = $1 + 0 } END { print best + 0 }'
}

per_file() { awk -v a="$1" -v n="$COUNT" 'BEGIN { printf "%.0f", a / n }'; }

echo "tree: $TREE ($COUNT files); instructions per file (callgrind, user space):"
for part in walk probe scan; do
  fn=$(echo "${part:0:1}" | tr a-z A-Z)${part:1}Part
  out=$work/$part.out
  files=$(valgrind --tool=callgrind --toggle-collect="(anonymous namespace)::$fn(*" --callgrind-out-file="$out" "$PARTS" "$TREE" "$part" 2>/dev/null)
  [ "$files" -eq "$COUNT" ] || { echo "scan_instructions: $part saw $files files, expected $COUNT" >&2; exit 1; }
  total=$(inclusive "$out" "$fn(")
  printf '  %-6s %8s\n' "$part" "$(per_file "$total")"
  if [ "$part" = scan ]; then
    for piece in 'corvane::ProbeKrv' 'krv::detail::parseMetadata(' 'corvane::ParseRecordName(' \
      'corvane::MakeRecordRow(' 'corvane::ListDirFd(' 'corvane::RecordList::InsertAll('; do
      n=$(inclusive "$out" "$piece")
      printf '    %-30s %8s\n' "${piece%(}" "$(per_file "$n")"
    done
  fi
done

if command -v strace >/dev/null; then
  empty=$work/empty
  mkdir "$empty"
  echo "system calls per file (strace -c, a run on an empty folder subtracted):"
  for part in walk probe scan; do
    strace -f -c -o "$work/$part.base" "$PARTS" "$empty" "$part" >/dev/null
    strace -f -c -o "$work/$part.tree" "$PARTS" "$TREE" "$part" >/dev/null
    line=$(awk -v n="$COUNT" '
      FNR == 1 { file++ }
      $NF ~ /^[a-z_0-9]+$/ && $(NF) != "total" && $(NF) != "syscall" {
        if (file == 1) base[$NF] = $4; else tree[$NF] = $4
      }
      END {
        for (s in tree) { d = (tree[s] - base[s]) / n; if (d >= 0.05) { out = out sprintf(" %s %.2f", s, d); sum += d } }
        printf "%.2f:%s", sum, out
      }' "$work/$part.base" "$work/$part.tree")
    printf '  %-6s %s\n' "$part" "$line"
  done
fi
