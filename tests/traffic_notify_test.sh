#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# tavimor-traffic-notify against a real traffic.txt in a scratch directory, with a stand-in for
# the notification service that records the summary of every notification it is given.
#
# Usage: traffic_notify_test.sh SCRIPT VERSION
set -u

script=$1
version=$2
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
watched="$root/traffic dir"
export NOTIFICATIONS="$root/notifications"
export TAVIMOR_NOTIFY_COMMAND="'$root/record'"
cat >"$root/record" <<'EOF'
#!/bin/sh
if [ $# -eq 2 ]; then echo "$1"; else echo "called with $# arguments"; fi >>"$NOTIFICATIONS"
EOF
chmod +x "$root/record"
failures=0

fail() {
  echo "FAIL $case_name: $*" >&2
  failures=$((failures + 1))
}

# Runs a command until it succeeds, for at most ten seconds.
eventually() {
  tries=200
  until "$@"; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || return 1
    sleep 0.05
  done
}

has_lines() { [ "$(wc -l <"$NOTIFICATIONS")" -ge "$1" ]; }
has_ended() { ! kill -0 "$pid" 2>/dev/null; }
# The directory goes to grep on its standard input, so that grep does not find itself.
# shellcheck disable=SC2062  # a glob over /proc, not a pattern
nothing_watches() { ! grep -qsF -f - /proc/[0-9]*/cmdline <<EOF
$watched
EOF
}

write_state() {
  case $1 in
    on) printf ' 1 \r\n' ;;
    off) printf ' 0 \r\n' ;;
    unknown) printf '?\r\n' ;;
    empty) ;;
  esac >"$2"
}

# A step is an action, followed by "=start" or "=end" when it must give that notification.
act() {
  action=${1%%=*}
  case $action in
    none) ;;
    remove) rm -f "$watched/traffic.txt" ;;
    replace-*)
      write_state "${action#replace-}" "$watched/.new"
      mv "$watched/.new" "$watched/traffic.txt"
      ;;
    *) write_state "$action" "$watched/traffic.txt" ;;
  esac
}

expect() {
  case $1 in
    *=start) expected="${expected}Traffic announcement
" ;;
    *=end) expected="${expected}Traffic announcement ended
" ;;
    *) sleep 0.3; return ;;  # gives a wrong notification time to show before the next one
  esac
  eventually has_lines "$(printf %s "$expected" | wc -l)" || fail "no notification after $1"
  [ "$(cat "$NOTIFICATIONS")" = "${expected%?}" ] ||
    fail "after $1 expected [$expected], got [$(cat "$NOTIFICATIONS")]"
}

run_case() {
  case_name=$1
  expected=""
  rm -rf "$watched" && mkdir "$watched" && : >"$NOTIFICATIONS"
  act "$2"
  env --default-signal=INT "$script" "$watched" 2>"$root/stderr" &
  pid=$!
  eventually grep -qs "watching" "$root/stderr" || fail "never watching: $(cat "$root/stderr")"
  expect "$2"
  for step in $3; do
    act "$step"
    expect "$step"
  done
  kill -s "$4" "$pid"
  eventually has_ended || { fail "still running after SIG$4"; kill -s KILL "$pid"; }
  wait "$pid" || fail "exit status $? after SIG$4"
  eventually nothing_watches || fail "inotifywait left running after SIG$4"
}

# Each case: its name, the file before the watcher starts, the steps once it watches, and the
# signal that stops it.
run_case start_and_end_once_each off "on=start on off=end off" TERM
run_case on_air_at_start on=start "off=end" INT
run_case unknown_or_missing_keeps_state none \
  "unknown on=start unknown empty remove on off=end" TERM
run_case replaced_or_recreated_is_followed off \
  "replace-on=start remove replace-off=end replace-on=start" TERM

case_name=version
[ "$("$script" --version)" = "tavimor-traffic-notify $version" ] || fail "$("$script" --version)"
case_name=missing_inotifywait
mkdir "$root/empty"
message=$(PATH="$root/empty" "$script" "$watched" 2>&1)
status=$?
case "$status $message" in "1 "*inotify-tools*) ;; *) fail "status $status: $message" ;; esac

[ "$failures" -eq 0 ] || exit 1
echo "traffic_notify_test: all passed"
