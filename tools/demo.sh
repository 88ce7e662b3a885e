#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the build's tavimor-radio, whose monitor has a port 5 of its own: the demo station, or what
# its arguments give (a recording, a frequency). The monitor writes its traffic.txt into the build
# directory. No root is needed where bubblewrap can make a namespace.
#
# Usage: tools/demo.sh BUILD_DIR [TAVIMOR_RADIO_ARGUMENT]...   (none: the demo station)
#        tools/demo.sh --check   (before the packages and the build: a display to show it on)
set -eu

fail() {
  echo "demo: $*" >&2
  exit 1
}

if [ "${1:-}" = --check ]; then
  case ${QT_QPA_PLATFORM:-xcb} in
    xcb* | wayland*)
      if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
        echo "tavimor: needs a graphical session to show its window, and neither DISPLAY nor" \
          "WAYLAND_DISPLAY is set: run this in a terminal of the desktop (su - USER leaves the" \
          "desktop's DISPLAY behind)" >&2
        exit 1
      fi
      ;;
  esac
  exit 0
fi

build_dir=$(realpath -- "${1:-build}")
[ $# -eq 0 ] || shift
[ $# -gt 0 ] || set -- --demo
# The monitor runs in the build directory: recordings named relative to here are found anyway.
for argument; do
  shift
  if [ -e "$argument" ]; then argument=$(realpath -- "$argument"); fi
  set -- "$@" "$argument"
done
radio=$build_dir/tools/radio/tavimor-radio
[ -x "$radio" ] || fail "$radio is missing; 'make demo' builds everything"
cd "$build_dir"
exec "$radio" "$@"
