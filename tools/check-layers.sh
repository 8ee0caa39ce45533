#!/usr/bin/env bash
# Fails when a source in src/ includes a header of a floor above its own. Each folder is a floor
# with a rank; a file may include its own folder's headers and those of lower ranks. Folders of
# one rank (the codec and the catalogue) know nothing of each other. The link of each layer's
# tests catches calls that climb; this catches header-only includes too.
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A rank=(
    [core]=0
    [platform/files]=1 [platform/ipc]=2 [platform/sandbox]=3 [platform/desktop]=4
    [decode/codec]=5 [catalogue]=5
    [decode/process]=6
    [viewer/steps]=7 [viewer/sources]=8 [viewer/window]=9
    [settings]=10
    [app]=11
)

# The folder (a key of rank) that `path`, relative to src/, lies in; empty when none.
floor_of() {
    local path=$1 best=""
    for folder in "${!rank[@]}"; do
        if [[ $path == "$folder"/* && ${#folder} -gt ${#best} ]]; then
            best=$folder
        fi
    done
    printf '%s' "$best"
}

status=0
while IFS= read -r file; do
    own=$(floor_of "${file#src/}")
    if [ -z "$own" ]; then
        echo "$file: lies in no floor (add its folder to tools/check-layers.sh)"
        status=1
        continue
    fi
    while IFS= read -r header; do
        theirs=$(floor_of "$header")
        [ -n "$theirs" ] || continue
        if [ "$theirs" != "$own" ] && [ "${rank[$theirs]}" -ge "${rank[$own]}" ]; then
            echo "$file ($own) includes $header ($theirs): a floor that is not below its own"
            status=1
        fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(git ls-files 'src/*.cpp' 'src/*.h' 'src/*.h.in')
[ "$status" -eq 0 ] && echo "layers: no include climbs a floor"
exit "$status"
