#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the monitor on a virtual serial port 5 fed by the demo station: socat joins a
# pseudo-terminal linked at /dev/ttyS4 to another one that tavimor-feed writes to. Creating the
# link in /dev needs root, through sudo when not run as root. A real /dev/ttyS4 is never touched.
# Closing the window, Ctrl-C, SIGTERM or SIGHUP stops the monitor, the feeder and socat, removes
# the link and exits 0. Given a hex group log, the feeder replays it instead of the demo station;
# given a recorded FM multiplex signal (--mpx), it decodes the recording at its own pace; given a
# frequency (--radio), it decodes the station that rtl_fm receives with an RTL-SDR stick, and the
# demo stops when rtl_fm does.
#
# Usage: tools/demo.sh [--mpx FILE | --radio FREQUENCY] [BUILD_DIR [LOG]]
#        tools/demo.sh --check [--radio FREQUENCY]   (root or sudo and a free port, before the build)
set -eu

fail() {
  echo "demo: $*" >&2
  exit 1
}

check_only=""
recording=""
frequency=""
while [ $# -gt 0 ]; do
  case $1 in
    --check) check_only=1 ;;
    --mpx)
      [ -n "${2:-}" ] || fail "--mpx needs a recording of an FM multiplex signal"
      [ -f "$2" ] || fail "$2: no such recording"
      recording=$(realpath -- "$2")
      shift
      ;;
    --radio)
      [ -n "${2:-}" ] || fail "give the station's frequency, as in: make radio FREQ=94.5M"
      frequency=$2
      shift
      ;;
    *) break ;;
  esac
  shift
done
log=""
if [ $# -ge 2 ]; then
  [ -f "$2" ] || fail "$2: no such log"
  log=$(realpath -- "$2")
fi
cd "$(dirname "$0")/.."
build_dir=${1:-build}
port=/dev/ttyS4
# socat's process id while a demo owns the link, so that a leftover link can be told apart.
marker=/run/tavimor-demo.pid
# Qt's serial lock while the monitor holds the port; a killed monitor leaves it behind.
lock=/var/lock/LCK..ttyS4
monitor="$build_dir/tavimor"
feeder="$build_dir/tools/tavimor-feed"

if [ -z "$check_only" ]; then
  for program in "$monitor" "$feeder" "$(command -v socat || echo socat)"; do
    [ -x "$program" ] || fail "$program is missing; 'make demo' installs and builds everything"
  done
  if [ -n "$frequency" ] && ! command -v rtl_fm >/dev/null; then
    fail "rtl_fm is missing; 'make radio' installs it (Debian's rtl-sdr)"
  fi
fi
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
user=$(id -un)

if [ -n "$sudo" ]; then
  needs_root="make demo needs root to create $port: run it as root, or"
  command -v sudo >/dev/null || fail "$needs_root install sudo (apt-get install sudo," \
    "as root) and add yourself to the sudo group (adduser $user sudo, then log in again)"
  # Asked here rather than by socat in the background, where a password prompt would race the wait.
  sudo -v || fail "$needs_root have yourself added to the sudo group (adduser $user sudo," \
    "as root, then log in again)"
fi

demo_running() {
  [ -f "$marker" ] && [ "$(cat "/proc/$(cat "$marker")/comm" 2>/dev/null)" = socat ]
}

# A demo that was killed outright can leave its link behind: a link to a pseudo-terminal, with a
# marker whose socat is gone.
if [ -L "$port" ] && [ -f "$marker" ] && ! demo_running; then
  case "$(readlink "$port")" in
    /dev/pts/*) $sudo rm -f "$port" "$marker" ;;
  esac
fi
if demo_running; then
  fail "another demo is running on $port (socat, process $(cat "$marker")); close its window first"
fi
if [ -e "$port" ] || [ -L "$port" ]; then
  fail "$port already exists ($(ls -l "$port")).
It may be a real serial port or a receiver, so the demo leaves it alone.
With a receiver on it, 'make run' starts the monitor on the real thing."
fi
[ -z "$check_only" ] || exit 0

# True in the foreground process group of a controlling terminal.
in_terminal_foreground() {
  stat=$(cat "/proc/$$/stat")
  # shellcheck disable=SC2086  # after the name: state ppid pgrp session tty_nr tpgid
  set -- ${stat##*) }
  [ "$3" = "$6" ]
}

# True while the process runs: ended and not yet waited for counts as ended.
running() {
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  # shellcheck disable=SC2086  # after the name: state ...
  set -- ${stat##*) }
  [ "$1" != Z ]
}

work=$(mktemp -d "${TMPDIR:-/tmp}/tavimor-demo.XXXXXX")
feeder_pid=""
receiver_pid=""
monitor_pid=""
monitor_started=""
stderr_saved=""

# shellcheck disable=SC2317  # run by the traps
stop_all() {
  for pid in $monitor_pid $feeder_pid $receiver_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  if demo_running; then $sudo kill "$(cat "$marker")" 2>/dev/null || true; fi
  # socat removes its links when it ends; give it a moment, then make sure.
  for _ in 1 2 3 4 5 6 7 8 9 10; do
    [ -L "$port" ] || break
    sleep 0.1
  done
  if [ -L "$port" ]; then
    case "$(readlink "$port")" in /dev/pts/*) $sudo rm -f "$port" ;; esac
  fi
  $sudo rm -f "$marker"
  if [ -n "$monitor_started" ] && [ -f "$lock" ] && ! kill -0 "$monitor_started" 2>/dev/null &&
    [ "$(head -n 1 "$lock")" = "$monitor_started" ]; then
    rm -f "$lock"
  fi
  rm -rf "$work"
}

# shellcheck disable=SC2317  # run by the traps
finish() {
  trap '' INT TERM HUP
  if [ -n "$stderr_saved" ]; then exec 2>&4 4>&-; fi
  stop_all
  trap - EXIT
  case $- in *m*) set +m ;; esac
  if [ "$1" -eq 0 ]; then echo "Demo stopped; $port is removed."; fi
  exit "$1"
}
trap 'finish $?' EXIT
trap 'finish 0' INT TERM HUP
# Ctrl-C in a terminal interrupts its whole foreground process group, make included, which then
# reports the demo as failed. As a job-control shell this script takes the terminal's foreground
# for itself and runs everything else as background jobs, so Ctrl-C reaches the script alone.
if in_terminal_foreground; then set -m; fi

# The shell writes its own process id, then becomes socat, so the marker names socat itself.
# shellcheck disable=SC2016
$sudo sh -c 'echo $$ > "$1"; exec socat "pty,raw,echo=0,link=$2,user=$3,mode=600" \
  "pty,raw,echo=0,link=$4,user=$3,mode=600"' demo "$marker" "$port" "$user" "$work/feeder" \
  </dev/null &

for _ in $(seq 50); do
  [ -e "$port" ] && [ -e "$work/feeder" ] && break
  sleep 0.1
done
if [ ! -e "$port" ] || [ ! -e "$work/feeder" ]; then fail "socat did not create $port"; fi

if [ -n "$frequency" ]; then
  # As the stick's own guides tune for RDS: wide FM, 171 000 samples a second of the multiplex.
  mkfifo "$work/mpx"
  rtl_fm -M fm -l 0 -A std -p "${PPM:-0}" -s 171k -g "${GAIN:-20}" -F 9 -f "$frequency" - \
    >"$work/mpx" </dev/null &
  receiver_pid=$!
  "$feeder" --mpx "$work/feeder" - <"$work/mpx" &
  source="The station at $frequency"
elif [ -n "$recording" ]; then
  "$feeder" --mpx --timed "$work/feeder" "$recording" </dev/null &
  source=$recording
else
  "$feeder" "$work/feeder" ${log:+"$log"} </dev/null &
  source=${log:-Demo station}
fi
feeder_pid=$!

echo "$source on $port. traffic.txt is written to $build_dir/." \
  "Close the window or press Ctrl-C to stop."
(cd "$build_dir" && exec ./tavimor) </dev/null &
monitor_pid=$!
monitor_started=$monitor_pid
status=0
# A job-control shell reports its jobs' ends ("Done") on its standard error: not here.
exec 4>&2 2>/dev/null
stderr_saved=1
# A live station ends the demo when rtl_fm ends (no stick, or one pulled out): the feeder then
# ends with it. Only a child can be waited for, so both are watched.
if [ -n "$receiver_pid" ]; then
  while running "$monitor_pid" && running "$feeder_pid"; do sleep 0.2; done
fi
if running "$monitor_pid" && [ -n "$receiver_pid" ]; then
  exec 2>&4 4>&-
  stderr_saved=""
  echo "demo: the receiver stopped (rtl_fm's message above says why)" >&2
  finish 1
fi
wait "$monitor_pid" || status=$?
exec 2>&4 4>&-
stderr_saved=""
# Ended and reaped: its process id may soon belong to another process.
monitor_pid=""
if [ "$status" -gt 128 ]; then echo "demo: the monitor ended on signal $((status - 128))" >&2; fi
finish "$status"
