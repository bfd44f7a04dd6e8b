# Thin wrapper over CMake. `make run` and `make test` install what is missing first.
#
#   make run               build and start the demo (from the repository root, where data/ is)
#   make test              every test stage (release, sanitizers, each Windows program under
#                          Wine, the web page in headless Chromium), then one summary of them all
#   make bench             benchmarks (release build)
#   make assets            regenerate data/ with the generators in tools/
#   make fuzz SECONDS=N    run each fuzzer for N seconds under ASan+UBSan (clang)
#   make soak              five minutes of the real demo under Xvfb, watching its memory
#   make screenshot        docs/screenshot.png, as the end-to-end test sees the demo
#   make preview           docs/preview.webp, six seconds of the demo for the README
#   make windows           build-win64/glow.exe and build-win32/glow.exe, the static Windows
#                          programs (64-bit and 32-bit)
#   make dist              dist/: the Linux tarball, the two Windows zips and the web zip
#   make measure-windows   sizes, and the Windows build's frame rate under Wine beside Linux's
#   make web               build-web/: the web page (index.html, glow.js, glow.wasm, glow.data)
#   make serve-web         serves build-web/ on 127.0.0.1 and prints the address
#   make test-web          the web page's test in headless Chromium
#   make bench-web         demo_frame's CPU time and the frame rate in the page, beside Linux's
BUILD ?= build
WEB_BUILD ?= build-web
SAN_BUILD ?= build-asan
# The Windows programs: a build folder and a target triple each (toolchain cmake/<triple>.cmake,
# libraries from tools/build-deps.sh <triple>), named here only.
WIN64_BUILD ?= build-win64
WIN64_TRIPLE = x86_64-w64-mingw32
WIN32_BUILD ?= build-win32
WIN32_TRIPLE = i686-w64-mingw32
# Each test stage's CTest reports, for the closing summary of `make test`.
RESULTS = $(CURDIR)/$(BUILD)/test-results
JOBS ?= $(shell nproc)
SECONDS ?= 60
CMAKE_FLAGS ?=

# The sanitizer run: leaks inside the system's GL/X11/SDL libraries are not ours. Tests that
# start X clients load and unload those libraries, so leak checking is left to the others.
SAN_ENV = ASAN_OPTIONS=detect_stack_use_after_return=1 \
          UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
          LSAN_OPTIONS=suppressions=$(CURDIR)/tests/support/lsan.supp:print_suppressions=0

.PHONY: all deps deps-windows configure build run test test-release test-sanitize test-win64 \
        test-win32 test-windows windows dist dist-linux dist-windows measure-windows bench assets \
        fuzz soak screenshot preview clean deps-web web serve-web test-web bench-web

all: build

deps:
	@bash tools/install-deps.sh

deps-windows:
	@bash tools/install-deps.sh --windows

configure: deps
	@cmake -S . -B $(BUILD) -DGLOW_WEB_BUILD=$(CURDIR)/$(WEB_BUILD) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j$(JOBS)

# Only the demo and its libraries: the tests, benchmarks and tools wait for `make test`.
run: configure
	@cmake --build $(BUILD) -j$(JOBS) --target glow
	./$(BUILD)/glow

# Every stage, even after one fails, then one line per stage and the totals (tests/stages.sh).
test: deps-windows
	@bash tests/stages.sh "$(MAKE)" "$(RESULTS)"

test-release: build dist-linux
	@rm -rf $(RESULTS)/release && mkdir -p $(RESULTS)/release
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS) -LE 'soak|wine|web' \
	    --output-junit $(RESULTS)/release/ctest.xml

test-sanitize: deps
	@rm -rf $(RESULTS)/sanitizers && mkdir -p $(RESULTS)/sanitizers
	@cmake -S . -B $(SAN_BUILD) -DGLOW_SANITIZE=ON -DGLOW_BENCH=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(SAN_BUILD) -j$(JOBS)
	cd $(SAN_BUILD) && $(SAN_ENV) ctest --output-on-failure -j$(JOBS) -LE 'soak|x11|e2e|wine|dist' \
	    --output-junit $(RESULTS)/sanitizers/unit.xml
	cd $(SAN_BUILD) && $(SAN_ENV) ASAN_OPTIONS=detect_leaks=0:detect_stack_use_after_return=1 \
	    ctest --output-on-failure -j$(JOBS) -L 'x11|e2e' --output-junit $(RESULTS)/sanitizers/x11.xml

# Each Windows program and its tests under Wine (tests/windows/run.sh): glow.exe's format and
# imports, then the cross-compiled tests, glow.exe end to end (the zip too), and the same frame
# from both builds. The 32-bit one runs only where this kernel executes 32-bit programs.
test-win64: dist-windows
	@cmake --build $(WIN64_BUILD) -j$(JOBS)
	bash tests/windows/run.sh $(WIN64_BUILD) $(BUILD) $(JOBS) $(RESULTS)/windows-64

test-win32: dist-windows
	@cmake --build $(WIN32_BUILD) -j$(JOBS)
	bash tests/windows/run.sh $(WIN32_BUILD) $(BUILD) $(JOBS) $(RESULTS)/windows-32

test-windows: test-win64 test-win32

bench: build
	@cmake --build $(BUILD) --target run_bench

assets: build
	@cmake --build $(BUILD) --target assets

fuzz: deps
	bash fuzz/run.sh $(SECONDS)

soak: build
	cd $(BUILD) && ctest --output-on-failure -L soak

# The README's picture, taken by the end-to-end test of a windowed run.
screenshot: build
	mkdir -p docs
	GLOW_KEEP_SCREENSHOT=$(CURDIR)/docs/screenshot.png \
	    ./$(BUILD)/tests/e2e/e2e_test --gtest_filter='EndToEnd.WindowedRun*'

# The README's moving picture: six seconds from 20 s in, 320x240 at 30 fps.
preview: build
	mkdir -p docs
	./$(BUILD)/glow-capture --quiet --from 20000 --seconds 6 --fps 30 --size 320x240 \
	    docs/preview.webp

# The Windows programs: static libmpg123, libsyn123 and libpng from Debian's source packages
# (cached outside the checkout by tools/build-deps.sh), then the cross build with the triple's
# toolchain file.
define windows_build
	@deps="$$(bash tools/build-deps.sh $(2) | paste -sd';')" && \
	    cmake -S . -B $(1) -DCMAKE_TOOLCHAIN_FILE=cmake/$(2).cmake \
	        -DCMAKE_BUILD_TYPE=Release "-DGLOW_WIN32_DEPS=$$deps" $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(1) -j$(JOBS) --target glow
endef

windows: deps-windows
	$(call windows_build,$(WIN64_BUILD),$(WIN64_TRIPLE))
	$(call windows_build,$(WIN32_BUILD),$(WIN32_TRIPLE))

# Sizes, and frame rate and first-frame time under Wine beside the Linux build's.
measure-windows: dist-windows
	@cmake --build $(WIN64_BUILD) -j$(JOBS) --target wine_window_bench
	@cmake --build $(WIN32_BUILD) -j$(JOBS) --target wine_window_bench
	@cmake --build $(BUILD) -j$(JOBS) --target bench_window
	bash tools/wine-measure.sh $(BUILD) $(WIN64_BUILD) $(WIN32_BUILD)

dist: windows build web
	GLOW_WEB_BUILD=$(WEB_BUILD) bash tools/make-dist.sh $(BUILD)/glow $(WIN64_BUILD)/glow.exe $(WIN32_BUILD)/glow.exe

dist-linux: build
	bash tools/make-dist.sh $(BUILD)/glow

# The tarball and the two zips, without the web page: what the Windows tests need.
dist-windows: windows build
	bash tools/make-dist.sh $(BUILD)/glow $(WIN64_BUILD)/glow.exe $(WIN32_BUILD)/glow.exe

# The web page: static libmpg123, libsyn123, libpng and zlib for wasm from Debian's source
# packages (cached outside the checkout by tools/build-deps.sh), then emscripten's CMake build.
# emcc's JavaScript tools need Debian's node modules (acorn).
deps-web:
	@bash tools/install-deps.sh --web

web serve-web test-web bench-web: export NODE_PATH = /usr/share/nodejs
web: deps-web
	@deps="$$(bash tools/build-deps.sh wasm32-unknown-emscripten | paste -sd';')" && \
	    emcmake cmake -S . -B $(WEB_BUILD) -DCMAKE_BUILD_TYPE=Release "-DGLOW_WEB_DEPS=$$deps" \
	        $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(WEB_BUILD) -j$(JOBS)

serve-web: web
	python3 tools/serve-web.py $(WEB_BUILD)

# The page in headless Chromium (tests/web): the frames against frameshot's and glow-capture's,
# the keys, the sound, Escape and a new start.
test-web: web build
	@rm -rf $(RESULTS)/web && mkdir -p $(RESULTS)/web
	cd $(BUILD) && ctest --output-on-failure -L web --output-junit $(RESULTS)/web/ctest.xml

bench-web: web build
	@cmake --build $(BUILD) --target bench_window
	python3 bench/web/web_bench.py $(WEB_BUILD) $(BUILD)

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(WIN64_BUILD) $(WIN32_BUILD) $(WEB_BUILD) build-fuzz dist
