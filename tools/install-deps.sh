#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs from Debian's packages whatever the build, the tests and the demo need and is missing,
# and any further packages named as arguments.
#
# Usage: tools/install-deps.sh [PACKAGE]...
set -eu

# ninja-build for a quiet build; libxkbcommon-dev so that Qt's CMake files find XKB instead of
# reporting it missing at every configure; inotify-tools and libnotify-bin for
# tavimor-traffic-notify; liquid-dsp and libsndfile for decoding an FM multiplex signal; FFTW for
# the scan's filter bank; SoapySDR for the tuners the feeder reads itself; bubblewrap for
# tavimor-radio's port 5; socat joins pseudo-terminals in the monitor's process test; Xvfb, the
# session and accessibility buses and Python's bindings to them and to X for the radio's.
packages="cmake make ninja-build g++ pkg-config qt6-base-dev qt6-serialport-dev libqt6svg6
  qt6-qpa-plugins libxkbcommon-dev libgtest-dev fonts-dejavu-core bubblewrap socat
  inotify-tools libnotify-bin libliquid-dev libsndfile1-dev libfftw3-dev libsoapysdr-dev xvfb
  at-spi2-core dbus python3-pyatspi python3-xlib $*"

missing=""
for package in $packages; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" ||
    missing="$missing $package"
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  sudo=""
elif command -v sudo >/dev/null; then
  sudo="sudo"
else
  echo "install-deps: installing$missing needs root: run this as root, or install sudo" \
    "(apt-get install sudo, as root) and add yourself to the sudo group" >&2
  exit 1
fi
echo "Installing:$missing"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
# shellcheck disable=SC2086
$sudo apt-get install -y --no-install-recommends $missing
