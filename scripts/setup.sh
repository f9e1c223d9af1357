#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing Memorant need.
# Only missing packages are installed; apt-get update runs only when something is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config ccache
  libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev libminizip-dev libsnappy-dev
  nlohmann-json3-dev libssl-dev uuid-dev libicu-dev libplist-dev
  libcairo2-dev libpng-dev libjpeg-dev libpoppler-glib-dev
  libpango1.0-dev librsvg2-dev adwaita-icon-theme libboost-dev
  libcurl4-openssl-dev libcpp-httplib-dev
  libespeak-ng-dev libpcaudio-dev
  libxml2-dev libgdk-pixbuf-2.0-dev
  libavahi-client-dev avahi-daemon avahi-utils dbus iproute2
  zip unzip
  chromium
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

# Node.js runs the browser tests; it may come from another repository with npm
# built in, so it is looked for as a command, not as a package.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  missing+=(nodejs npm)
fi

if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -q
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The browser tests' Node packages, from the lock file.
cd "$(dirname "$0")/../tests/web"
if [ ! -d node_modules/playwright-core ]; then
  npm ci --no-audit --no-fund --loglevel=error
fi
