#!/usr/bin/env bash
# kill -9 near the end of generate runs on a 4096 x 4096 map: KILLS times at
# a random moment, then ROUNDS times in each gap of the commit (after each of
# the four links and four renames, held there by strace). After every kill a
# run that is interrupted before its block loop (so it only completes or
# clears what the killed run left) must leave one whole set, the old or the
# new one, and nothing else, and verify must say OK.
# Run by hand after scripts/setup, as root for strace (installed when
# missing):  bench/killcheck.sh [KILLS] [ROUNDS] [WORLD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli="$root/build/bin/mapgenerator-cli"
kills=${1:-50}
rounds=${2:-2}
world=${3:-/tmp/quillmoor-killworld}

if ! command -v strace >/dev/null; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends strace >/dev/null
fi
if [[ ! -f "$world/terrain.png" ]]; then
    "$cli" new-world --out "$world" --size 4096x4096 --seed 1 >/dev/null
fi
work=$(mktemp -d /tmp/quillmoor-kill.XXXXXX)
running=''
cleanup() {
    [[ -n $running ]] && kill -9 "$running" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

generate=("$cli" generate --data "$world/data" --terrain "$world/terrain.png"
          --altitude "$world/altitude.png" --random-art)
set_hash() {
    (cd "$1" && sha256sum map0.mul staidx0.mul statics0.mul | sha256sum | cut -c1-16)
}

declare -A reference
for seed in 11 22; do
    mkdir "$work/seed$seed"
    "${generate[@]}" --quiet --dest "$work/seed$seed" --seed "$seed"
    reference[$seed]=$(set_hash "$work/seed$seed")
done
# What a pass writes; how far a run has got is what it has written, which
# a busy machine does not skew as it does times.
total=$(cat "$work"/seed11/*.mul | wc -c)
dest="$work/dest"
cp -r "$work/seed22" "$dest"
current=22

problems=0
problem() {
    echo "trial $trial: $*" >&2
    problems=$((problems + 1))
}
# The next pass's start, stopped by Ctrl-C once it says "Processing Map":
# by then it has locked the destination and recovered, and it aborts at the
# start of its block loop without writing.
recover() {
    # Gone until the new run writes it, so the wait below sees only its line.
    rm -f "$work/recover.err"
    "${generate[@]}" --dest "$dest" --seed 11 2>"$work/recover.err" &
    local pid=$!
    until grep -qs '^Processing Map' "$work/recover.err"; do sleep 0.01; done
    kill -INT "$pid"
    local status=0
    wait "$pid" || status=$?
    ((status == 130)) || problem "the recovering run ended with $status: $(cat "$work/recover.err")"
}
# Which set the destination holds after recovery: 11, 22 or a problem.
check() {
    local files
    files=$(ls -A "$dest" | tr '\n' ' ')
    [[ $files == "map0.mul staidx0.mul statics0.mul " ]] || problem "files left: $files"
    "$cli" verify --dest "$dest" >/dev/null || problem "verify: $("$cli" verify --dest "$dest")"
    local hash
    hash=$(set_hash "$dest")
    if [[ $hash == "${reference[11]}" ]]; then
        current=11
    elif [[ $hash == "${reference[22]}" ]]; then
        current=22
    else
        problem "a mixed set"
        current=mixed
    fi
}
unfinished() {
    [[ $("$cli" verify --dest "$dest" || true) == *"a pass was stopped while it replaced"* ]]
}

declare -A outcome=([old]=0 [new]=0 [finished]=0 [unfinished]=0 [temporaries]=0)
for ((trial = 1; trial <= kills; ++trial)); do
    old=$current
    new=$((old == 11 ? 22 : 11))
    "${generate[@]}" --quiet --dest "$dest" --seed "$new" &
    running=$!
    # Once it has written 85 to 100 % of the files, and up to 0.2 s later:
    # the last writes, the syncs and the commit.
    threshold=$((total * (85 + RANDOM % 16) / 100))
    while written=$(awk '/^wchar/ { print $2 }' "/proc/$running/io" 2>/dev/null) \
        && ((written < threshold)); do
        sleep 0.005
    done
    sleep "0.$(printf '%03d' $((RANDOM % 200)))"
    kill -9 "$running" 2>/dev/null || true
    status=0
    wait "$running" 2>/dev/null || status=$?
    running=''
    if ((status == 0)); then
        outcome[finished]=$((outcome[finished] + 1))
    elif unfinished; then
        outcome[unfinished]=$((outcome[unfinished] + 1))
    elif [[ $(ls -A "$dest") == *.tmp-* ]]; then
        outcome[temporaries]=$((outcome[temporaries] + 1))
    fi
    recover
    check
    if [[ $current == "$new" ]]; then
        outcome[new]=$((outcome[new] + 1))
    elif [[ $current == "$old" ]]; then
        outcome[old]=$((outcome[old] + 1))
    fi
done
echo "$kills random kills: ${outcome[finished]} runs had finished before the kill," \
    "${outcome[temporaries]} left temporary files, ${outcome[unfinished]} left the commit" \
    "record (verify reported it); after recovery ${outcome[new]} new sets," \
    "${outcome[old]} old sets"

# The files the held syscall has left, as "temporary files, record": the
# state each gap must reach before the kill.
state() {
    local temporaries
    temporaries=$(ls -A "$dest" | grep -c '\.tmp-' || true)
    echo "$temporaries,$([[ -e $dest/.mapgenerator.commit ]] && echo record || echo none)"
}
gaps=0
for ((round = 1; round <= rounds; ++round)); do
    # Links 1 to 3 name the map files' temporaries, link 4 the record's;
    # rename 1 puts the record in place, renames 2 to 4 the map files.
    for gap in linkat:1:1,none linkat:2:2,none linkat:3:3,none linkat:4:4,none \
        rename:1:3,record rename:2:2,record rename:3:1,record rename:4:0,record; do
        IFS=: read -r call when expected <<<"$gap"
        trial="$call $when, round $round"
        old=$current
        new=$((old == 11 ? 22 : 11))
        strace -f -o /dev/null -e trace="$call" -e inject="$call:delay_exit=10000000:when=$when" \
            "${generate[@]}" --quiet --dest "$dest" --seed "$new" 2>/dev/null &
        tracer=$!
        until [[ $(state) == "$expected" ]]; do
            kill -0 "$tracer" 2>/dev/null || break
            sleep 0.01
        done
        running=$(pgrep -P "$tracer" || true)
        if [[ -z $running ]]; then
            problem "the run ended before the gap"
            continue
        fi
        kill -9 "$running"
        wait "$tracer" 2>/dev/null || true
        running=''
        # Until the next run, verify tells a record from a sound old set.
        if unfinished; then reported=rename; else reported=linkat; fi
        [[ $reported == "$call" ]] || problem "verify did not tell what the kill left"
        recover
        check
        want=$([[ $call == rename ]] && echo "$new" || echo "$old")
        [[ $current == "$want" ]] || problem "ended with seed $current's set, not $want's"
        gaps=$((gaps + 1))
    done
done
echo "$gaps kills in the gaps of the commit: after each link the old set stayed," \
    "after each rename verify reported the record and the new set was completed"
echo "$problems problems"
((problems == 0))
