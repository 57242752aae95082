#!/usr/bin/env bash
# The main job: installs what is needed, builds, and recovers the deleted files
# of the bundled demo image (FAT32, NTFS, exFAT and FAT16 partitions) into
# ./recovered, printing the summary.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
"$repo/scripts/install-deps.sh"
(cd "$repo" && cmake --preset default >/dev/null && cmake --build --preset default)
image="$repo/build/default/testdata/fixtures/disk-mbr.img"
echo "=== trovium-cli ls --deleted $image"
"$repo/build/default/bin/trovium-cli" ls --deleted "$image"
mkdir -p recovered
echo "=== trovium-cli recover $image --out recovered --deleted"
"$repo/build/default/bin/trovium-cli" recover "$image" --out recovered --deleted --yes
