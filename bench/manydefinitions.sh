#!/usr/bin/env bash
# Makes a 7168 x 4096 world with many more transition definitions and
# structures than new-world's: the seed-1 starter world, plus the
# transitions that new-world writes for seeds 2, 3 and 4 (other paintings of
# the same terrains, so many of their border patterns occur here too and
# replace seed 1's), plus every two-terrain pattern of its edge sets, and 64
# structure placements. Time it with bench/largeworld.sh WORLD_DIR.
# Run by hand after scripts/setup:  bench/manydefinitions.sh [WORLD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli=${CLI:-"$root/build/bin/mapgenerator-cli"}
world=${1:-/tmp/quillmoor-manydefinitions}

if [[ -e "$world" ]]; then
    echo "$world exists; remove it first" >&2
    exit 1
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$cli" new-world --out "$world" --size 7168x4096 --seed 1 >/dev/null
for seed in 2 3 4; do
    "$cli" new-world --out "$scratch/seed$seed" --size 7168x4096 --seed "$seed" >/dev/null
    for set in "$scratch/seed$seed"/data/transitions/*/; do
        cp -r "$set" "$world/data/transitions/seed$seed-$(basename "$set")"
    done
done
# Loaded after the others (the directory sorts last), so these win.
"$cli" expand-edges --edges "$world/edges.xml" --out "$world/data/transitions/zz-every-pattern" \
    >/dev/null

# The six placements eight times over, each copy moved by 1/8 of the map.
structures="$world/structures/structures.xml"
{
    echo '<?xml version="1.0" encoding="UTF-8"?>'
    echo '<Structures>'
    mapfile -t locations < <(sed -n 's/.*<Location X="\([0-9]*\)" Y="\([0-9]*\)".*/\1 \2/p' "$structures")
    mapfile -t files < <(sed -n 's/.*<File>\(.*\)<\/File>.*/\1/p' "$structures")
    for ((placement = 0; placement < 64; ++placement)); do
        i=$((placement % ${#files[@]}))
        read -r x y <<<"${locations[$i]}"
        round=$((placement / ${#files[@]}))
        x=$(((x + round * 7168 / 11) % 7168))
        y=$(((y + round * 4096 / 11) % 4096))
        echo "  <MLT>"
        echo "    <Location X=\"$x\" Y=\"$y\" OffsetX=\"1\" OffsetY=\"1\"/>"
        echo "    <File>${files[$i]}</File>"
        echo "  </MLT>"
    done
    echo '</Structures>'
} >"$scratch/structures.xml"
mv "$scratch/structures.xml" "$structures"

general=$(find "$world/data/transitions" -name '*.xml' -exec grep -ho 'HashKey="[^"]*"' {} + | wc -l)
distinct=$(find "$world/data/transitions" -name '*.xml' -exec grep -ho 'HashKey="[^"]*"' {} + |
    sort -u | wc -l)
echo "$world: $general general definitions ($distinct distinct keys), 64 structure placements"
