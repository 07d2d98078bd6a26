#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Safe to run again:
# it does nothing when everything is present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libgl-dev
  libsqlite3-dev sqlite3
  libcurl4-openssl-dev
  libzip-dev
  libicu-dev
  libical-dev libxml2-dev
  khal radicale apache2-utils curl
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  clang-format clang-tidy  # scripts/format.sh and scripts/tidy.sh
  chromium fonts-dejavu-core  # the reference walks read the PC section in a real browser
  systemd  # systemd-analyze verifies the update timer's unit files
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
