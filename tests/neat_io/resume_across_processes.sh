#!/usr/bin/env bash
# An XOR run stopped after generation 9, its process ended, and resumed in a new process from
# the checkpoint file, against the same run made in one go: the per-generation lines must be
# the same, and so must the checkpoints both write at the end (every genome's genes and
# fitness, the species, counters, gene pool and random seed), byte for byte. Once from the
# checkpoint taken before evaluation and once from the one taken after it.
#
#   resume_across_processes.sh <xor program> <scratch directory>
set -euo pipefail
xor=$1
dir=$2
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"

run() { "$xor" --seed 4 --margin 0.99 "$@" | grep '^generation' || true; }

run --max-generations 24 --checkpoint whole.json > whole.log
run --max-generations 9 --checkpoint bred.json --checkpoint-evaluated evaluated.json > head.log
for kind in bred evaluated; do
  run --resume $kind.json --max-generations 24 --checkpoint resumed-$kind.json > tail-$kind.log
  cat head.log tail-$kind.log > joined-$kind.log
  if ! cmp -s whole.log joined-$kind.log; then
    echo "FAIL: the lines after resuming from the $kind checkpoint differ:"
    diff whole.log joined-$kind.log | head -20
    exit 1
  fi
  if ! cmp -s whole.json resumed-$kind.json; then
    echo "FAIL: the final checkpoint after resuming from the $kind checkpoint differs:"
    diff whole.json resumed-$kind.json | head -20
    exit 1
  fi
done
lines=$(wc -l < whole.log)
[ "$lines" -eq 24 ] || { echo "FAIL: expected 24 generations, got $lines"; exit 1; }
echo "resumed runs equal the uninterrupted run: 24 generations, $(wc -c < whole.json) byte checkpoints identical"
