# SPDX-License-Identifier: GPL-3.0-or-later
# Front door over CMake: `make run` starts the monitor, `make test` runs the whole suite headless.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
# WERROR=ON turns compiler warnings into errors, as CI builds.
WERROR ?= OFF
# Ninja prints one progress line per step instead of make's directory chatter. CMake reads this
# only for a new build directory: one configured before keeps its generator.
export CMAKE_GENERATOR ?= Ninja
MAKEFLAGS += --no-print-directory

.PHONY: all deps configure build programs run demo radio test test-sanitize fuzz soak bench \
  bench-mpx bench-iq bench-scan format lint clean

all: build

deps:
	@tools/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_COMPILE_WARNING_AS_ERROR=$(WERROR)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

# The programs alone: a first run or demo need not wait for the tests to build.
programs: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target tavimor tavimor-feed tavimor-radio tavimor-radio-port

run: programs
	$(BUILD_DIR)/tavimor

# tavimor-radio's window and the monitor on a port 5 of its own, made by bubblewrap without root,
# fed by the demo station, a hex group log (LOG=file), a recorded FM multiplex signal (MPX=file),
# or an I/Q recording (IQ=file: raw 8-bit .cu8 at RATE=, default 1024k, or a two-channel WAV or
# FLAC; OFFSET=HZ starts on the station that far from its centre, else on the strongest).
# tools/demo.sh runs the build's tavimor-radio.
demo: programs
	tools/demo.sh $(BUILD_DIR) $(or $(LOG)$(MPX:%=--mpx %)$(IQ:%=--iq $(RATE:%=--rate=%) \
	  $(OFFSET:%=--offset=%) %),--demo)

# The stations of a tuner through SoapySDR, an RTL-SDR stick unless DEVICE= gives SoapySDR's
# arguments of another: make radio [FREQ=94.5M] [GAIN=DB] [PPM=N] [DEVICE=driver=rtlsdr,...].
# Without FREQ the radio scans the band; without GAIN the tuner's gain is automatic. The "--" ends
# the options, so that no FREQ is no operand rather than the demo.
radio: programs
	@tools/install-deps.sh soapysdr-module-rtlsdr
	tools/demo.sh $(BUILD_DIR) $(GAIN:%=--gain=%) $(PPM:%=--ppm=%) $(DEVICE:%=--device=%) -- \
	  $(FREQ)

# A display is checked before the packages and the build.
.PHONY: display-check
display-check:
	@tools/demo.sh --check
ifneq ($(filter demo radio run,$(MAKECMDGOALS)),)
deps: display-check
endif

# ctest marks a skipped test "***Skipped" alone; its reason, the line it printed, follows.
test: build
	cd $(BUILD_DIR) && { QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS); \
	  status=$$?; awk '/^[0-9]+\/[0-9]+ Testing: / { name = $$3 } \
	    sub(/^SKIP: /, "") { print "skipped: " name ": " $$0 }' Testing/Temporary/LastTest.log; \
	  exit $$status; }

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

# Every source file's licence line, then clang-tidy with the checks of .clang-tidy over every source
# of the build's compile database.
lint: build
	@tools/check-licence-lines.sh
	@tools/install-deps.sh clang-tidy
	run-clang-tidy -quiet -p $(BUILD_DIR) -j $(JOBS) \
	  '$(CURDIR)/(main|app|decode|dsp|mpx|fm|receiver|scan|sdr|traffic|ui|tools|tests|fuzz|bench)/?.*\.cpp$$'

clean:
	rm -rf $(BUILD_DIR)

# Reliability: the suite under AddressSanitizer and UndefinedBehaviorSanitizer, the stream fuzzer
# (clang's libFuzzer) and the long soak through a pseudo-terminal. See docs/RELIABILITY.md.
SANITIZE_BUILD_DIR ?= build-sanitize
FUZZ_BUILD_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
# traffic.txt is rewritten thousands of times a second: keep it off the disk.
FUZZ_TMPDIR ?= /dev/shm
SOAK_PACKETS ?= 1000000
SANITIZER_ENV = ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:strict_init_order=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizers/lsan.supp:print_suppressions=0

test-sanitize: deps
	cmake -S . -B $(SANITIZE_BUILD_DIR) -DCMAKE_BUILD_TYPE=Debug -DTAVIMOR_SANITIZE=ON \
	  -DCMAKE_COMPILE_WARNING_AS_ERROR=$(WERROR)
	$(SANITIZER_ENV) cmake --build $(SANITIZE_BUILD_DIR) -j $(JOBS)
	cd $(SANITIZE_BUILD_DIR) && $(SANITIZER_ENV) QT_QPA_PLATFORM=offscreen \
	  ctest --output-on-failure -j $(JOBS)

fuzz:
	@tools/install-deps.sh clang libclang-rt-14-dev
	cmake -S . -B $(FUZZ_BUILD_DIR) -DCMAKE_CXX_COMPILER=clang++ -DTAVIMOR_SANITIZE=ON \
	  -DTAVIMOR_FUZZ=ON -DBUILD_TESTING=OFF -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link
	cmake --build $(FUZZ_BUILD_DIR) -j $(JOBS) --target stream_fuzzer
	mkdir -p $(FUZZ_BUILD_DIR)/corpus $(FUZZ_BUILD_DIR)/artifacts
	TMPDIR=$(FUZZ_TMPDIR) $(FUZZ_BUILD_DIR)/fuzz/stream_fuzzer -max_total_time=$(FUZZ_SECONDS) \
	  -max_len=4096 -print_final_stats=1 -artifact_prefix=$(FUZZ_BUILD_DIR)/artifacts/ \
	  $(FUZZ_BUILD_DIR)/corpus fuzz/corpus

soak: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen TAVIMOR_SOAK_PACKETS=$(SOAK_PACKETS) \
	  tests/soak_test

# Performance: what a user pays to watch a station, the monitor against a bare Qt window on X
# servers of their own, with budgets as ratios; in-process cases on Google Benchmark first.
# Takes about two and a half minutes; exits non-zero when a budget is missed; not part of the
# test suite. The driver gives each program a private /dev/ttyS4 in a mount namespace, which
# needs root or sudo.
# See docs/PERFORMANCE.md.
BENCH_BUILD_DIR ?= build-bench
bench:
	@tools/install-deps.sh libbenchmark-dev libxcb-damage0-dev xvfb
	cmake -S . -B $(BENCH_BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVIMOR_BENCH=ON \
	  -DBUILD_TESTING=OFF
	cmake --build $(BENCH_BUILD_DIR) -j $(JOBS) --target tavimor tavimor_bench_cases \
	  tavimor_reference_window tavimor_bench_driver
	$(BENCH_BUILD_DIR)/bench/tavimor_bench_cases --benchmark_repetitions=5 \
	  --benchmark_report_aggregates_only=true \
	  --benchmark_out=$(BENCH_BUILD_DIR)/bench/cases.json --benchmark_out_format=json
	$$([ "$$(id -u)" -eq 0 ] || echo sudo) $(BENCH_BUILD_DIR)/bench/tavimor_bench_driver \
	  $(BENCH_BUILD_DIR)/tavimor $(BENCH_BUILD_DIR)/bench/tavimor_reference_window

# bench-mpx: the multiplex decoder on synthesized receptions at 171 kHz: groups recovered and
# wrong per 2,000 sent at each signal-to-noise ratio, with and without pilot, processor time per
# second of signal and the delay to a group's report. Takes about a minute.
# bench-iq: the FM receiver on synthesized 8-bit I/Q at 1.024 MS/s, beside rtl_fm's chain into
# the same decoder: groups recovered and wrong per 2,000 sent at each carrier-to-noise ratio, on a
# clean channel and with an echo 8 us late, processor time per second of I/Q and the delay to a
# group's report. Takes about a quarter of an hour.
# Each builds and runs its own program, tavimor_bench_mpx or tavimor_bench_iq. See
# docs/PERFORMANCE.md.
# bench-scan: every station of a 2.048 MS/s capture of eight at once (time to PI and name, offsets),
# the processor time by the number of stations beside a mixer and filter per station, the feeder's
# memory, and a band scan through a synthesized tuner in its own time. Takes a few minutes.
bench-mpx bench-iq bench-scan:
	@tools/install-deps.sh libbenchmark-dev libxcb-damage0-dev
	cmake -S . -B $(BENCH_BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVIMOR_BENCH=ON \
	  -DBUILD_TESTING=OFF
	cmake --build $(BENCH_BUILD_DIR) -j $(JOBS) --target tavimor_$(subst -,_,$@)
	$(BENCH_BUILD_DIR)/bench/tavimor_$(subst -,_,$@)

# The Debian package build/tavimor_<version>_<arch>.deb (CPack, with dpkg-shlibdeps), and its
# check: contents, Depends, manual pages and lintian. CI runs package-check.
.PHONY: package package-check
package: build
	@tools/install-deps.sh dpkg-dev file
	rm -f $(BUILD_DIR)/tavimor_*.deb
	cd $(BUILD_DIR) && cpack -G DEB

package-check: package
	@tools/install-deps.sh lintian man-db desktop-file-utils appstream
	tests/package_check.sh $(BUILD_DIR)/tavimor_*.deb
