# The start every benchmark script shares (sourced with the script's arguments): where the
# sources, the Release build and the data live, the run count, and two helpers.
here="$(cd "$(dirname "${BASH_SOURCE[1]}")" && pwd)"
repo="$(dirname "$here")"
build="${ONECLICK_BENCH_BUILD:-$repo/build-bench}"
work="${ONECLICK_BENCH_DIR:-/tmp/oneclick-bench}"
runs="${1:-5}"

# need TOOL...: stops when one of the programs is missing.
need() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh)"; exit 1; }
  done
}

# build_targets TARGET...: the Release build of what a benchmark runs.
build_targets() {
  cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DONECLICK_TESTS=OFF >/dev/null
  cmake --build "$build" -j"$(nproc)" --target "$@" >/dev/null
}
