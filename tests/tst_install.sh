#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the installed tree
# as a user meets it: programs, desktop entry, icon, man pages, completion,
# example world. The commands come from the installed tool's own help, so a
# command added without its man page section or completion fails here.
#   tst_install.sh BUILD_DIR [CMAKE]
set -euo pipefail
build=$1
cmake=${2:-cmake}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
for tool in desktop-file-validate man; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing; run scripts/setup" >&2; exit 1; }
done
completion_lib=/usr/share/bash-completion/bash_completion
[[ -f $completion_lib ]] || { echo "FAIL: bash-completion is missing; run scripts/setup" >&2; exit 1; }

"$cmake" --install "$build" --prefix "$prefix" >/dev/null
cli=$prefix/bin/mapgenerator-cli
share=$prefix/share

# --version needs no display, also from the window.
for program in mapgenerator mapgenerator-cli; do
    version=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/$program" --version) \
        || fail "$program --version exits with $?"
    [[ $version =~ ^$program\ [0-9]+(\.[0-9]+)+(\ \(git\ [0-9a-f]+\))?$ ]] \
        || fail "$program --version prints '$version'"
done
[[ ! -e $prefix/bin/mapgenerator.xml ]] || fail "the build's settings file was installed"

desktop=$share/applications/quillmoor-mapgenerator.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $desktop"
exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
icon=$(sed -n 's/^Icon=//p' "$desktop")
[[ -x $prefix/bin/$exec_program ]] || fail "the desktop entry starts '$exec_program'"
[[ -f $share/icons/hicolor/scalable/apps/$icon.svg ]] || fail "no scalable icon '$icon'"

for page in mapgenerator mapgenerator-cli; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l \
        "$share/man/man1/$page.1" 2>&1 >/dev/null) || fail "man -l $page.1 fails"
    [[ -z $warnings ]] || fail "man -l $page.1 warns: $warnings"
done

commands=$("$cli" help | sed -n '/^Commands:/,/^$/s/^  \([a-z-]*\) .*/\1/p')
[[ -n $commands ]] || fail "no commands in 'mapgenerator-cli help'"
# What the shell offers for the words after mapgenerator-cli.
completions() {
    bash -c 'source "$1"; source "$2"; shift 2
        COMP_WORDS=(mapgenerator-cli "$@"); COMP_CWORD=$#
        COMP_LINE="${COMP_WORDS[*]}"; COMP_POINT=${#COMP_LINE}
        _mapgenerator_cli mapgenerator-cli "${COMP_WORDS[-1]}" "${COMP_WORDS[-2]}"
        printf "%s\n" "${COMPREPLY[@]}" | sort' \
        _ "$completion_lib" "$share/bash-completion/completions/mapgenerator-cli" "$@"
}
offered=$(completions '')
for command in $commands; do
    grep -qx -- "$command" <<<"$offered" || fail "completion does not offer $command"
    grep -q "^\.SS ${command//-/\\\\-}\$" "$share/man/man1/mapgenerator-cli.1" \
        || fail "mapgenerator-cli(1) has no section for $command"
    options=$("$cli" "$command" --help | grep -o '^  \(-h, \)\?--[a-z-]*' | sed 's/.*--/--/' | sort)
    [[ $(completions "$command" --) == "$options" ]] \
        || fail "completion of '$command --' differs from its --help: $(completions "$command" --)"
done

# The installed tool makes a world and generates it.
world=$prefix/world
"$cli" new-world --out "$world" --size 64x64 --seed 3 2>/dev/null || fail "new-world fails"
mkdir -p "$world/out"
(cd "$world" && "$cli" generate --data data --terrain terrain.png --altitude altitude.png \
    --dest out --seed 3 --quiet >/dev/null && "$cli" verify --dest out >/dev/null) \
    || fail "the new world does not generate"
diff -r --exclude=out "$share/quillmoor-mapgenerator/example-world" "$(dirname "$0")/../examples/world" \
    || fail "the installed example world differs from examples/world"

((failures == 0))
