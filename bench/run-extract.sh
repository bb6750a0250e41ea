#!/usr/bin/env bash
# Package extraction benchmark, one command: builds the driver (Release), generates a ~290 MB
# product tree under $ONECLICK_BENCH_DIR (default /tmp/oneclick-bench, kept for later runs),
# packs it as ZipCrypto (zip -P) and AES-256 (7z -mem=AES256), and times the extraction against
# 7z x and bsdtar -x.  Usage: bench/run-extract.sh [runs, default 5]
set -euo pipefail
source "$(dirname "$0")/common.sh" "$@"
password=271828

need zip 7z bsdtar python3 cmake
build_targets oneclick-bench-extract

mkdir -p "$work"
if [ ! -f "$work/tree.done" ]; then
  echo "generating the product tree in $work/tree"
  rm -rf "$work/tree"
  python3 "$here/make-package-tree.py" "$work/tree"
  touch "$work/tree.done"
  rm -f "$work/zipcrypto.zip" "$work/aes256.zip"
fi
if [ ! -f "$work/zipcrypto.zip" ]; then
  (cd "$work/tree" && zip -q -r -P "$password" "$work/zipcrypto.zip" .)
fi
if [ ! -f "$work/aes256.zip" ]; then
  (cd "$work/tree" && 7z a -tzip -mem=AES256 -p"$password" "$work/aes256.zip" . >/dev/null)
fi

python3 "$here/extract_bench.py" "$build/bench/oneclick-bench-extract" "$work" "$password" "$runs"
rm -rf "$work/out"
