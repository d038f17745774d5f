#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and demo.
# Idempotent: when everything is present it does nothing (no apt-get at all).
set -euo pipefail

PACKAGES=(
  build-essential g++ make cmake pkg-config
  libcurl4-openssl-dev libcjson-dev liblzma-dev libssl-dev libpugixml-dev
  libgtk2.0-dev libgtest-dev libgmock-dev libbenchmark-dev libcpp-httplib-dev libseccomp-dev
  iproute2 iputils-ping procps net-tools curl openssl jq
  xvfb xauth xdotool imagemagick fonts-wqy-zenhei
  clang libclang-rt-dev clang-format ccache gcovr
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
