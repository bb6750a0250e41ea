#!/usr/bin/env bash
# Remakes the demo product's pictures in resources/ (and the package's icon) from their drawing
# code in tools/oneclick-build/DemoArtCommand.cpp.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
[ -f "$BUILD_DIR/CMakeCache.txt" ] || cmake -S . -B "$BUILD_DIR" -G Ninja
cmake --build "$BUILD_DIR" --target oneclick-build
"$BUILD_DIR/tools/oneclick-build/oneclick-build" demo-art resources
