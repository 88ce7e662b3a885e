#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# tavimor-radio as a user runs it, without root. On a virtual display with a session bus: a raw
# I/Q recording of two stations is listed in its window, every control is named over the
# accessibility bus, the second station is chosen with the keyboard and the monitor, in
# bubblewrap, then shows its name; closing the window or Ctrl-C leaves no process, no file in
# /tmp and nothing in /dev or /run/lock. Off screen: each kind of recording is told from its
# file, bad input is named, a band is scanned and a tuner's troubles explained through the
# synthesized tuner built as a SoapySDR module, and where bubblewrap can make no namespace port 5
# is linked by the fixed helper as root while the radio and the monitor stay the user's. Runs as root of a user, mount and process namespace of its
# own, with /dev, /run and /tmp private, and starts tavimor-radio as user 1000 of a namespace
# nested in it.
#
# Usage: radio_process_test.sh RADIO BUILD_DIR   (exit 77: skipped)
set -u

script=$(realpath -- "$0")
# shellcheck source=support/private_ports.sh
. "$(dirname "$script")/support/private_ports.sh"

if [ "${3:-}" = --desktop ]; then
  # As the user: a display, then a session bus that knows it, then the radio and its reader.
  radio=$1 build_dir=$2 mode=$4 scratch=$5
  # As a desktop session has it: Qt keeps its runtime files there rather than in /tmp.
  export XDG_RUNTIME_DIR=$scratch/runtime
  rm -f "$scratch/display"
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$scratch/display" 2>/dev/null &
  xvfb=$!
  for _ in $(seq 600); do
    [ ! -s "$scratch/display" ] && kill -0 "$xvfb" 2>/dev/null || break
    sleep 0.1
  done
  DISPLAY=:$(cat "$scratch/display") QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 \
    dbus-run-session -- sh -c '
      ls -A /tmp >"$4/tmp-before"
      "$1" two.cu8 >"$4/out" 2>&1 &
      radio=$!
      /usr/bin/python3 "$2" "$3" "$radio" >"$4/desktop" 2>&1
      seen=$?
      echo $seen >"$4/desktop-status"
      # Nothing closed the window where the reader failed.
      if [ "$3" = interrupt ] || [ $seen != 0 ]; then kill -INT "$radio"; fi
      # A radio that does not end is a failure of its own, not a test that never ends.
      ( sleep 60 && kill -KILL "$radio" && echo "did not end within 60 s" >>"$4/out" ) &
      watchdog=$!
      wait "$radio"
      echo $? >"$4/status"
      kill "$watchdog" 2>/dev/null
      ls -A /tmp >"$4/tmp-after"' - "$radio" "$(dirname "$script")/support/radio_desktop.py" \
    "$mode" "$scratch" 2>/dev/null
  kill "$xvfb"
  wait "$xvfb"
  exit 0
fi

if [ "${3:-}" != --inside ]; then
  require_user_namespaces
  work=$(mktemp -d "${TMPDIR:-/tmp}/radio-process-test.XXXXXX")
  chmod 755 "$work"
  mkdir "$work/dev"
  trap 'rm -rf "$work"' EXIT
  trap 'exit 1' INT TERM HUP
  unshare --user --map-root-user --mount --pid --fork --kill-child --mount-proc \
    sh "$script" "$(realpath -- "$1")" "$(realpath -- "$2")" --inside "$work"
  exit $?
fi

radio=$1
build_dir=$2
work=$4
make_private_dev_and_run "$work/dev" || { echo "FAILED: no private /dev and /run"; exit 1; }
mount -n -t tmpfs -o mode=1777 tmpfs /tmp || { echo "FAILED: no private /tmp"; exit 1; }
scratch=/run/scratch
mkdir -m 777 "$scratch" "$scratch/bin"
cd "$scratch" || exit 1
# SoapySDR's modules only from SOAPY_SDR_PLUGIN_PATH, and no television driver holding a stick:
# the machine's own sticks stay out of the test.
export SOAPY_SDR_ROOT="$scratch/no-soapysdr"
if [ -d /sys/bus/usb/drivers ]; then mount -n -t tmpfs tmpfs /sys/bus/usb/drivers; fi
failures=0
case_failures=0

case_done() {
  [ "$failures" -gt "$case_failures" ] || echo "ok: $case_name"
  case_failures=$failures
}

fail() {
  echo "FAILED ($case_name): $*"
  sed 's/^/  | /' "$scratch/out"
  failures=$((failures + 1))
}

alive() {
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  state=${stat##*) }
  [ "${state%% *}" != Z ]
}

# Waits for a shell condition, up to a minute or the seconds given.
wait_for() {
  for _ in $(seq $((${2:-60} * 10))); do
    if eval "$1"; then return 0; fi
    sleep 0.1
  done
  return 1
}

# The processes of a run: the programs of the build, bubblewrap and the helpers.
run_processes() {
  for proc in /proc/[0-9]*; do
    case $(readlink "$proc/exe" 2>/dev/null) in
      "$build_dir"/* | */bwrap) echo "${proc#/proc/}" ;;
    esac
  done
}

as_user() { unshare --user --map-user=1000 --map-group=1000 "$@"; }

# Starts tavimor-radio off screen as a user who is not root, its output in out.
start_radio() {
  : >"$scratch/out"
  PATH=$scratch/bin:$PATH QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$scratch/runtime \
    unshare --user --map-user=1000 --map-group=1000 "$radio" "$@" </dev/null >"$scratch/out" 2>&1 &
  radio_pid=$!
}

stop_radio() {
  kill -TERM "$radio_pid" 2>/dev/null
  wait_for "! alive $radio_pid" || kill -KILL "$radio_pid"
  status=0
  wait "$radio_pid" || status=$?
}

expect_nothing_left() {
  left=$(run_processes)
  [ -z "$left" ] || fail "processes left: $(for p in $left; do tr '\0' ' ' <"/proc/$p/cmdline"; echo; done)"
  if [ -e /dev/ttyS4 ] || [ -L /dev/ttyS4 ]; then fail "/dev/ttyS4 reached the caller's /dev"; fi
  [ -z "$(ls -A /run/lock)" ] || fail "/run/lock holds $(ls -A /run/lock)"
  [ ! -e /run/tavimor-radio.pid ] || fail "the helper's marker is left"
}

"$build_dir/tests/tavimor_make_iq_recording" two.cu8 12 || exit 1
as_user mkdir -m 700 runtime
for mode in close interrupt; do
  case_name="two stations on a desktop, the second chosen by keyboard, then $mode"
  rm -f "$scratch/status" "$scratch/desktop-status"
  : >"$scratch/out"
  as_user sh "$script" "$radio" "$build_dir" --desktop "$mode" "$scratch"
  [ "$(cat "$scratch/desktop-status")" = 0 ] || fail "$(cat "$scratch/desktop")"
  [ "$(cat "$scratch/status")" = 0 ] || fail "exit status $(cat "$scratch/status"), not 0"
  grep -qx "Stopped." "$scratch/out" || fail "no line 'Stopped.'"
  diff "$scratch/tmp-before" "$scratch/tmp-after" >/dev/null ||
    fail "/tmp was left with $(diff "$scratch/tmp-before" "$scratch/tmp-after" | grep '^>')"
  expect_nothing_left
  case_done
done

"$build_dir/tests/tavimor_make_mpx_recording" one-channel.wav 1 >/dev/null
/usr/bin/python3 -c 'import wave; w = wave.open("two-channels.wav", "wb"); w.setnchannels(2); w.setsampwidth(2); w.setframerate(1024000); w.writeframes(bytes(40960)); w.close()'
head -c 4096 /dev/zero >silence.cu8
printf '< recorded\nC5A3 0408 E0CD 4F52\nC5A3 ---- E0CD 4154 @2026/12/09 12:00:00.00\n' >station.txt
printf 'a shopping list\nmilk\n' >notes.txt
for row in "one-channel WAV|one-channel.wav|an FM multiplex recording|" \
  "two-channel WAV|two-channels.wav|an I/Q recording|" \
  "raw 8-bit I/Q at another rate|silence.cu8|a raw I/Q recording at 2048k samples a second|--rate=2.048M" \
  "hex group log|station.txt|a hex group log|"; do
  case_name=${row%%|*}
  file=${row#*|} && file=${file%%|*}
  kind=${row#*|*|} && kind=${kind%%|*}
  # shellcheck disable=SC2086  # the option, if any, is one word
  start_radio ${row##*|} "$file"
  wait_for "grep -q 'port 5' $scratch/out || ! alive $radio_pid"
  stop_radio
  grep -qF "$file, $kind on a private port 5" "$scratch/out" || fail "not taken as $kind"
  expect_nothing_left
  case_done
done

# While the monitor shows a group, its port 5 and its lock are in bubblewrap, not here.
case_name="the monitor's port and lock stay in bubblewrap"
rm -f traffic.txt
start_radio station.txt
wait_for "grep -qx ' [01] .' traffic.txt 2>/dev/null" || fail "no group reached the monitor"
if [ -e /dev/ttyS4 ] || [ -L /dev/ttyS4 ]; then fail "/dev/ttyS4 reached the caller's /dev"; fi
[ -z "$(ls -A /run/lock)" ] || fail "/run/lock holds $(ls -A /run/lock)"
stop_radio
expect_nothing_left
case_done

# Bad input: a line that names the problem, status 1 (2 for bad usage), never a hang. What the
# command line shows wrong ends the radio at once; a file it cannot play is shown in the window,
# which stays until it is closed.
for row in "a missing file|missing.cu8|1|ends|missing.cu8 is neither a recording nor the frequency" \
  "a frequency out of range|120M|1|ends|120M is neither a recording nor the frequency" \
  "a text file|notes.txt|1|stays|notes.txt: is a text file without hex groups" \
  "an unknown option|--loud|2|ends|unknown option --loud"; do
  case_name=${row%%|*}
  argument=${row#*|} && argument=${argument%%|*}
  expected=${row#*|*|} && expected=${expected%%|*}
  start_radio "$argument"
  case $row in
    *"|ends|"*) wait_for "! alive $radio_pid" || fail "still runs" ;;
    *) wait_for "grep -qF '${row##*|}' $scratch/out" || fail "no line" ;;
  esac
  stop_radio
  [ "$status" -eq "$expected" ] || fail "exit status $status, not $expected"
  grep -qF "${row##*|}" "$scratch/out" || fail "no '${row##*|}'"
  expect_nothing_left
  case_done
done

# A tuner through SoapySDR: the synthesized one, built as a module, loaded as a stick's module is
# and delivering at a stick's pace. Its band is scanned; its troubles are told with their fix and
# the window stays, to try again. Without the module, SoapySDR has none for a stick.
modules="$build_dir/tests/soapy-modules"
for row in "a band scan|$modules|--device=driver=tavimor_synth|0|the band is scanned: 6 stations" \
  "no module for the stick|||1|SoapySDR has no module for RTL-SDR sticks" \
  "no access|$modules|--device=driver=tavimor_synth,noaccess=1 94.5M|1|the plugdev group" \
  "another program|$modules|--device=driver=tavimor_synth,busy=1 94.5M|1|the stick is busy" \
  "the stick pulled out|$modules|--device=driver=tavimor_synth,vanish=1|1|the stick stopped sending"; do
  case_name="the tuner: ${row%%|*}"
  export SOAPY_SDR_PLUGIN_PATH="${row#*|}" && SOAPY_SDR_PLUGIN_PATH=${SOAPY_SDR_PLUGIN_PATH%%|*}
  arguments=${row#*|*|} && arguments=${arguments%%|*}
  expected=${row#*|*|*|} && expected=${expected%%|*}
  # shellcheck disable=SC2086  # the options and the frequency are words of their own
  start_radio $arguments
  # A whole band's scan takes the sanitized build minutes.
  wait_for "grep -qF '${row##*|}' $scratch/out || ! alive $radio_pid" 300
  stop_radio
  [ "$status" -eq "$expected" ] || fail "exit status $status, not $expected"
  grep -qF "${row##*|}" "$scratch/out" || fail "no '${row##*|}'"
  expect_nothing_left
  case_done
done
unset SOAPY_SDR_PLUGIN_PATH

# Where bubblewrap can make no namespace, as in a chroot: the stand-ins refuse as bwrap does, and
# ask this test's root to run the helper as sudo would, joined to the radio through FIFOs.
case_name="no namespace: port 5 linked by the helper as root, the radio and monitor the user's"
printf '#!/bin/sh\necho "bwrap: No permissions to creating new namespace" >&2\nexit 1\n' >bin/bwrap
mkfifo sudo-request sudo-in sudo-out
cat >bin/sudo <<EOF
#!/bin/sh
printf '%s %s\n' "\$1" "\$2" >$scratch/sudo-request
cat $scratch/sudo-out &
exec cat >$scratch/sudo-in
EOF
chmod 755 bin/bwrap bin/sudo
rm -f traffic.txt
start_radio --demo
read -r helper pty <sudo-request
SUDO_UID=0 "$helper" "$pty" <sudo-in >sudo-out 2>&1 &
helper_pid=$!
wait_for "[ -s traffic.txt ] && grep -qx ' [01] .' traffic.txt" || fail "no group reached the monitor"
[ "$(readlink /dev/ttyS4)" = "$pty" ] || fail "/dev/ttyS4 does not lead to $pty"
grep -q "^$helper_pid $pty\$" /run/tavimor-radio.pid || fail "no marker naming the helper"
for pid in $(run_processes); do
  case $(readlink "/proc/$pid/exe") in
    "$build_dir/tavimor" | "$radio") as_user grep -q '^Uid:[[:space:]]*1000[[:space:]]' "/proc/$pid/status" ||
      fail "$(readlink "/proc/$pid/exe") does not run as the user" ;;
  esac
done
grep -qF "port 5 is linked in /dev as root through sudo" "$scratch/out" || fail "no word of root"
stop_radio
wait "$helper_pid"
[ "$status" -eq 0 ] || fail "exit status $status, not 0"
expect_nothing_left
case_done

# The helper itself, as root: only a pseudo-terminal of the calling user's, never over a
# /dev/ttyS4 that is there, never beside a run that holds port 5, and a killed run's link taken
# over, its marker too.
case_name="the helper links only what is its to link"
/usr/bin/python3 -c 'import os, pty, sys; m, s = pty.openpty(); print(os.ttyname(s), flush=True); sys.stdin.read()' \
  <sudo-in >pty-name &
pty_holder=$!
exec 6>sudo-in
wait_for "[ -s pty-name ]"
pty=$(cat pty-name)
helper_says() { SUDO_UID=$1 "$helper" "$pty" </dev/null >"$scratch/out" 2>&1; }
helper_says 1000 && fail "linked a pseudo-terminal of another user's"
grep -q "not a pseudo-terminal of the calling user" "$scratch/out" || fail "no word of its owner"
: >/dev/ttyS4
helper_says 0 && fail "linked over an existing /dev/ttyS4"
[ -f /dev/ttyS4 ] && [ ! -L /dev/ttyS4 ] || fail "an existing /dev/ttyS4 was touched"
rm /dev/ttyS4
ln -s "$pty" /dev/ttyS4
echo "99999 $pty" >/run/tavimor-radio.pid
helper_says 0 && grep -qx ready "$scratch/out" || fail "a killed run's link was not taken over"
mkfifo hold
SUDO_UID=0 "$helper" "$pty" <hold >"$scratch/first" 2>&1 &
first=$!
exec 7>hold
wait_for "grep -q ready $scratch/first" || fail "no port for the first run"
helper_says 0 && fail "a second run met the first one's port 5"
grep -q "another tavimor-radio uses port 5" "$scratch/out" || fail "no word of the other run"
exec 6>&- 7>&-
wait "$first" "$pty_holder"
expect_nothing_left
case_done

[ "$failures" -eq 0 ] || exit 1
echo "passed"
