#!/usr/bin/env bash
# Moving 1 GB of MP3 files (200 of 5 MB) to another file system, as Synchronize does, side
# by side with `cp` followed by `sync` of the same files. The device is an ext4 image
# mounted through a loop device, so flushing reaches a block device. Needs root.
#     bench/device_move.sh BENCH_SYNC [RUNS]
set -euo pipefail
bench=${1:?usage: device_move.sh path/to/bench_sync [runs]}
runs=${2:-3}
work=$(mktemp -d /var/tmp/calvoria-move.XXXXXX)
trap 'umount "$work/dev" 2>/dev/null || true; rm -rf "$work"' EXIT
truncate -s 1400M "$work/device.img"
mkfs.ext4 -q -F "$work/device.img"
mkdir -p "$work/dev" "$work/src"
mount -o loop "$work/device.img" "$work/dev"
make_files() {
    for i in $(seq -w 1 200); do head -c 5242880 /dev/urandom > "$work/src/news$i.mp3"; done
}
make_files
for run in $(seq "$runs"); do
    rm -rf "$work/dev/cp" "$work/dev/move"; mkdir "$work/dev/cp" "$work/dev/move"; sync
    echo 3 > /proc/sys/vm/drop_caches 2>/dev/null || true
    start=$(date +%s.%N)
    cp "$work"/src/*.mp3 "$work/dev/cp/" && sync
    cp_time=$(echo "$(date +%s.%N) - $start" | bc)
    rm -rf "$work/dev/cp"; sync
    echo 3 > /proc/sys/vm/drop_caches 2>/dev/null || true
    move=$("$bench" --move "$work/dev/move" "$work"/src/*.mp3)
    printf 'run %d: cp + sync %.3f s, move %s\n' "$run" "$cp_time" "$move"
    mv "$work"/dev/move/*.mp3 "$work/src/"; sync
done
