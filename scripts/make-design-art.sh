#!/usr/bin/env bash
# Remakes the design-time pictures of the installer window and its dialogs in resources/ui/ from
# their drawing code in tools/oneclick-build/DesignArtCommand.cpp; the ui library compiles them in.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
[ -f "$BUILD_DIR/CMakeCache.txt" ] || cmake -S . -B "$BUILD_DIR" -G Ninja
cmake --build "$BUILD_DIR" --target oneclick-build
"$BUILD_DIR/tools/oneclick-build/oneclick-build" design-art resources/ui
