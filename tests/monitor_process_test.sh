#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The built monitor as a user runs it, on a pseudo-terminal linked at /dev/ttyS4 (port 5): stopped
# by signals it exits 0, leaves traffic.txt as it was and the port free for the next start; a
# lock left by a killed monitor is taken over, or explained when it belongs to someone else; and
# start-up failures are printed on standard error. Needs root, for the link in /dev and for a
# second user.
#
# Usage: monitor_process_test.sh MONITOR
set -u

monitor=$1
port=/dev/ttyS4
lock=/run/lock/LCK..ttyS4
skip=77

[ "$(id -u)" -eq 0 ] || { echo "skipped: needs root for $port"; exit "$skip"; }
if [ -e "$port" ] || [ -L "$port" ]; then echo "skipped: $port exists"; exit "$skip"; fi
if [ -e "$lock" ]; then echo "skipped: $lock exists"; exit "$skip"; fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tavimor-process.XXXXXX")
chmod 755 "$work"
mkdir -m 777 "$work/run"
socat_pid=""
monitor_pid=""
failures=0

cleanup() {
  if [ -n "$monitor_pid" ]; then kill -KILL "$monitor_pid" 2>/dev/null; fi
  if [ -n "$socat_pid" ]; then kill "$socat_pid" 2>/dev/null; wait "$socat_pid" 2>/dev/null; fi
  rm -f "$lock"
  if [ -L "$port" ]; then rm -f "$port"; fi
  rm -rf "$work"
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

# Starts the monitor, as the given user if any, and waits until it holds the port or has failed.
start_monitor() {
  : >"$work/stderr"
  chmod 666 "$work/stderr"
  if [ $# -gt 0 ]; then
    (cd "$work/run" && HOME="$work/run" QT_QPA_PLATFORM=offscreen \
      exec setpriv --reuid="$1" --regid=nogroup --clear-groups "$monitor") 2>"$work/stderr" &
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
stop_monitor KILL
[ "$(head -n 1 "$lock" 2>/dev/null)" = "$killed" ] || fail "SIGKILL left no lock to take over"
start_monitor || fail "the same user could not take over the lock of a killed monitor"
if grep -q 'cannot start' "$work/stderr"; then fail "start after SIGKILL: $(cat "$work/stderr")"; fi
stop_monitor TERM || fail "the monitor that took over the lock did not stop cleanly"

# Another user cannot remove root's lock: the message says which file, whose, and what to do.
start_monitor
killed=$monitor_pid
stop_monitor KILL
rm -f "$work/run/traffic.txt"
start_monitor nobody
for fact in "Tavimor cannot start." "Serial port 5 ($port)" "The lock file $lock blocks the port" \
  "process $killed (tavimor)" "no longer running" "Remove it with: sudo rm $lock"; do
  grep -qF "$fact" "$work/stderr" || fail "stale lock of another user: no '$fact' in: $(cat "$work/stderr")"
done
# Off screen there is no message box to wait for: the program ends with the failure's status.
wait "$monitor_pid"
status=$?
monitor_pid=""
[ "$status" -eq 1 ] || fail "a start-up failure ended with status $status, not 1"
rm -f "$lock"

# Without a receiver at all, the error's number and description reach standard error.
kill "$socat_pid"
wait "$socat_pid" 2>/dev/null
socat_pid=""
wait_for "[ ! -e $port ]" || fail "socat left $port behind"
start_monitor
grep -q "^Serial port 5 ($port)\$" "$work/stderr" || fail "missing port: $(cat "$work/stderr")"
grep -q "^Error [0-9][0-9]*: ..*" "$work/stderr" || fail "no error number: $(cat "$work/stderr")"
wait "$monitor_pid"
status=$?
monitor_pid=""
[ "$status" -eq 1 ] || fail "the missing port ended the program with status $status, not 1"

[ "$failures" -eq 0 ] || exit 1
echo "passed"
