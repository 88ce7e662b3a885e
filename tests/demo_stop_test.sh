#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Stopping the demo, as a user does with Ctrl-C on its terminal and as tools/screenshot.sh does
# with SIGTERM to its process group: either way the radio, bubblewrap and the monitor must end, and
# the demo must exit 0 with the line that says it stopped; its port 5 and the monitor's serial
# lock never appear outside its own namespace. Runs as root of a user, mount and process
# namespace of its own: the only processes it can see, and so find and stop, are the ones it
# started. Needs no root.
#
# Usage: demo_stop_test.sh DEMO_SCRIPT BUILD_DIR   (exit 77: skipped)
set -eu

script=$(realpath -- "$0")
# shellcheck source=support/private_ports.sh
. "$(dirname "$script")/support/private_ports.sh"

if [ "${3:-}" != --inside ]; then
  demo=$(realpath -- "$1")
  build_dir=$(realpath -- "$2")
  require_user_namespaces
  if ! reason=$(unshare --user --map-root-user --mount --pid --fork --mount-proc true 2>&1); then
    echo "SKIP: no process namespace of its own (${reason:-unshare failed})"
    exit 77
  fi
  work=$(mktemp -d "${TMPDIR:-/tmp}/demo-stop-test.XXXXXX")
  chmod 755 "$work"
  mkdir "$work/dev"
  trap 'rm -rf "$work"' EXIT
  trap 'exit 1' INT TERM HUP
  # The namespace's first process is the test: when it ends, whatever is left of it ends too.
  status=0
  unshare --user --map-root-user --mount --pid --fork --kill-child --mount-proc \
    sh "$script" "$demo" "$build_dir" --inside "$work" || status=$?
  exit "$status"
fi

demo=$1
build_dir=$2
work=$4
port=/dev/ttyS4
lock=/run/lock/LCK..ttyS4
stopped_line="Stopped."
make_private_dev_and_run "$work/dev" || { echo "FAILED: no private /dev and /run"; exit 1; }

scratch="$work/scratch"
mkdir "$scratch"
runner=""

demo_processes() {
  for proc in /proc/[0-9]*; do
    exe=$(readlink "$proc/exe" 2>/dev/null) || continue
    case $exe in
      "$build_dir/tavimor" | "$build_dir/tools/radio/tavimor-radio") echo "${proc#/proc/}" ;;
      */bwrap) echo "${proc#/proc/}" ;;
    esac
  done
}

# Unlike kill -0, false for a child that has ended but is not yet reaped.
alive() {
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  state=${stat##*) }
  [ "${state%% *}" != Z ]
}

# shellcheck disable=SC2317  # run by the trap
clean_up() {
  exec 3>&-
  if [ -n "$runner" ]; then kill -KILL "-$runner" "$runner" 2>/dev/null || true; fi
  for pid in $(demo_processes); do kill -KILL "$pid" 2>/dev/null || true; done
}
trap clean_up EXIT
trap 'exit 1' INT TERM HUP

fail() {
  echo "FAIL ($case_name): $*"
  echo "--- demo output:"
  cat "$scratch/out" 2>/dev/null || true
  exit 1
}

# Waits up to a minute for the monitor to hold its port, as the lock in its own namespace's
# /run/lock shows.
wait_for_monitor() {
  for _ in $(seq 600); do
    for pid in $(demo_processes); do
      if [ "$(readlink "/proc/$pid/exe")" = "$build_dir/tavimor" ] &&
        [ -e "/proc/$pid/root$lock" ]; then return 0; fi
    done
    alive "$runner" || fail "the demo ended before the monitor held $port"
    sleep 0.1
  done
  fail "no monitor on $port within a minute"
}

# Waits up to 30 s for the demo to end and checks that nothing of it is left.
expect_clean_stop() {
  for _ in $(seq 300); do
    alive "$runner" || break
    sleep 0.1
  done
  if alive "$runner"; then fail "the demo still runs 30 s after it was told to stop"; fi
  status=0
  wait "$runner" || status=$?
  runner=""
  [ "$status" -eq 0 ] || fail "exit status $status, expected 0"
  grep -q "$stopped_line" "$scratch/out" || fail "no line '$stopped_line'"
  left=$(demo_processes)
  [ -z "$left" ] || fail "processes left: $(for p in $left; do tr '\0' ' ' <"/proc/$p/cmdline"; echo; done)"
  if [ -e "$port" ] || [ -L "$port" ]; then fail "$port reached the caller's /dev"; fi
  [ ! -e "$lock" ] || fail "serial lock $lock reached the caller's /run/lock"
}

# Ctrl-C interrupts the terminal's whole foreground process group: the shell that started the
# demo stands in for make, which must see a clean exit rather than die with it (status 130).
# A shell started in the background ignores SIGINT and cannot trap it; a user's does not.
case_name="Ctrl-C on the demo's terminal"
mkfifo "$scratch/keys"
SHELL=/bin/sh env --default-signal=INT,QUIT setsid script -qefc \
  "sh '$demo' '$build_dir' && echo 'the caller carried on'" /dev/null <"$scratch/keys" \
  >"$scratch/out" 2>&1 &
runner=$!
exec 3>"$scratch/keys"
wait_for_monitor
printf '\003' >&3
expect_clean_stop
echo "ok: $case_name"
exec 3>&-

case_name="SIGTERM to the demo's process group, without a terminal"
env --default-signal=INT,QUIT setsid sh "$demo" "$build_dir" </dev/null >"$scratch/out" 2>&1 &
runner=$!
wait_for_monitor
kill -TERM "-$runner"
expect_clean_stop
echo "ok: $case_name"
