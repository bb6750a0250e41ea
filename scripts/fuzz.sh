#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a while on a copy of its seeds.
# Usage: scripts/fuzz.sh [seconds per target, default 10]. Build folder: $FUZZ_BUILD_DIR or
# build-fuzz. Exits non-zero naming the target and the input when a target crashes.
set -euo pipefail

SECONDS_PER_TARGET="${1:-10}"
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${FUZZ_BUILD_DIR:-$ROOT/build-fuzz}"
TARGETS=(config exe_name cipher resource_container language service_answer extraction)

"$ROOT/scripts/install-deps.sh"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DONECLICK_FUZZ=ON -DONECLICK_TESTS=OFF -DONECLICK_BENCH=OFF -DONECLICK_WERROR=ON >/dev/null
cmake --build "$BUILD" --target fuzz_all -j"$(nproc)"

export LSAN_OPTIONS="suppressions=$ROOT/fuzz/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export UBSAN_OPTIONS="print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
failed=0
for target in "${TARGETS[@]}"; do
  run="$BUILD/fuzz-run/$target"
  rm -rf "$run"
  mkdir -p "$run/corpus" "$run/artifacts"
  # The seeds are copied: the fuzzer adds to its corpus, and the repository stays as it is.
  cp "$ROOT/fuzz/corpus/$target/." "$run/corpus/" -R
  if [ -d "$ROOT/fuzz/regressions/$target" ]; then
    cp "$ROOT/fuzz/regressions/$target/." "$run/corpus/" -R
  fi
  max_len=4096
  shared="$ROOT/../shared/testdata/zip-corpus"
  if [ "$target" = extraction ]; then
    max_len=16384
    # Real archives of other tools, each behind every password slot the target knows.
    if [ -d "$shared" ]; then
      for zip in "$shared"/*.zip; do
        for slot in 0 1 2 3 4 5; do
          { printf "\\x0$slot"; cat "$zip"; } >"$run/corpus/shared-$slot-$(basename "$zip")"
        done
      done
    fi
  fi
  echo "== fuzz_$target for ${SECONDS_PER_TARGET} s"
  if ! "$BUILD/fuzz/fuzz_$target" -max_total_time="$SECONDS_PER_TARGET" -timeout=20 \
      -rss_limit_mb=2048 -max_len="$max_len" -print_final_stats=1 \
      -artifact_prefix="$run/artifacts/" "$run/corpus" >"$run/log" 2>&1; then
    tail -n 60 "$run/log"
    for found in "$run"/artifacts/*; do
      [ -e "$found" ] && echo "fuzz_$target failed on $found"
    done
    echo "fuzz_$target failed: see $run/log"
    failed=1
  fi
  grep -E '^#[0-9]+[[:space:]]+DONE' "$run/log" | tail -n 1 || true
done
exit "$failed"
