#!/usr/bin/env bash
# Times a data directory with a huge definition file: the example world with
# COUNT extra definitions (default 1,000,000, about 107 MB) in
# transitions/common.xml, whose keys start with FF and so never match. Runs
# generate and check-data (without and with the images) once each under
# /usr/bin/time -v and prints their wall time and peak resident memory.
# Run by hand after scripts/setup:  bench/largedefinitions.sh [WORLD_DIR] [COUNT]
# CLI=path/to/mapgenerator-cli times another build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli=${CLI:-$root/build/bin/mapgenerator-cli}
world=${1:-/tmp/quillmoor-largedefinitions}
count=${2:-1000000}
[[ -x /usr/bin/time ]] || { echo "error: needs /usr/bin/time (apt-get install time)" >&2; exit 1; }

common="$world/data/transitions/common.xml"
if [[ ! -f "$world/count" || $(cat "$world/count") != "$count" ]]; then
    rm -rf "$world"
    cp -r "$root/examples/world" "$world"
    # The example's own definitions first, so the map stays the example's.
    grep -v '</Transitions>' "$root/examples/world/data/transitions/common.xml" >"$common"
    awk -v count="$count" 'BEGIN {
        for (i = 0; i < count; ++i)
            printf "<TransInfo HashKey=\"FF%016X\"><MapTiles><MapTile TileID=\"%d\" " \
                   "AltIDMod=\"0\"/></MapTiles></TransInfo>\n", i, 1000 + i % 9000
        print "</Transitions>"
    }' >>"$common"
    echo "$count" >"$world/count"
fi
echo "common.xml: $(stat -c %s "$common") bytes, $count extra definitions"

cd "$world"
mkdir -p out
measure() {
    local name=$1
    shift
    /usr/bin/time -v "$@" >/dev/null 2>"out/$name.txt" || true
    printf '%-17s wall %s, peak %s KiB\n' "$name" \
        "$(sed -n 's/.*Elapsed (wall clock) time.*: //p' "out/$name.txt")" \
        "$(sed -n 's/.*Maximum resident set size (kbytes): //p' "out/$name.txt")"
}
measure generate "$cli" generate --data data --terrain terrain.png --altitude altitude.png \
    --dest out --random-art --structures structures/structures.xml --seed 1 --quiet
measure check-data "$cli" check-data --data data
# With the images it also loads the tables, for the border coverage.
measure check-data+images "$cli" check-data --data data --terrain terrain.png \
    --altitude altitude.png
sha256sum out/map0.mul out/staidx0.mul out/statics0.mul
