#!/usr/bin/env bash
# Times the largest map against its floor: makes a 7168 x 4096 starter world
# once (or uses WORLD_DIR as it is, such as bench/manydefinitions.sh's),
# then RUNS rounds, each generating it with random art and structures and
# running the floor (mapgenerator-floor: decoding the two images and
# writing and syncing three files of the output's sizes), and prints the
# best of each, their ratio, the command-line tool's phase timings and
# peak memory, and the files' SHA-256; then imports the map files back into
# images RUNS times.
# Run by hand after scripts/setup:  bench/largeworld.sh [WORLD_DIR] [RUNS]
#   CLI=...        times another build's command-line tool;
#   COMPARE=...    also times this build's tool in every round (before and
#                  after a change, measured alike on a busy machine);
#   ONE_THREAD=1   also times the pass on one thread (QUILLMOOR_PASS_THREADS=1);
#   BUSY=1         keeps core 1 busy with a loop meanwhile;
#   COLD=1         leaves out the untimed run before each timed one (see
#                  bench/README.md, "Against the floor").
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
if [[ -n "${BUSY:-}" ]]; then
    taskset -c 1 bash -c 'while :; do :; done' &
    busy=$!
    trap 'kill "$busy"' EXIT
    echo "a busy loop runs on core 1 (pid $busy)"
fi

# name, then the command's environment and tool
variants=("pass" "" "$cli")
[[ -n "${COMPARE:-}" ]] && variants+=("compared" "" "$COMPARE")
[[ -n "${ONE_THREAD:-}" ]] && variants+=("one thread" "QUILLMOOR_PASS_THREADS=1" "$cli")
declare -A best
sums=()

generate() {
    env $1 "$2" generate --data data --terrain terrain.png --altitude altitude.png --dest out \
        --random-art --structures structures/structures.xml --seed 1 2>"out/summary.txt" >/dev/null
}
milliseconds() { echo $(( ($(date +%s%N) - $1) / 1000000 )); }
keep() { if [[ -z "${best[$1]:-}" || $2 -lt ${best[$1]} ]]; then best[$1]=$2; fi; }

# Once untimed: it fills the page cache and gives the floor its sizes.
generate "" "$cli"
uptime
for ((run = 1; run <= runs; ++run)); do
    line="run $run:"
    # Each round starts with another variant, so that none always follows
    # the floor's writing.
    count=$(( ${#variants[@]} / 3 ))
    for ((i = 0; i < count; ++i)); do
        v=$(( (i + run) % count * 3 ))
        [[ -n "${COLD:-}" ]] || generate "${variants[v + 1]}" "${variants[v + 2]}"
        start=$(date +%s%N)
        generate "${variants[v + 1]}" "${variants[v + 2]}"
        ms=$(milliseconds "$start")
        keep "${variants[v]}" "$ms"
        line+=" ${variants[v]} $ms ms ($(grep -o 'peak memory .*' out/summary.txt)),"
        sums[v]=$(sha256sum out/map0.mul out/staidx0.mul out/statics0.mul | cut -c1-64 | tr '\n' ' ')
    done
    [[ -n "${COLD:-}" ]] || "$floor" --terrain terrain.png --altitude altitude.png --sizes-of out >/dev/null
    start=$(date +%s%N)
    "$floor" --terrain terrain.png --altitude altitude.png --sizes-of out >/dev/null
    ms=$(milliseconds "$start")
    keep floor "$ms"
    echo "$line floor $ms ms (wall, process start to exit)"
    grep -E '^Time:' out/summary.txt | sed 's/^/    last: /'
done
uptime
echo "best of $runs (wall, process start to exit):"
for ((v = 0; v < ${#variants[@]}; v += 3)); do
    echo "    ${variants[v]}: ${best[${variants[v]}]} ms," \
        "$(awk -v p="${best[${variants[v]}]}" -v f="${best[floor]}" 'BEGIN { printf "%.2f", p / f }')" \
        "x the floor"
    [[ "${sums[v]}" == "${sums[0]}" ]] || echo "    ${variants[v]}: OTHER OUTPUT than pass"
done
echo "    floor: ${best[floor]} ms"
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
