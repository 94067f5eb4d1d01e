#!/usr/bin/env bash
# Times the largest map against its floor: makes a 7168 x 4096 starter world
# once (or uses WORLD_DIR as it is, such as bench/manydefinitions.sh's),
# then RUNS times generates it with random art and structures and runs the
# floor (mapgenerator-floor: decoding the two images and writing and syncing
# three files of the output's sizes), alternating, and prints the best of
# each and their ratio, with the command-line tool's phase timings, peak
# memory and the files' SHA-256.
# Run by hand after scripts/setup:  bench/largeworld.sh [WORLD_DIR] [RUNS]
#   CLI=... times another build's command-line tool against this floor;
#   BUSY=1 keeps the second core busy with a loop meanwhile;
#   QUILLMOOR_PASS_THREADS=1 runs the pass on one thread.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli=${CLI:-"$root/build/bin/mapgenerator-cli"}
floor="$root/build/bin/mapgenerator-floor"
world=${1:-/tmp/quillmoor-largeworld}
runs=${2:-5}

if [[ ! -f "$world/terrain.png" ]]; then
    start=$(date +%s%N)
    "$cli" new-world --out "$world" --size 7168x4096 --seed 1
    echo "new-world: $(( ($(date +%s%N) - start) / 1000000 )) ms"
fi
cd "$world"
mkdir -p out
busy=
if [[ -n "${BUSY:-}" ]]; then
    taskset -c 1 bash -c 'while :; do :; done' &
    busy=$!
    trap 'kill "$busy"' EXIT
    echo "a busy loop runs on core 1 (pid $busy)"
fi

generate() {
    "$cli" generate --data data --terrain terrain.png --altitude altitude.png --dest out \
        --random-art --structures structures/structures.xml --seed 1 2>"out/summary.txt" >/dev/null
}
milliseconds() { echo $(( ($(date +%s%N) - $1) / 1000000 )); }

# Once untimed: it fills the page cache and gives the floor its sizes.
generate
best_pass= best_floor=
uptime
for ((run = 1; run <= runs; ++run)); do
    start=$(date +%s%N)
    generate
    pass=$(milliseconds "$start")
    start=$(date +%s%N)
    "$floor" --terrain terrain.png --altitude altitude.png --sizes-of out >/dev/null
    floor_ms=$(milliseconds "$start")
    echo "run $run: pass $pass ms, floor $floor_ms ms (wall, process start to exit)"
    grep -E '^(Time|Elapsed):' out/summary.txt | sed 's/^/    /'
    if [[ -z "$best_pass" || $pass -lt $best_pass ]]; then best_pass=$pass; fi
    if [[ -z "$best_floor" || $floor_ms -lt $best_floor ]]; then best_floor=$floor_ms; fi
done
uptime
echo "best of $runs: pass $best_pass ms, floor $best_floor ms, pass / floor =" \
    "$(awk -v p="$best_pass" -v f="$best_floor" 'BEGIN { printf "%.2f", p / f }')"
sha256sum out/map0.mul out/staidx0.mul out/statics0.mul
