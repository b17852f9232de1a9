#!/usr/bin/env bash
# Fails when a file of one layer includes a header of a layer above it or beside it (cmake/layers.txt
# gives the layers and their order). The build's include roots stop most such includes; this also
# catches relative paths and the class library's runtime core reaching into its window core.
#   scripts/check_layers.sh        (prints each offending line; exit 1 when there is one)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
cd "$QUILL_ROOT"

declare -A folder_of beneath_of
core_modules=
while read -r kind rest; do
    case $kind in
        layer) read -r name folder beneath <<<"$rest"; folder_of[$name]=$folder; beneath_of[$name]=${beneath:-} ;;
        core) core_modules=" $rest " ;;
    esac
done < <(grep -E '^(layer|core) ' cmake/layers.txt)

# Every layer at or beneath $1, blank-separated with blanks around.
closure() {
    local todo=("$1") seen=" $1 " l b
    while [[ ${#todo[@]} -gt 0 ]]; do
        l=${todo[0]}; todo=("${todo[@]:1}")
        for b in ${beneath_of[$l]}; do
            [[ $seen == *" $b "* ]] && continue
            seen+="$b "; todo+=("$b")
        done
    done
    printf '%s' "$seen"
}

# The layer of a project path (folder/.../file), or nothing for paths outside the layers.
layer_of() {
    local path=$1 name best= len=0 f
    for name in "${!folder_of[@]}"; do
        f=${folder_of[$name]}
        [[ $path == "$f"/* && ${#f} -gt $len ]] || continue
        [[ $f == classlib ]] && continue
        best=$name; len=${#f}
    done
    if [[ -z $best && $path == classlib/* ]]; then
        local module=${path#classlib/}; module=${module%.*}
        if [[ $core_modules == *" $module "* ]]; then best=classlib_core; else best=classlib; fi
    fi
    printf '%s' "$best"
}

status=0
for name in "${!folder_of[@]}"; do
    folder=${folder_of[$name]}
    [[ -d $folder ]] || continue
    while IFS= read -r file; do
        own=$(layer_of "$file")
        [[ $own == "$name" ]] || continue
        allowed=$(closure "$own")
        dir=$(dirname "$file")
        while IFS=: read -r line target; do
            # A path relative to the file's folder, else one from the project root.
            if [[ -e $dir/$target ]]; then
                resolved=$(realpath -m --relative-to=. "$dir/$target")
            else
                resolved=$(realpath -m --relative-to=. "$target")
            fi
            to=$(layer_of "$resolved")
            if [[ -z $to ]]; then
                [[ $resolved == tests/* || $resolved == bench/* ]] || continue
                to=${resolved%%/*}
            fi
            [[ $allowed == *" $to "* ]] && continue
            printf '%s:%s: layer %s includes %s (layer %s)\n' "$file" "$line" "$own" "$target" "$to" >&2
            status=1
        done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<][^">]+[">]' "$file" |
                 sed -E 's/^([0-9]+):[^"<]*["<]([^">]+)[">].*/\1:\2/' | grep -E '^[0-9]+:([a-z_]+/|\.\./)' || true)
    done < <(find "$folder" -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.c' -o -name '*.rc' \) | sort)
done
if [[ $status -eq 0 ]]; then
    quill_say "Layers: no upward include."
else
    quill_say "error: upward includes (the layer order is in cmake/layers.txt)"
fi
exit "$status"
