#!/usr/bin/env bash
# Installs the Debian packages the project needs (idempotent; sudo only when not root).
set -euo pipefail
PKGS=(
  build-essential cmake ninja-build ccache pkg-config git
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libqt6sql6-psql libgl-dev
  libpugixml-dev libopencc-dev opencc libopencc-data
  libgtest-dev libgmock-dev libbenchmark-dev
  libsqlite3-dev sqlite3 fonts-wqy-microhei libsodium-dev
  libfreexl-dev file openssl
)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq "${missing[@]}"
