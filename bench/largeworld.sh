#!/usr/bin/env bash
# Times the largest map: makes a 7168 x 4096 starter world once, then
# generates it with random art and structures a few times and prints the
# command-line tool's phase timings, cells per second and peak memory; then
# imports the map files back into images as many times.
# Run by hand after scripts/setup:  bench/largeworld.sh [WORLD_DIR] [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli="$root/build/bin/mapgenerator-cli"
world=${1:-/tmp/quillmoor-largeworld}
runs=${2:-3}

if [[ ! -f "$world/terrain.png" ]]; then
    start=$(date +%s%N)
    "$cli" new-world --out "$world" --size 7168x4096 --seed 1
    echo "new-world: $(( ($(date +%s%N) - start) / 1000000 )) ms"
fi
cd "$world"
mkdir -p out
for ((run = 1; run <= runs; ++run)); do
    start=$(date +%s%N)
    "$cli" generate --data data --terrain terrain.png --altitude altitude.png --dest out \
        --random-art --structures structures/structures.xml --seed 1 2>"out/summary.txt" >/dev/null
    wall=$(( ($(date +%s%N) - start) / 1000000 ))
    echo "run $run: $wall ms wall, process start to exit"
    grep -E '^(Time|Elapsed):' out/summary.txt
done
sha256sum out/map0.mul out/staidx0.mul out/statics0.mul
# The map files just written back into images, as a designer starting from
# them would.
for ((run = 1; run <= runs; ++run)); do
    start=$(date +%s%N)
    "$cli" import --dest out --data data --out imported --blocks-high 512 \
        --palette-from terrain.png --force 2>"imported-summary.txt"
    wall=$(( ($(date +%s%N) - start) / 1000000 ))
    echo "import $run: $wall ms wall, process start to exit"
    grep -E '^(Round trip|Time):' imported-summary.txt
done
