#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# tavimor-radio as a user runs it, without root: a multiplex recording reaches the monitor through
# the run's private port 5, and closing the monitor stops everything, leaving nothing in the
# caller's /dev, /run/lock or process table; each kind of recording is told from its file; and a
# stick that is missing, busy or out of reach is explained from rtl_sdr's own messages. Runs as
# root of a user, mount and process namespace of its own, and starts tavimor-radio as user 1000
# of a namespace nested in it.
#
# Usage: radio_process_test.sh RADIO BUILD_DIR   (exit 77: skipped)
set -u

script=$(realpath -- "$0")
# shellcheck source=support/private_ports.sh
. "$(dirname "$script")/support/private_ports.sh"

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
scratch=$work/scratch
mkdir -m 777 "$scratch" "$scratch/bin"
cd "$scratch" || exit 1
failures=0
case_failures=0

# Ends a case with "ok" unless it failed.
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

# Waits up to a minute for a shell condition.
wait_for() {
  for _ in $(seq 600); do
    if eval "$1"; then return 0; fi
    sleep 0.1
  done
  return 1
}

# The processes of the run: the only others in this namespace are this test and its tools.
run_processes() {
  for proc in /proc/[0-9]*; do
    case $(readlink "$proc/exe" 2>/dev/null) in
      "$build_dir"/* | */socat | */rtl_sdr | */unshare) echo "${proc#/proc/}" ;;
    esac
  done
}

# Starts tavimor-radio as a user who is not root, with standard output and error in out.
start_radio() {
  : >"$scratch/out"
  PATH=$scratch/bin:$PATH QT_QPA_PLATFORM=offscreen \
    unshare --user --map-user=1000 --map-group=1000 "$radio" "$@" </dev/null >"$scratch/out" 2>&1 &
  radio_pid=$!
}

# Waits for tavimor-radio to end and sets status.
wait_radio() {
  wait_for "! alive $radio_pid" || kill -KILL "$radio_pid"
  status=0
  wait "$radio_pid" || status=$?
}

expect_nothing_left() {
  left=$(run_processes)
  [ -z "$left" ] || fail "processes left: $(for p in $left; do tr '\0' ' ' <"/proc/$p/cmdline"; echo; done)"
  expect_nothing_in_dev_and_run_lock
}

expect_nothing_in_dev_and_run_lock() {
  if [ -e /dev/ttyS4 ] || [ -L /dev/ttyS4 ]; then fail "/dev/ttyS4 reached the caller's /dev"; fi
  [ -z "$(ls -A /run/lock)" ] || fail "/run/lock holds $(ls -A /run/lock)"
}

case_name="a multiplex recording, stopped by closing the monitor"
"$build_dir/tests/tavimor_make_mpx_recording" "$scratch/station.flac" 20 >/dev/null
start_radio station.flac
wait_for "grep -qx ' [01] .' traffic.txt 2>/dev/null" || fail "no group reached the monitor"
# The run's port and lock stay in its own namespace, where no other run meets them.
expect_nothing_in_dev_and_run_lock
for pid in $(run_processes); do
  [ "$(readlink "/proc/$pid/exe")" = "$build_dir/tavimor" ] && kill -TERM "$pid"
done
wait_radio
[ "$status" -eq 0 ] || fail "exit status $status, not 0"
grep -qx "Stopped." "$scratch/out" || fail "no line 'Stopped.'"
expect_nothing_left
case_done

# A WAV header: CHUNKS before "fmt " (as printf escapes), then CHANNELS.
# shellcheck disable=SC2059  # the chunks are escapes for printf
wav() { printf "RIFF\\0\\0\\0\\0WAVE${1}fmt \\20\\0\\0\\0\\1\\0\\$2\\0\\200\\273\\0\\0\\0\\0\\0\\0\\4\\0\\20\\0data\\0\\0\\0\\0"; }
printf 'fLaC\0\0\0\42\20\0\20\0\0\0\0\0\0\0\13\270\2\360' >two-channels.flac
wav "" 1 >one-channel.wav
wav 'LIST\4\0\0\0INFO' 2 >two-channels.wav
head -c 4096 /dev/zero >station.cu8
printf '< recorded\nC5A3 0408 E0CD 4F52\nC5A3 ---- E0CD 4154 @2026/12/09 12:00:00.00\n' >station.txt
for row in "one-channel WAV|one-channel.wav|an FM multiplex recording" \
  "two-channel WAV after a LIST chunk|two-channels.wav|an I/Q recording" \
  "two-channel FLAC|two-channels.flac|an I/Q recording" \
  "raw 8-bit I/Q|station.cu8|a raw I/Q recording at 1024k samples a second" \
  "hex group log|station.txt|a hex group log"; do
  case_name=${row%%|*}
  file=${row#*|} && file=${file%%|*}
  start_radio "$file"
  wait_for "grep -q 'private port 5' $scratch/out || ! alive $radio_pid"
  kill -TERM "$radio_pid" 2>/dev/null
  wait_radio
  grep -qF "$file, ${row##*|}, on a private port 5" "$scratch/out" || fail "not taken as ${row##*|}"
  expect_nothing_left
  case_done
done

# rtl_sdr's messages, as Debian's prints them, from a stand-in that then ends.
for row in "no stick|No supported devices found.|no RTL-SDR stick found" \
  "no access|usb_open error -3\nPlease fix the device permissions, e.g. by installing the udev rules file rtl-sdr.rules|the plugdev group" \
  "the television driver|Detaching kernel driver failed!Failed to open rtlsdr device #0.|television (DVB) driver" \
  "another program|usb_claim_interface error -6\nFailed to open rtlsdr device #0.|the stick is busy"; do
  case_name="rtl_sdr: ${row%%|*}"
  messages=${row#*|} && messages=${messages%|*}
  printf '#!/bin/sh\nprintf "Found 1 device(s):\\n%s\\n" >&2\nexit 1\n' "$messages" >bin/rtl_sdr
  chmod 755 bin/rtl_sdr
  start_radio 94.5M
  wait_radio
  [ "$status" -eq 1 ] || fail "exit status $status, not 1"
  grep -qF "${row##*|}" "$scratch/out" || fail "no '${row##*|}'"
  expect_nothing_left
  case_done
done

# A stick pulled out while the monitor shows its station: rtl_sdr says so and ends.
case_name="rtl_sdr: the stick pulled out"
cat >bin/rtl_sdr <<EOF
#!/bin/sh
echo "Reading samples in async mode..." >&2
head -c 65536 /dev/zero
while [ ! -e "$scratch/pulled" ]; do sleep 0.1; done
echo "cb transfer status: 5, canceling..." >&2
EOF
rm -f traffic.txt
start_radio 94.5M
wait_for "[ -e traffic.txt ]" || fail "the monitor did not start"
: >pulled
wait_radio
[ "$status" -eq 1 ] || fail "exit status $status, not 1"
grep -qF "the stick stopped sending" "$scratch/out" || fail "no word of the stick"
expect_nothing_left
case_done

[ "$failures" -eq 0 ] || exit 1
echo "passed"
