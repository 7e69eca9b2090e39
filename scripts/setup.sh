#!/usr/bin/env bash
# Installs the Debian packages the project needs, when they are missing.
#   scripts/setup.sh build   - what building the client and the portal needs
#   scripts/setup.sh test    - that, plus the desktop for end-to-end tests (with a sound server),
#                              the test tools (clang for the fuzz build, clang-format for the
#                              format check) and the Windows tool chain (below; its failure only
#                              skips the Windows stage of the tests)
#   scripts/setup.sh windows - the Windows tool chain: mingw-w64 (the -posix compilers, whose
#                              C++ library has threads) and Wine with an X server to run the
#                              cross-built programs (GoogleTest comes from libgtest-dev's sources),
#                              NSIS for the installer, xdotool for its test
#   scripts/setup.sh format  - clang-format alone (make format, make format-check)
#   scripts/setup.sh deb     - what building needs, plus what cpack's Debian package needs
#                              (make deb); test and coverage have these too, and the package's
#                              checkers
#   scripts/setup.sh bench   - what building needs, plus matplotlib for the charts of the benchmarks
#   scripts/setup.sh coverage - what the Linux and Windows tests need (as test, without the fuzz
#                              build's clang; the Windows tool chain is required here), plus
#                              gcovr for the coverage report (scripts/coverage.sh)
set -euo pipefail

what=${1:-build}
pkgs=(build-essential cmake ninja-build pkg-config
      libgtk-3-dev libwebkit2gtk-4.1-dev libcurl4-openssl-dev libssl-dev libpng-dev libcairo2-dev
      libpango1.0-dev libfontconfig-dev libcpp-httplib-dev fonts-noto-cjk libayatana-appindicator3-dev
      libgtest-dev libgmock-dev libbenchmark-dev
      xvfb xauth icewm xcompmgr xdotool x11-utils x11-xkb-utils x11-xserver-utils wmctrl imagemagick python3)
deb_pkgs=(dpkg-dev file)
windows_pkgs=(cmake ninja-build g++-mingw-w64-x86-64 wine wine64 libgtest-dev fonts-noto-cjk xvfb xauth
              nsis xdotool)
if [ "$what" = test ] || [ "$what" = coverage ]; then
  # A sound server with its tools, and GStreamer's PulseAudio sink (in the good plugins), for
  # the end-to-end case that listens to the game's music.
  pkgs+=(pulseaudio pulseaudio-utils gstreamer1.0-plugins-good)
  # The Debian package's end-to-end case builds the package, checks it and starts its client
  # with a read-only program folder (unshare, mount).
  pkgs+=("${deb_pkgs[@]}" lintian desktop-file-utils appstream util-linux mount)
  # A private session bus with a StatusNotifierWatcher in Python and gdbus, for the tray's item.
  pkgs+=(dbus-daemon libglib2.0-bin python3-gi gir1.2-glib-2.0)
fi
[ "$what" = test ] && pkgs+=(clang libclang-rt-14-dev clang-format)  # the fuzz build, the format check
[ "$what" = deb ] && pkgs+=("${deb_pkgs[@]}")
[ "$what" = coverage ] && pkgs+=(gcovr "${windows_pkgs[@]}")
[ "$what" = bench ] && pkgs+=(python3-matplotlib)
[ "$what" = windows ] && pkgs=("${windows_pkgs[@]}")
[ "$what" = format ] && pkgs=(clang-format git)

# install PACKAGE... : installs the missing ones; fails when apt-get does.
install() {
  local missing=() p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "setup: installing ${missing[*]}"
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null; then sudo=sudo; else
      echo "setup: these Debian packages are missing and I am not root: ${missing[*]}" >&2
      return 1
    fi
  fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq || return 1
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

install "${pkgs[@]}"
if [ "$what" = test ]; then
  # The test run's Windows stage says so and skips when this fails; the rest goes on.
  install "${windows_pkgs[@]}" || echo "setup: the Windows tool chain could not be installed" >&2
fi
exit 0
