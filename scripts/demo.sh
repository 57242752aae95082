#!/usr/bin/env bash
# Installs what is needed, builds, and runs the main job on the bundled demo image.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default
image=build/default/testdata/fixtures/disk-mbr.img
echo "=== trovium-cli sectors $image"
build/default/bin/trovium-cli sectors "$image"
echo "=== trovium-cli ls $image"
build/default/bin/trovium-cli ls "$image"
