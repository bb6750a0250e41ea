#!/usr/bin/env bash
# Installs the dependencies, builds everything and runs the whole test suite: first as shipped,
# then again with address and undefined-behaviour sanitizers, then every fuzzing target for a
# few seconds (clang build). All three must pass. --quick: the plain build and suite only, for
# a person at work.
set -euo pipefail
cd "$(dirname "$0")/.."
QUICK=0
case "${1:-}" in
  --quick) QUICK=1 ;;
  "") ;;
  *) echo "usage: scripts/test.sh [--quick]" >&2; exit 2 ;;
esac
scripts/install-deps.sh
BUILD_DIR=${BUILD_DIR:-build}
ASAN_DIR="${BUILD_DIR}-asan"
JOBS=$(nproc)

# Each phase says how long it took, so a slow one shows in the CI log.
phase() {
  local name=$1 start=$SECONDS
  shift
  echo "== $name"
  "$@"
  echo "== $name: $((SECONDS - start)) s"
}

build_tree() {
  # CMAKE_ARGS holds several words on purpose.
  # shellcheck disable=SC2086
  cmake -S . -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DONECLICK_WERROR=ON "${@:2}" \
    ${CMAKE_ARGS:-}
  cmake --build "$1" -j"$JOBS"
}

run_suite() {
  (cd "$1" && ctest --output-on-failure -j"$JOBS")
}

# The suite with sanitizers. The programs the tests start inherit the options. Every process
# that finds a memory fault or a leak writes its report into the log folder, so one in a
# program whose output no test reads still fails the run; undefined behaviour is reported on
# the process's error output and ends it with a failure.
run_sanitized_suite() {
  local logs status=0
  logs="$(cd "$ASAN_DIR" && pwd)/sanitizer-logs"
  rm -rf "$logs"
  mkdir -p "$logs"
  local common="print_stacktrace=1:halt_on_error=1:log_path=$logs/report"
  (
    export ASAN_OPTIONS="$common:detect_leaks=1" UBSAN_OPTIONS="$common"
    run_suite "$ASAN_DIR"
  ) || status=$?
  if compgen -G "$logs/report*" >/dev/null; then
    for report in "$logs"/report*; do
      echo "---- $report"
      cat "$report"
    done
    echo "sanitizer reports above" >&2
    status=1
  fi
  return "$status"
}

phase "layers" scripts/check-layers.py
phase "build" build_tree "$BUILD_DIR"
phase "tests" run_suite "$BUILD_DIR"
[ "$QUICK" -eq 0 ] || exit 0

phase "sanitizer build" build_tree "$ASAN_DIR" -DONECLICK_ASAN=ON -DONECLICK_BENCH=OFF
phase "sanitizer tests" run_sanitized_suite

FUZZ_DIR="${BUILD_DIR}-fuzz"
[[ $FUZZ_DIR = /* ]] || FUZZ_DIR="$PWD/$FUZZ_DIR"
phase "fuzzing smoke run" env FUZZ_BUILD_DIR="$FUZZ_DIR" scripts/fuzz.sh 5
