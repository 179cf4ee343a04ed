#!/usr/bin/env bash
# Refreshes a copy of a data folder on a small, nearly full file system, at many free
# sizes, and checks that no stored file gets shorter, that every failure is said on
# standard error, and that a refresh that could not save exits with 1. Needs root (tmpfs).
#
#     bench/disk_full_run.sh DATA-ROOT [RUNS]
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tool=${CALVORIA_TOOL:-$top/build/bin/calvoria-tool}
source_root=${1:?usage: disk_full_run.sh DATA-ROOT [RUNS]}
runs=${2:-20}
[[ $(id -u) -eq 0 ]] || { echo "needs root to mount a small file system" >&2; exit 2; }

data_kb=$(du -sk --exclude=MP3 --exclude=Voice "$source_root" | cut -f1)
mount_point=$(mktemp -d)
logs=$(mktemp -d) # off the full disk, so that what the tool says is kept
trap 'umount -l "$mount_point" 2>/dev/null; rmdir "$mount_point"; rm -rf "$logs"' EXIT
mount -t tmpfs -o size=$(( (data_kb * 3 + 1024) * 1024 )) tmpfs "$mount_point"

failures=0 saved=0 shorter=0 silent=0 wrong_exit=0
for ((run = 0; run < runs; run++)); do
    rm -rf "${mount_point:?}"/*
    mkdir -p "$mount_point/data/Feeds"
    cp "$source_root"/data.opml "$mount_point/data/"
    cp "$source_root"/Feeds/*.rss "$mount_point/data/Feeds/"
    [[ -f "$source_root/saved.rss" ]] && cp "$source_root/saved.rss" "$mount_point/data/"
    # Free space from nothing up to about the size of the data, in even steps.
    left=$(( run * data_kb * 1024 / runs ))
    avail=$(( $(stat -f -c '%a*%S' "$mount_point") ))
    if (( avail > left )); then
        fallocate -l $(( avail - left )) "$mount_point/filler" 2>/dev/null ||
            dd if=/dev/zero of="$mount_point/filler" bs=4096 count=$(( (avail - left) / 4096 )) 2>/dev/null || true
    fi
    declare -A before=()
    while IFS= read -r -d '' f; do before[$f]=$(stat -c %s "$f"); done \
        < <(find "$mount_point/data" -type f -print0)
    set +e
    "$tool" refresh "$mount_point/data" > "$logs/out.txt" 2> "$logs/err.txt"
    code=$?
    set -e
    for f in "${!before[@]}"; do
        if [[ ! -f "$f" ]] || (( $(stat -c %s "$f") < before[$f] )); then
            echo "run $run: $f got shorter" >&2
            shorter=$((shorter + 1))
        fi
    done
    if grep -q '^\*ERROR: Cannot save' "$logs/err.txt"; then
        failures=$((failures + 1))
        [[ $code -eq 1 ]] || { echo "run $run: failed save but exit $code" >&2; wrong_exit=$((wrong_exit + 1)); }
    elif [[ $code -eq 0 ]]; then
        saved=$((saved + 1))
    else
        echo "run $run: exit $code without a save error on stderr:" >&2
        head -3 "$logs/err.txt" >&2
        silent=$((silent + 1))
    fi
    leftovers=$(find "$mount_point/data" -name '*.saving-*' | wc -l)
    (( leftovers == 0 )) || { echo "run $run: $leftovers temporary files left" >&2; shorter=$((shorter + 1)); }
    echo "run $run: free $((left / 1024)) KB, exit $code, $(grep -c '^\*ERROR' "$logs/err.txt" || true) errors on stderr"
    unset before
done
echo "runs $runs, saves that failed and said so $failures, saves that succeeded $saved," \
     "files shorter or left behind $shorter, failures not said $silent, wrong exit codes $wrong_exit"
(( shorter == 0 && silent == 0 && wrong_exit == 0 ))
