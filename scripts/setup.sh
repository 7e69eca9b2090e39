#!/usr/bin/env bash
# Installs the Debian packages the project needs, when they are missing.
#   scripts/setup.sh build   - what building the client and the portal needs
#   scripts/setup.sh test    - that, plus the desktop for end-to-end tests and the test tools
set -euo pipefail

what=${1:-build}
pkgs=(build-essential cmake ninja-build pkg-config
      libgtk-3-dev libwebkit2gtk-4.1-dev libcurl4-openssl-dev libssl-dev libpng-dev libcairo2-dev
      libpango1.0-dev libfontconfig-dev libcpp-httplib-dev fonts-noto-cjk
      libgtest-dev libgmock-dev libbenchmark-dev
      xvfb xauth icewm xcompmgr xdotool x11-utils x11-xkb-utils wmctrl imagemagick python3)
if [ "$what" = test ]; then
  pkgs+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null; then sudo=sudo; else
    echo "setup: these Debian packages are missing and I am not root: ${missing[*]}" >&2
    exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
