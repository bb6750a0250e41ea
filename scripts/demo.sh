#!/usr/bin/env bash
# Installs the dependencies, builds, makes the demo installer from resources/ and runs it: with
# its window where there is a display, else silently ("astart", offscreen) in a private HOME
# under the build folder, so a run without a person never touches the real user's files.
# With --web the installer carries no package: it asks the reference service for it and
# downloads it, as a web installer does.
set -euo pipefail
cd "$(dirname "$0")/.."
WEB=0
[ "${1:-}" = "--web" ] && WEB=1
scripts/install-deps.sh
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD_DIR" -j"$(nproc)" --target oneclick-setup oneclick-build oneclick-dist
BUILD_DIR=$(cd "$BUILD_DIR" && pwd)
BUILD_TOOL="$BUILD_DIR/tools/oneclick-build/oneclick-build"
DIST="$BUILD_DIR/tools/oneclick-dist/oneclick-dist"

DEMO="$BUILD_DIR/demo"
rm -rf "$DEMO/package" "$DEMO/service"
mkdir -p "$DEMO/package" "$DEMO/service"

# The demo product's id holds "quin", so its uninstaller empties the whole folder only when the
# product carries the marker file soft.conf; the demo's package does.
cp -a resources/package/. "$DEMO/package/"
: > "$DEMO/package/soft.conf"
"$BUILD_TOOL" package "$DEMO/package" -o "$DEMO/demo.zip"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  SHOW_WINDOW=1
else
  SHOW_WINDOW=0
  # Nobody is watching: everything the installer touches lives under the build folder.
  export HOME="$DEMO/home"
  rm -rf "$HOME" "$DEMO/system" "$DEMO/tmp" "$DEMO/runtime"
  mkdir -p "$HOME" "$DEMO/system" "$DEMO/tmp"
  mkdir -m 700 "$DEMO/runtime"
  export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share"
  export XDG_CACHE_HOME="$HOME/.cache" TMPDIR="$DEMO/tmp" ONECLICK_SYSTEM_ROOT="$DEMO/system"
  export XDG_RUNTIME_DIR="$DEMO/runtime"
  export QT_QPA_PLATFORM=offscreen
fi

# The maker's reference service on loopback receives the installer's reports.
"$DIST" publish --db "$DEMO/service/dist.db" --packages "$DEMO/service/packages" \
  --soft-id quintelzip_win --version 2.0.2.6 --package "$DEMO/demo.zip" > /dev/null
source scripts/dist-service.sh
trap 'kill "${DIST_PID:-}" 2> /dev/null || true' EXIT
start_dist_service "$DIST" "$DEMO/service/dist.db" "$DEMO/service/serve.log"

INSTALLER="$DEMO/Tavelin-setup.exe"
PACKAGE_ARGS=(--package "$DEMO/demo.zip")
[ "$WEB" = 1 ] && PACKAGE_ARGS=()
"$BUILD_TOOL" installer --program "$BUILD_DIR/src/session/oneclick-setup" \
  --config resources/config.json --resource-dir resources "${PACKAGE_ARGS[@]}" \
  --service-url "$SERVICE_URL" --support-url "$SERVICE_URL" -o "$INSTALLER"
echo "demo installer: $INSTALLER"

PRODUCT_DIR="${XDG_DATA_HOME:-$HOME/.local/share}/Tavelin"
if [ "$SHOW_WINDOW" = 1 ]; then
  "$INSTALLER"
else
  echo "no display: installing silently (astart) into a private HOME: $HOME"
  timeout 120 "$INSTALLER" astart
fi

echo
"$DIST" stats --db "$DEMO/service/dist.db" --soft-id quintelzip_win || true
echo
if [ -x "$PRODUCT_DIR/unin.exe" ]; then
  echo "The product went to: $PRODUCT_DIR"
  find "$PRODUCT_DIR" -mindepth 1 | sed 's/^/  /'
  echo
  echo "To uninstall it (its reports then find no service, which the uninstaller passes over):"
  if [ "$SHOW_WINDOW" = 1 ]; then
    echo "  \"$PRODUCT_DIR/unin.exe\"            # with the window"
    echo "  \"$PRODUCT_DIR/unin.exe\" astart     # silently"
  else
    echo "  env HOME=\"$HOME\" XDG_CONFIG_HOME=\"$XDG_CONFIG_HOME\" XDG_DATA_HOME=\"$XDG_DATA_HOME\" \\"
    echo "      XDG_CACHE_HOME=\"$XDG_CACHE_HOME\" TMPDIR=\"$TMPDIR\" ONECLICK_SYSTEM_ROOT=\"$ONECLICK_SYSTEM_ROOT\" \\"
    echo "      XDG_RUNTIME_DIR=\"$XDG_RUNTIME_DIR\" QT_QPA_PLATFORM=offscreen \"$PRODUCT_DIR/unin.exe\" astart"
  fi
else
  echo "The product is not installed (the installer was closed before it finished)."
fi
