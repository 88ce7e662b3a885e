#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the monitor on the demo station in a virtual X display and saves a screenshot of its
# window with the title bar, as the README shows it. Needs what tools/demo.sh needs, plus Xvfb,
# a window manager for the frame, and ImageMagick.
#
# Usage: tools/screenshot.sh [OUTPUT.png [SECONDS]]   (default docs/screenshot.png after 30 s,
# when the demo station's traffic announcement is on air)
set -eu

cd "$(dirname "$0")/.."
output=${1:-docs/screenshot.png}
seconds=${2:-30}
build_dir=${BUILD_DIR:-build}

for program in Xvfb openbox import xwininfo setsid; do
  command -v "$program" >/dev/null ||
    { echo "screenshot: $program is missing (apt-get install xvfb openbox imagemagick x11-utils)" >&2; exit 1; }
done

display=:$(($$ % 500 + 100))
Xvfb "$display" -screen 0 1024x640x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
wm_pid=""
demo_pid=""
# shellcheck disable=SC2317  # run by the trap
cleanup() {
  # The demo runs in its own process group: the radio and the monitor end together.
  if [ -n "$demo_pid" ]; then
    kill -TERM "-$demo_pid" 2>/dev/null || true
    wait "$demo_pid" 2>/dev/null || true
  fi
  if [ -n "$wm_pid" ]; then kill "$wm_pid" 2>/dev/null || true; fi
  kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP
sleep 1
DISPLAY=$display openbox >/dev/null 2>&1 &
wm_pid=$!

DISPLAY=$display setsid tools/demo.sh "$build_dir" >/dev/null &
demo_pid=$!
sleep "$seconds"

kill -0 "$demo_pid" 2>/dev/null || { echo "screenshot: the demo ended early" >&2; exit 1; }
window=$(DISPLAY=$display xwininfo -name Tavimor | awk '/Window id:/ { print $4 }')
[ -n "$window" ] || { echo "screenshot: no Tavimor window" >&2; exit 1; }
mkdir -p "$(dirname "$output")"
DISPLAY=$display import -frame -window "$window" "$output"
echo "screenshot: $output"
