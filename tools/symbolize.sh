#!/usr/bin/env bash
# Turns the frames of a crash report into function, file and line:
#   tools/symbolize.sh <crash-....txt> [<symbols folder>]
# Each frame "#N <module>+0x<offset>" is looked up in <symbols folder>/<the
# module's file name> (build/release/symbols holds the release's unstripped
# VelorLauncher.exe), else in the module itself where it exists on this
# machine. Prints each frame followed by what it names; a frame of a module
# without symbols keeps its module and offset alone.
set -euo pipefail
report="${1:?usage: symbolize.sh <crash report> [<symbols folder>]}" symbols="${2:-}"
tr -d '\r' <"$report" | while read -r index frame; do
    case "$index" in '#'[0-9]*) ;; *) continue ;; esac
    module="${frame%+0x*}" offset="${frame##*+}"
    name="${module##*[\\/]}" file=""
    if [ -n "$symbols" ] && [ -f "$symbols/$name" ]; then
        file="$symbols/$name"
    elif [ -f "$module" ]; then
        file="$module"
    fi
    if [ -z "$file" ] || [ "$module" = "?" ]; then
        echo "$index $frame"
        continue
    fi
    # Frames after the first are return addresses: their call is the byte before.
    [ "$index" = "#0" ] || offset=$((offset - 1))
    if [ "$(head -c 2 "$file")" = "MZ" ]; then
        # A Windows module's offset counts from where it was loaded; its
        # symbols count from the image base its headers name.
        base="0x$(x86_64-w64-mingw32-objdump -p "$file" | awk '$1 == "ImageBase" { print $2 }')"
        tool=x86_64-w64-mingw32-addr2line address=$(printf '0x%x' $((base + offset)))
    else
        tool=addr2line address=$(printf '0x%x' $((offset)))
    fi
    echo "$index $frame $("$tool" -f -C -i -p -e "$file" "$address" | paste -sd ' ')"
done
