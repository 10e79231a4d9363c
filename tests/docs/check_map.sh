#!/usr/bin/env bash
# The map in docs/ARCHITECTURE.md lists every file under src/ in its index, one line each: a file
# missing from the index, or an index entry naming no file, fails this check. An entry names a
# file by its path under src/ without the extension and without the platform's suffix, so that
# `device/local_port` stands for local_port.h, local_port_posix.cpp and local_port_windows.cpp;
# an entry ending in "/" stands for a whole folder of data (the icons).
#   tests/docs/check_map.sh [SOURCE_DIR]
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
map=$root/docs/ARCHITECTURE.md
index=$(sed -n '/^## Index/,/^## /p' "$map")
# Every `entry` at the start of an index line.
entries=$({ grep -oE '^- `[^`]+`' <<<"$index" || true; } | sed -E 's/^- `(.*)`$/\1/' | sort -u)
[ -n "$entries" ] || { echo "docs/ARCHITECTURE.md has no \"## Index\" section" >&2; exit 1; }

status=0
while IFS= read -r file; do
    rel=${file#"$root"/src/}
    stem=$(sed -E 's/\.[^./]+(\.in)?$//; s/_(posix|windows)$//' <<<"$rel")
    covered=no
    if grep -qxF "$stem" <<<"$entries" || grep -qxF "$rel" <<<"$entries"; then
        covered=yes
    else
        dir=$(dirname "$rel")/
        grep -qxF "$dir" <<<"$entries" && covered=yes
    fi
    if [ $covered = no ]; then
        echo "src/$rel is not in the index of docs/ARCHITECTURE.md (as \`$stem\`)" >&2
        status=1
    fi
done < <(find "$root/src" -type f ! -name CMakeLists.txt | sort)

while IFS= read -r entry; do
    if [[ $entry == */ ]]; then
        [ -d "$root/src/$entry" ] && continue
    elif compgen -G "$root/src/$entry*" >/dev/null; then
        continue
    fi
    echo "the index of docs/ARCHITECTURE.md names $entry, which is not under src/" >&2
    status=1
done <<<"$entries"
exit $status
