#!/usr/bin/env bash
# Puts oneclick-dist under load on loopback: CLIENTS installers reporting at once for SECONDS,
# then the same again with the service killed (SIGKILL) halfway. Each run checks that every
# acknowledged report is in the database exactly once. Not part of the test suite (it takes
# twice SECONDS); the suite runs a short version.
#   scripts/dist-load.sh [CLIENTS [SECONDS]]     (defaults 50 and 10)
set -euo pipefail
cd "$(dirname "$0")/.."
CLIENTS=${1:-50}
SECONDS_=${2:-10}
BUILD_DIR=${BUILD_DIR:-build}
if [ ! -f "$BUILD_DIR/build.ninja" ] && [ ! -f "$BUILD_DIR/Makefile" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$BUILD_DIR" --target oneclick-dist oneclick-dist-load
WORK=$(mktemp -d "${TMPDIR:-/tmp}/dist-load.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
LOAD="$BUILD_DIR/tools/oneclick-dist/oneclick-dist-load"
SERVER="$BUILD_DIR/tools/oneclick-dist/oneclick-dist"
echo "== steady load"
"$LOAD" --server "$SERVER" --work "$WORK/steady" --clients "$CLIENTS" --seconds "$SECONDS_"
echo "== killed halfway"
"$LOAD" --server "$SERVER" --work "$WORK/killed" --clients "$CLIENTS" --seconds "$SECONDS_" \
  --kill-after "$(awk "BEGIN { print $SECONDS_ / 2 }")"
