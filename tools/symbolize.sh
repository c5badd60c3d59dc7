#!/usr/bin/env bash
# Turns the frames of a crash report into function, file and line:
#   tools/symbolize.sh <crash-....txt, or - for standard input> [<symbols folder>]
# Each frame "#N <module>+0x<offset>" is looked up in <symbols folder>/<the
# module's file name> (build/release/symbols holds the release's unstripped
# VelorLauncher.exe), else in the module itself where it exists on this
# machine. Prints each frame followed by what it names; a frame of a module
# without symbols keeps its module and offset alone.
set -euo pipefail
PATH="/usr/bin:/bin:$PATH" # also when started from a Windows program under Wine
report="${1:?usage: symbolize.sh <crash report> [<symbols folder>]}" symbols="${2:-}"
[ "$report" != - ] || report=/dev/stdin
indexes=() frames=() files=() addresses=()
declare -A bases=()
while read -r index frame; do
    case "$index" in '#'[0-9]*) ;; *) continue ;; esac
    module="${frame%+0x*}" offset="${frame##*+}"
    name="${module##*[\\/]}" file=""
    if [ -n "$symbols" ] && [ -f "$symbols/$name" ]; then
        file="$symbols/$name"
    elif [ "$module" != "?" ] && [ -f "$module" ]; then
        file="$module"
    fi
    address=""
    if [ -n "$file" ]; then
        # Frames after the first are return addresses: their call is the byte before.
        [ "$index" = "#0" ] || offset=$((offset - 1))
        if [ -z "${bases[$file]+set}" ]; then
            # A Windows module's offset counts from where it was loaded; its
            # symbols from the image base its headers name.
            bases[$file]=0
            if [ "$(head -c 2 "$file")" = "MZ" ]; then
                bases[$file]="0x$(x86_64-w64-mingw32-objdump -p "$file" | awk '$1 == "ImageBase" { print $2 }')"
            fi
        fi
        address=$(printf '0x%x' $((bases[$file] + offset)))
    fi
    indexes+=("$index") frames+=("$frame") files+=("$file") addresses+=("$address")
done < <(tr -d '\r' <"$report")

# One look-up per module, all of its addresses at once.
declare -A named=()
for file in $(printf '%s\n' "${files[@]}" | sort -u); do
    tool=addr2line
    [ "${bases[$file]}" = 0 ] || tool=x86_64-w64-mingw32-addr2line
    wanted=()
    for i in "${!files[@]}"; do
        [ "${files[$i]}" != "$file" ] || wanted+=("${addresses[$i]}")
    done
    current=""
    while IFS= read -r line; do
        if [[ "$line" =~ ^0x([0-9a-f]+):\ (.*)$ ]]; then
            current="0x$(printf '%x' $((16#${BASH_REMATCH[1]})))"
            named["$file|$current"]="${BASH_REMATCH[2]}"
        elif [ -n "$current" ]; then
            named["$file|$current"]+=" ${line# }"
        fi
    done < <("$tool" -a -f -C -i -p -e "$file" "${wanted[@]}")
done

for i in "${!indexes[@]}"; do
    echo "${indexes[$i]} ${frames[$i]} ${named["${files[$i]}|${addresses[$i]}"]:-}"
done
