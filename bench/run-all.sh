#!/usr/bin/env bash
# The whole installer's benchmarks, one command: builds what they need (Release, build-bench),
# generates the data under $ONECLICK_BENCH_DIR (default /tmp/oneclick-bench, kept for later
# runs), and prints medians of N runs with the ratios to the peers, measured side by side.
#   Usage: bench/run-all.sh [runs, default 5]
#
# Data: the extraction benchmark's product tree (~290 MB) plus ~100 MB and ~1 GB variants of it
# (make-package-tree.py with a scale), each with a main program that only writes the moment it
# started (nanoseconds) to $HOME/.bench-started. Each is packed with the installer's own package
# password by `oneclick-build package` (AES-256; the 300 MB tree also as ZipCrypto) and built
# into setup-k778_abc.exe by `oneclick-build installer --package`, against a loopback
# `oneclick-dist serve`, which also serves the 300 MB package to the web install.
#
# Method, every run in a fresh private HOME, XDG_*, TMPDIR and ONECLICK_SYSTEM_ROOT, offscreen:
# 1. Whole install: from spawning `setup-k778_abc.exe astart` to the main program's time stamp,
#    against `7z x` of the same package. Stages: `oneclick-bench stages` calls the functions the
#    pipeline calls, in its order, in process: SaveResourceToFile (package out of the
#    executable), UnzipWithPassword, SaveExeWithoutResource (unin.exe), the set-up of this
#    configuration (shortcuts, uninstall entry) and LaunchProgram; plus, for comparison, the
#    earlier whole copy of the installer (CopyFileOver).
# 2. Web install: `oneclick-bench download` runs THttpDownload as the installer sets it up and
#    checks the announced SHA-256 the way the installer does (taken as the bytes arrive);
#    against `curl -o`, and like for like against `curl -o` followed by `sha256sum`.
# 3. Start-up: `oneclick-bench startup` runs the program entry's own steps (QApplication, the
#    installer window's creation with the installer's resources, show) and prints the wall clock
#    (CLOCK_REALTIME) at the window's first Expose event; the script reads the same clock just
#    before it spawns the process. The figure so includes exec, dynamic loading, Qt's start, the
#    pictures, the configuration, the registry store and the first paint.
# 4. Peak memory: GNU time's maximum resident set of the installer process (no parent's size in
#    it) over the whole install at 100 MB, 300 MB and 1 GB.
# Then the extraction benchmark (run-extract.sh) prints its own table.
set -euo pipefail
source "$(dirname "$0")/common.sh" "$@"
export ONECLICK_BENCH_BUILD="$build" ONECLICK_BENCH_DIR="$work"

need zip 7z bsdtar curl python3 cmake /usr/bin/time
build_targets oneclick-setup oneclick-build oneclick-dist oneclick-bench oneclick-bench-extract
tool="$build/tools/oneclick-build/oneclick-build"
dist="$build/tools/oneclick-dist/oneclick-dist"
inst="$work/install"
mkdir -p "$inst"

# The trees: "tree" is the extraction benchmark's own; its archives are made again when the
# main program is first added to it.
for variant in tree:1 tree-100:0.35 tree-1000:3.5; do
  name="${variant%%:*}"
  if [ ! -f "$work/$name.done" ]; then
    echo "generating the product tree in $work/$name"
    rm -rf "${work:?}/$name"
    python3 "$here/make-package-tree.py" "$work/$name" "${variant##*:}"
    touch "$work/$name.done"
  fi
  main="$work/$name/common/quintel_win.exe"
  if [ ! -f "$main" ]; then
    mkdir -p "$(dirname "$main")"
    printf '#!/bin/sh\n# The benchmark product: leaves the moment it started.\ndate +%%s%%N > "$HOME/.bench-started"\n' > "$main"
    chmod 755 "$main"
    [ "$name" = tree ] && rm -f "$work/zipcrypto.zip" "$work/aes256.zip"
    rm -f "$inst"/pkg-"${name#tree-}"-*.zip
  fi
done

pack() { # size scheme tree
  local out="$inst/pkg-$1-$2.zip"
  if [ ! -f "$out" ]; then
    echo "packing $3 as $2"
    "$tool" package "$work/$3" -o "$out" --method "$2" >/dev/null
  fi
}
pack 300 aes256 tree
pack 300 zipcrypto tree
pack 100 aes256 tree-100
pack 1000 aes256 tree-1000

# The loopback service for the reports and the web install's package.
service="$inst/service"
rm -rf "$service"
mkdir -p "$service"
"$dist" publish --db "$service/dist.db" --packages "$service/packages" --soft-id quintelzip_win \
  --version 2.0.2.6 --package "$inst/pkg-300-aes256.zip" >/dev/null
source "$repo/scripts/dist-service.sh"
trap 'kill "${DIST_PID:-}" 2>/dev/null || true; wait "${DIST_PID:-}" 2>/dev/null || true' EXIT
start_dist_service "$dist" "$service/dist.db" "$service/serve.log"
url="$SERVICE_URL"

for pair in 300:aes256 300:zipcrypto 100:aes256 1000:aes256; do
  size="${pair%%:*}" scheme="${pair##*:}"
  mkdir -p "$inst/$size-$scheme"
  "$tool" installer --program "$build/src/session/oneclick-setup" \
    --config "$repo/resources/config.json" --resource-dir "$repo/resources" \
    --package "$inst/pkg-$size-$scheme.zip" --service-url "$url" --support-url "$url" \
    -o "$inst/$size-$scheme/setup-k778_abc.exe" >/dev/null
done

echo "machine: $(nproc) cores, load $(uptime | sed 's/.*load average: //')"
python3 "$here/install_bench.py" "$build" "$work" "$runs" "$url"
echo
echo "package extraction alone (run-extract.sh):"
"$here/run-extract.sh" "$runs"
echo "load at the end: $(uptime | sed 's/.*load average: //')"
