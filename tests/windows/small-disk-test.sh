#!/usr/bin/env bash
# small-disk-test.sh PREFIX TEST_PROGRAM: mounts small file systems where the launcher will write
# (subfolders of the extraction directory inside the Wine prefix): a 1 MiB one for the full-disk
# case and a read-only one for the read-only case of the reliability tests; runs those cases and
# unmounts. Exits 77 (skipped) where nothing can be mounted.
set -euo pipefail
prefix=$1
program=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
cache="$prefix/drive_c/users/$(id -un)/AppData/Local/Quorvell/1.3"
full="$cache/disk-full"
read_only="$cache/read-only"
mkdir -p "$full" "$read_only"
mounted=()
cleanup() { for point in "${mounted[@]}"; do umount "$point" || true; done; }
trap cleanup EXIT
if ! mount -t tmpfs -o size=1m onefile-small-disk "$full" 2>/dev/null; then
  echo "a small file system cannot be mounted here (needs root and mount rights): skipped"
  exit 77
fi
mounted+=("$full")
mount -t tmpfs -o size=64k,ro onefile-read-only "$read_only"
mounted+=("$read_only")
cd "$(dirname "$program")"
ONEFILE_TEST_SMALL_DISK=1 ONEFILE_TEST_READ_ONLY_DIRECTORY=1 \
  "$root/cmake/wine-run" "$prefix" "$program" --gtest_filter='*FullDisk*:*ReadOnlyDirectory*'
