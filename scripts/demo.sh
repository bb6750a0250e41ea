#!/usr/bin/env bash
# Installs the dependencies, builds, makes the demo installer and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD_DIR" -j"$(nproc)"
echo "The installer program is not built yet; the demo runs once it is."
