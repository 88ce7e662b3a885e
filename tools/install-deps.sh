#!/bin/sh
# Installs from Debian's packages whatever the build, the tests and the demo need and is missing,
# and any further packages named as arguments.
#
# Usage: tools/install-deps.sh [PACKAGE]...
set -eu

packages="cmake make g++ pkg-config qt6-base-dev qt6-serialport-dev libqt6svg6 qt6-qpa-plugins
  libgtest-dev fonts-dejavu-core socat inotify-tools libnotify-bin $*"

missing=""
for package in $packages; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" ||
    missing="$missing $package"
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
# shellcheck disable=SC2086
$sudo apt-get install -y --no-install-recommends $missing
