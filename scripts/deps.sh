#!/usr/bin/env bash
# Installs the Debian packages the project needs (idempotent; sudo only when not root).
set -euo pipefail
PKGS=(
  build-essential cmake ninja-build ccache pkg-config git
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libqt6sql6-psql libgl-dev
  libpugixml-dev libopencc-dev opencc libopencc-data
  libgtest-dev libgmock-dev libbenchmark-dev
  libsqlite3-dev sqlite3 fonts-wqy-microhei libsodium-dev
  libfreexl-dev file libxlsxwriter-dev unzip python3-xlrd openssl
  postgresql libpq-dev
)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# PostgreSQL's initdb and postgres refuse to run as root: the test server (scripts/pg-test.sh) runs as
# this unprivileged user when the tests run as root.
make_pg_user() {
  if [ "$(id -u)" -eq 0 ] && ! id kvxpg >/dev/null 2>&1; then
    useradd --system --no-create-home --shell /usr/sbin/nologin kvxpg 2>/dev/null || true
  fi
}
if [ ${#missing[@]} -eq 0 ]; then make_pg_user; exit 0; fi
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq "${missing[@]}"
make_pg_user
