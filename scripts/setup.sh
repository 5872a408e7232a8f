#!/usr/bin/env bash
# Installs every Debian 12 package the project builds, tests and runs with.
# Idempotent and non-interactive; quick when everything is already installed.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config ccache
  libwxgtk3.2-dev libwxsqlite3-3.2-dev
  libsqlite3-dev sqlite3
  libsqlcipher-dev sqlcipher
  liblua5.4-dev lua5.4
  libssl-dev libcjson-dev libexpat1-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
