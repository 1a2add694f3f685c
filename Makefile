# The front door. `make test` and `make run` install what is missing first.
SHELL := /bin/bash
FUZZ_SECONDS ?= 600
FUZZ_TARGET ?= update_file
# Where each fuzz target's first inputs come from.
FUZZ_SEEDS_update_file = build/fuzz/tests/fuzz/update_file_seeds
FUZZ_SEEDS_device_replies = build/fuzz/tests/fuzz/update_file_seeds
FUZZ_SEEDS_signature = tests/update/signature-data

.PHONY: all deps test test-package test-native test-windows test-asan test-tsan test-tsan-only run dist fuzz bench clean

all: test

deps:
	@scripts/timed deps scripts/setup-deps

# Each step says how long it took ([time] lines).
test: deps
	$(MAKE) --no-print-directory test-native
	$(MAKE) --no-print-directory test-windows
	$(MAKE) --no-print-directory test-asan
	$(MAKE) --no-print-directory test-tsan-only
	$(MAKE) --no-print-directory test-package

test-native:
	cmake --preset debug >/dev/null
	scripts/timed "debug build" cmake --build --preset debug
	scripts/timed "debug tests" ctest --preset debug

test-windows:
	scripts/timed "Windows libraries" scripts/build-windows-deps
	cmake --preset windows >/dev/null
	scripts/timed "windows build" cmake --build --preset windows
	scripts/timed "windows tests" ctest --preset windows
	scripts/timed "installer" scripts/make-dist
	scripts/timed "installer test" bash tests/blackbox/win32-installer-e2e.sh $(CURDIR)/build/windows $(CURDIR)/tests/golden $(CURDIR) \
	    $$(ls $(CURDIR)/dist/quorix-updater-*-setup.exe | tail -n1)
	WINEPREFIX=$(CURDIR)/build/windows/wineprefix wineserver -k 2>/dev/null || true

# The Debian package from the release build: lintian, its desktop entry, MIME type,
# man pages and bash completion.
test-package:
	cmake --preset release >/dev/null
	scripts/timed "release build" cmake --build --preset release --target quorix-updater qfu-pack theme_icons
	scripts/timed "package test" scripts/test-package

test-asan:
	cmake --preset asan >/dev/null
	scripts/timed "asan build" cmake --build --preset asan
	scripts/timed "asan tests" ctest --preset asan

test-tsan: deps
	$(MAKE) --no-print-directory test-tsan-only

test-tsan-only:
	cmake --preset tsan >/dev/null
	scripts/timed "tsan build" cmake --build --preset tsan
	scripts/timed "tsan tests" ctest --preset tsan

# The demo: the release program updates the simulated device with demo.qfu, in its
# window when there is a display (it closes itself at the end), else in the terminal.
run: deps
	cmake --preset release >/dev/null
	cmake --build --preset release --target quorix-updater qfu-pack demo_qfu
	build/release/tools/qfu-pack --inspect build/release/demo.qfu
	cd build/release && ./quorix-updater --simulate=latency=2 -path:"demo.qfu" -id:"vid_1209&pid_0001"

# The Windows program as a zip with its README and licences, checked by running the
# unpacked copy under Wine; the Debian package of the release build, checked by lintian.
dist: deps
	scripts/build-windows-deps
	cmake --preset windows >/dev/null
	cmake --build --preset windows --target quorix-updater
	scripts/make-dist
	cmake --preset release >/dev/null
	cmake --build --preset release --target quorix-updater qfu-pack theme_icons
	scripts/make-deb

# Runs a fuzzer (FUZZ_TARGET: update_file, device_replies or signature) for FUZZ_SECONDS; new
# inputs stay in build/fuzz/corpus-TARGET, crashes land in build/fuzz/findings (copy
# them to tests/fuzz/findings so that every test run replays them).
fuzz: deps
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz
	mkdir -p build/fuzz/corpus-$(FUZZ_TARGET) build/fuzz/findings
	build/fuzz/tests/fuzz/fuzz_$(FUZZ_TARGET) -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -use_value_profile=1 -artifact_prefix=build/fuzz/findings/ \
	    build/fuzz/corpus-$(FUZZ_TARGET) $(FUZZ_SEEDS_$(FUZZ_TARGET))

bench: deps
	cmake --preset release >/dev/null
	cmake --build --preset release
	mkdir -p build/bench
	for b in build/release/bench/bench_*; do \
	    $$b --benchmark_out=build/bench/$$(basename $$b).json --benchmark_out_format=json || exit 1; \
	done

clean:
	rm -rf build dist
