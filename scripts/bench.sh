#!/usr/bin/env bash
# Runs every benchmark program (build/bin/bench_*). Each starts the servers and the peer
# programs it compares against and prints its figures side by side.
#
# The programs write their files under TMPDIR. As root they get a fresh journaled ext4 of
# their own (a sparse image in the build folder, mounted through a loop device and removed
# afterwards), so that the figures do not depend on the file system the machine happens to
# have, nor on how many files earlier runs created and deleted there. ORNEL_BENCH_DISK=tmp
# keeps TMPDIR as it is.
set -uo pipefail
build=${1:-build}
status=0

disk_image="$build/bench-disk.img"
disk_mount="$build/bench-disk"
mounted=0
cleanup() {
    if [[ $mounted -eq 1 ]]; then
        # Lazily when a program still has files there: it goes once they are closed.
        umount "$disk_mount" 2>/dev/null || umount -l "$disk_mount" ||
            echo "bench: could not unmount $disk_mount" >&2
    fi
    rmdir "$disk_mount" 2>/dev/null
    rm -f "$disk_image"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [[ "${ORNEL_BENCH_DISK:-image}" != tmp && $(id -u) -eq 0 ]] && command -v mkfs.ext4 >/dev/null; then
    rm -f "$disk_image"
    mkdir -p "$disk_mount"
    if truncate -s 4G "$disk_image" && mkfs.ext4 -q -F "$disk_image" &&
        mount -o loop "$disk_image" "$disk_mount"; then
        mounted=1
        export TMPDIR
        TMPDIR=$(realpath "$disk_mount")
        echo "bench: files on a fresh journaled ext4 ($disk_image, 4 GiB, removed afterwards)"
    else
        echo "bench: no journaled ext4 of its own (no loop device?); files under ${TMPDIR:-/tmp}"
    fi
else
    echo "bench: files under ${TMPDIR:-/tmp}"
fi

for b in "$build"/bin/bench_*; do
    [[ -x "$b" ]] || continue
    echo "== $(basename "$b")"
    "$b" || status=1
done
exit $status
