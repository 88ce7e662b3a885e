#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The built monitor as a user runs it, on a pseudo-terminal linked at /dev/ttyS4 (port 5): stopped
# by signals it exits 0, leaves traffic.txt as it was and the port free for the next start; a
# lock left by a killed monitor is taken over, or explained when the user may not remove it; a
# lock whose holder runs as another user is never called stale; start-up failures are printed
# on standard error; and without a display it says so in one line. Runs as root of a user and
# mount namespace of its own, so needs no root.
#
# Usage: monitor_process_test.sh MONITOR   (exit 77: skipped)
set -u

script=$(realpath -- "$0")
# shellcheck source=support/private_ports.sh
. "$(dirname "$script")/support/private_ports.sh"

if [ "${2:-}" != --inside ]; then
  monitor=$(realpath -- "$1")
  # Without a display: one line that names what was sought, status 1, and no abort.
  for row in "-u WAYLAND_DISPLAY|neither DISPLAY nor WAYLAND_DISPLAY is set" \
    "WAYLAND_DISPLAY=/nonexistent/compositor|reached at WAYLAND_DISPLAY=/nonexistent/compositor"; do
    # shellcheck disable=SC2086  # the row's environment change is one word
    said=$(env -u DISPLAY -u QT_QPA_PLATFORM ${row%%|*} "$monitor" 2>&1 </dev/null)
    status=$?
    if [ "$status" -ne 1 ] || [ "$(echo "$said" | wc -l)" -ne 1 ] ||
      ! echo "$said" | grep -qF "${row#*|}"; then
      echo "FAILED: without a display (${row%%|*}): status $status, said: $said"
      exit 1
    fi
  done
  require_user_namespaces
  work=$(mktemp -d "${TMPDIR:-/tmp}/tavimor-process.XXXXXX")
  chmod 755 "$work"
  mkdir "$work/dev"
  # A lock's holder that runs as another user: kill(pid, 0) in the namespace then fails with
  # EPERM. Root starts one of its own; for anyone else the system's first process is one.
  holder=""
  started_holder=""
  if [ "$(id -u)" -eq 0 ]; then
    setpriv --reuid=nobody --regid=nogroup --clear-groups sleep 600 </dev/null >/dev/null 2>&1 &
    holder=$!
    started_holder=$holder
  elif [ "$(stat -c %u /proc/1)" != "$(id -u)" ]; then
    holder=1
  fi
  # shellcheck disable=SC2317  # run by the traps
  finish() {
    if [ -n "$started_holder" ]; then kill "$started_holder" 2>/dev/null; fi
    rm -rf "$work"
  }
  trap finish EXIT
  trap 'exit 1' INT TERM HUP
  unshare --user --map-root-user --mount sh "$script" "$monitor" --inside "$work" "$holder"
  exit $?
fi

monitor=$1
work=$3
holder=$4
port=/dev/ttyS4
lock=/run/lock/LCK..ttyS4
make_private_dev_and_run "$work/dev" || { echo "FAILED: no private /dev and /run"; exit 1; }

mkdir -m 777 "$work/run"
socat_pid=""
monitor_pid=""
failures=0

cleanup() {
  if [ -n "$monitor_pid" ]; then kill -KILL "$monitor_pid" 2>/dev/null; fi
  if [ -n "$socat_pid" ]; then kill "$socat_pid" 2>/dev/null; wait "$socat_pid" 2>/dev/null; fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

# Waits up to ten seconds for a shell condition.
wait_for() {
  for _ in $(seq 100); do
    if eval "$1"; then return 0; fi
    sleep 0.1
  done
  return 1
}

status_file() {
  od -An -c "$work/run/traffic.txt" 2>/dev/null | tr -s ' '
}

open_port() {
  socat "pty,raw,echo=0,link=$port,mode=666" "pty,raw,echo=0,link=$work/receiver" &
  socat_pid=$!
  wait_for "[ -e $port ] && [ -e $work/receiver ]" || { echo "socat made no $port"; exit 1; }
}

close_port() {
  kill "$socat_pid"
  wait "$socat_pid" 2>/dev/null
  socat_pid=""
  wait_for "[ ! -e $port ]" || fail "socat left $port behind"
}

# A monitor killed outright leaves the pseudo-terminal exclusive while socat holds it open, where
# a real device would be closed with its last user; a fresh one stands in for that.
kill_monitor() {
  stop_monitor KILL
  close_port
  open_port
}

# Starts the monitor and waits until it holds the port or has failed. As "user", it runs as a
# user other than root: uid 1000 of a namespace nested in this one, without root's powers.
start_monitor() {
  : >"$work/stderr"
  if [ "${1:-}" = user ]; then
    (cd "$work/run" && QT_QPA_PLATFORM=offscreen \
      exec unshare --user --map-user=1000 --map-group=1000 "$monitor") 2>"$work/stderr" &
  else
    (cd "$work/run" && QT_QPA_PLATFORM=offscreen exec "$monitor") 2>"$work/stderr" &
  fi
  monitor_pid=$!
  wait_for "[ \"\$(head -n 1 $lock 2>/dev/null)\" = $monitor_pid ] || grep -q 'cannot start' $work/stderr"
}

# Sends the signal and returns the monitor's exit status.
stop_monitor() {
  kill -"$1" "$monitor_pid"
  wait "$monitor_pid"
  status=$?
  monitor_pid=""
  return "$status"
}

# Waits for a monitor that failed to start and checks that it ended with status 1.
expect_failed_start() {
  # Off screen there is no message box to wait for: the program ends with the failure's status.
  wait "$monitor_pid"
  status=$?
  monitor_pid=""
  [ "$status" -eq 1 ] || fail "$1: the start-up failure ended with status $status, not 1"
}

# A group 0A with TP and TA set: an announcement on air.
send_announcement() {
  printf '\000\322\303\004\020\000\000\101\102' >"$work/receiver"
}

open_port

for signal in TERM INT HUP; do
  start_monitor || { fail "$signal: the monitor did not take the port"; continue; }
  send_announcement
  wait_for "[ \"\$(status_file)\" = ' 1 \\r \\n' ]" || fail "$signal: traffic.txt shows no announcement"
  stop_monitor "$signal"
  status=$?
  [ "$status" -eq 0 ] || fail "SIG$signal: exit status $status, not 0"
  [ ! -e "$lock" ] || fail "SIG$signal: the lock $lock stays behind"
  [ "$(status_file)" = ' 1 \r \n' ] || fail "SIG$signal: traffic.txt changed to $(status_file)"
done

# Killed outright, the monitor leaves its lock; the same user's next start takes it over.
start_monitor || fail "no start before SIGKILL"
killed=$monitor_pid
kill_monitor
[ "$(head -n 1 "$lock" 2>/dev/null)" = "$killed" ] || fail "SIGKILL left no lock to take over"
start_monitor || fail "the same user could not take over the lock of a killed monitor"
if grep -q 'cannot start' "$work/stderr"; then fail "start after SIGKILL: $(cat "$work/stderr")"; fi
stop_monitor TERM || fail "the monitor that took over the lock did not stop cleanly"

# A user who may not remove the lock a killed monitor left: the message says which file, whose,
# and what to do.
start_monitor
killed=$monitor_pid
kill_monitor
chmod 555 /run/lock
rm -f "$work/run/traffic.txt"
start_monitor user
for fact in "Tavimor cannot start." "Serial port 5 ($port)" "The lock file $lock blocks the port" \
  "process $killed (tavimor)" "no longer running" "Remove it with: sudo rm $lock"; do
  grep -qF "$fact" "$work/stderr" || fail "stale lock: no '$fact' in: $(cat "$work/stderr")"
done
expect_failed_start "stale lock"
chmod 1777 /run/lock
rm -f "$lock"

# A lock that another user's running program holds, and that this user may not remove: the
# port is in use, and nothing advises removing the lock.
if [ -z "$holder" ]; then
  echo "skipped one case: no process of another user to hold a lock (not root, and process 1" \
    "is this user's own)"
else
  printf '%10d\nminicom\n' "$holder" >"$lock"
  chmod 555 /run/lock
  start_monitor user
  grep -qF "The port is in use by process $holder (minicom), which holds the lock file $lock." \
    "$work/stderr" || fail "live lock of another user: not in use by $holder: $(cat "$work/stderr")"
  if grep -qE "no longer running|Remove it" "$work/stderr"; then
    fail "live lock of another user called stale: $(cat "$work/stderr")"
  fi
  expect_failed_start "live lock of another user"
  chmod 1777 /run/lock
  rm -f "$lock"
fi

# Without a receiver at all, the error's number and description reach standard error.
close_port
start_monitor
grep -q "^Serial port 5 ($port)\$" "$work/stderr" || fail "missing port: $(cat "$work/stderr")"
grep -q "^Error [0-9][0-9]*: ..*" "$work/stderr" || fail "no error number: $(cat "$work/stderr")"
expect_failed_start "missing port"

[ "$failures" -eq 0 ] || exit 1
echo "passed"
