# OP Station. `make run` builds everything and opens the panel on our
# simulated drive; `make test` builds and runs every test, once with g++ and
# once under AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer;
# `make fuzz` fuzzes the station, the reading of the drive host's answers
# and op-station-serve's reading of a page's messages for FUZZ_SECONDS each; `make package` builds the Debian package;
# `make test-windows` cross-builds everything without a window for Windows
# and runs its tests under wine, then the Linux programs on the Windows
# drive libraries that the cross build made, under wine.
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
CMAKE_FLAGS ?=
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
WINDOWS_BUILD ?= build-windows
WINDOWS_ARCHS ?= i686 x86_64
WINE_PREFIX = $(CURDIR)/$(WINDOWS_BUILD)/wine-prefix
# The native builds know where the cross builds are: their tests under wine
# (CTest label `wine`) use the Windows drive hosts and DLLs.
NATIVE_CMAKE_FLAGS = -DOPSTATION_WINDOWS_BUILD=$(CURDIR)/$(WINDOWS_BUILD)
WINDOWS_CMAKE_FLAGS = -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOPSTATION_WINEPREFIX=$(WINE_PREFIX) \
	-DOPSTATION_WINDOWS_BUILD=$(CURDIR)/$(WINDOWS_BUILD) \
	-DOPSTATION_BUILD_UI=OFF -DOPSTATION_BUILD_BENCH=OFF -DOPSTATION_BUILD_PACKAGING=OFF

# Sanitizer run: every report is fatal, leaks included; window tests draw
# offscreen. Leaks that Qt's own libraries keep until exit are suppressed by
# name in the suppression file, never by turning leak checking off.
SANITIZER_ENV = ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=1:strict_init_order=1:check_initialization_order=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/hardening/lsan.supp:print_suppressions=0 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	QT_QPA_PLATFORM=offscreen

.PHONY: all packages configure build test test-plain test-asan fuzz-build fuzz run bench screenshot package \
	windows-packages windows-build package-windows test-windows clean

all: build

packages:
	@tools/install-packages.sh

configure: packages
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(NATIVE_CMAKE_FLAGS) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD)

test: test-plain test-asan

# Without wine: the tests labelled `wine` belong to make test-windows.
test-plain: build
	@ctest --test-dir $(BUILD) --output-on-failure --timeout 600 -j 2 -LE wine

test-asan: packages
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DOPSTATION_SANITIZE=ON $(NATIVE_CMAKE_FLAGS) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(ASAN_BUILD)
	@$(SANITIZER_ENV) ctest --test-dir $(ASAN_BUILD) --output-on-failure --timeout 600 -j 2 -LE wine

# The fuzz harness with libFuzzer: a clang configuration of its own, with
# coverage instrumentation and the sanitizers on the station's code.
fuzz-build: packages
	@cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
		-DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
		-DOPSTATION_FUZZ=ON -DOPSTATION_SANITIZE=ON -DOPSTATION_BUILD_UI=OFF >/dev/null
	@cmake --build $(FUZZ_BUILD) --target station-fuzz host-answer-fuzz page-message-fuzz

# Three harnesses, FUZZ_SECONDS each: the station (new inputs go to
# $(FUZZ_BUILD)/corpus), the reading of the drive host's answers
# ($(FUZZ_BUILD)/host_corpus) and the reading of a page's messages
# ($(FUZZ_BUILD)/page_corpus). The seeds in tests/fuzz are only read. A
# failing input is left as $(FUZZ_BUILD)/crash-*.
FUZZ_RUN = cd $(FUZZ_BUILD) && mkdir -p $(2) && if $(SANITIZER_ENV) nice -n 10 bin/$(1) -max_total_time=$(FUZZ_SECONDS) \
	-timeout=10 -print_final_stats=1 $(2) $(CURDIR)/tests/fuzz/$(3) >$(1).log 2>&1; \
	then echo "$(1):"; grep -E '^(\#[0-9]+[[:space:]]+DONE|Done|stat::)' $(1).log; else tail -n 60 $(1).log; exit 1; fi

fuzz: fuzz-build
	@$(call FUZZ_RUN,station-fuzz,corpus,corpus)
	@$(call FUZZ_RUN,host-answer-fuzz,host_corpus,host_corpus)
	@$(call FUZZ_RUN,page-message-fuzz,page_corpus,page_corpus)

# Windows: one cross build per architecture in $(WINDOWS_BUILD)/<arch>, with
# cmake/mingw-<arch>.cmake, sharing the wine prefix $(WINE_PREFIX); each
# runs its tests under wine as far as this machine can run it
# (tools/test-windows.sh). Then the native build's programs run the cross
# builds' DLLs under wine (its tests labelled `wine`).
windows-packages: packages
	@tools/install-packages.sh tools/debian-packages-windows.txt

windows-build: windows-packages
	@for arch in $(WINDOWS_ARCHS); do \
		cmake -S . -B $(WINDOWS_BUILD)/$$arch -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-$$arch.cmake \
			$(WINDOWS_CMAKE_FLAGS) >/dev/null && nice cmake --build $(WINDOWS_BUILD)/$$arch || exit 1; \
	done

# One zip per architecture for Windows users, in $(WINDOWS_BUILD)/packages/;
# each holds the drive hosts of both widths, so both builds come first.
package-windows: windows-build
	@for arch in $(WINDOWS_ARCHS); do cmake --build $(WINDOWS_BUILD)/$$arch --target package >/dev/null || exit 1; done
	@ls $(WINDOWS_BUILD)/packages/*.zip

test-windows: package-windows build
	@tools/test-windows.sh $(WINE_PREFIX) $(WINDOWS_BUILD) $(WINDOWS_ARCHS)
	@tools/check-windows-zips.sh $(WINDOWS_BUILD)/packages packaging/windows $(WINDOWS_ARCHS)
	@echo "== Linux programs on Windows drive libraries, under wine"
	@ctest --test-dir $(BUILD) --output-on-failure --timeout 600 -j 2 -L wine

run: build
	@tools/run-panel.sh $(BUILD)/bin/op-station

bench: build
	@$(BUILD)/bench/op-station-bench

screenshot: build
	@cmake --build $(BUILD) --target screenshot

# The Debian package, built by CPack into $(BUILD)/packages/.
package: build
	@cmake --build $(BUILD) --target package

clean:
	@rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(WINDOWS_BUILD)
