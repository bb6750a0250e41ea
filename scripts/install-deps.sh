#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and run its demo.
# Idempotent: when everything is present it returns after one dpkg query.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev libgl-dev
  nlohmann-json3-dev libcurl4-openssl-dev libssl-dev libzip-dev zlib1g-dev libpng-dev
  libsqlite3-dev sqlite3
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev libcpp-httplib-dev
  fonts-wqy-microhei desktop-file-utils xdg-user-dirs
  zip unzip p7zip-full libarchive-tools curl python3
)

missing=()
for pkg in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null | grep -q '^installed$' || missing+=("$pkg")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "installing: ${missing[*]}"
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
