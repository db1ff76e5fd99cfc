#!/usr/bin/env bash
# disk-full-test.sh PREFIX TEST_PROGRAM: mounts a 1 MiB file system where the launcher will write
# (a subfolder of the extraction directory inside the Wine prefix), runs the full-disk case of
# the reliability tests there, and unmounts it. Exits 77 (skipped) where nothing can be mounted.
set -euo pipefail
prefix=$1
program=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
mount_point="$prefix/drive_c/users/$(id -un)/AppData/Local/Quorvell/1.3/disk-full"
mkdir -p "$mount_point"
if ! mount -t tmpfs -o size=1m onefile-small-disk "$mount_point" 2>/dev/null; then
  echo "a small file system cannot be mounted here (needs root and mount rights): skipped"
  exit 77
fi
trap 'umount "$mount_point"' EXIT
cd "$(dirname "$program")"
ONEFILE_TEST_SMALL_DISK=1 "$root/cmake/wine-run" "$prefix" "$program" --gtest_filter='*FullDisk*'
