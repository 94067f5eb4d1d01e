#!/usr/bin/env bash
# Two generate runs into one destination at once (seeds 11 and 22), PAIRS
# times. After each pair the destination must hold one whole set, the one of
# either seed, and nothing else, and verify must say OK.
# Run by hand after scripts/setup:  bench/racecheck.sh [PAIRS] [WORLD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli="$root/build/bin/mapgenerator-cli"
pairs=${1:-100}
world=${2:-$root/examples/world}
work=$(mktemp -d /tmp/quillmoor-race.XXXXXX)
trap 'rm -rf "$work"' EXIT

generate() { # DEST SEED
    "$cli" generate --data "$world/data" --terrain "$world/terrain.png" \
        --altitude "$world/altitude.png" --random-art --dest "$1" --seed "$2" 2>"$work/err$2"
}
# One hash for the three files together.
set_hash() {
    (cd "$1" && sha256sum map0.mul staidx0.mul statics0.mul | sha256sum | cut -c1-16)
}

declare -A reference
for seed in 11 22; do
    mkdir "$work/seed$seed"
    generate "$work/seed$seed" "$seed"
    reference[$seed]=$(set_hash "$work/seed$seed")
done

dest="$work/dest"
mkdir "$dest"
problems=0
waits=0
declare -A won=([11]=0 [22]=0)
problem() {
    echo "pair $pair: $*" >&2
    problems=$((problems + 1))
}
for ((pair = 1; pair <= pairs; ++pair)); do
    generate "$dest" 11 &
    first=$!
    generate "$dest" 22 &
    second=$!
    wait "$first" || problem "the seed 11 run failed"
    wait "$second" || problem "the seed 22 run failed"
    if grep -q "^waiting for another pass" "$work/err11" "$work/err22"; then
        waits=$((waits + 1))
    fi
    files=$(ls -A "$dest" | tr '\n' ' ')
    [[ $files == "map0.mul staidx0.mul statics0.mul " ]] || problem "files left: $files"
    "$cli" verify --dest "$dest" >/dev/null || problem "verify: $("$cli" verify --dest "$dest")"
    hash=$(set_hash "$dest")
    if [[ $hash == "${reference[11]}" ]]; then
        won[11]=$((won[11] + 1))
    elif [[ $hash == "${reference[22]}" ]]; then
        won[22]=$((won[22] + 1))
    else
        problem "a mixed set"
    fi
done
echo "$pairs pairs, in $waits of them one run waited for the other: ${won[11]} ended" \
    "with seed 11's set, ${won[22]} with seed 22's; $problems problems"
((problems == 0))
