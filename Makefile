# Thin wrapper over CMake. `make run` and `make test` install what is missing first.
#
#   make run               build and start the demo (from the repository root, where data/ is)
#   make test              build, run every test, then the whole suite again under ASan+UBSan
#   make bench             benchmarks (release build)
#   make assets            regenerate data/ with the generators in tools/
#   make fuzz SECONDS=N    run each fuzzer for N seconds under ASan+UBSan (clang)
#   make soak              five minutes of the real demo under Xvfb, watching its memory
#   make screenshot        docs/screenshot.png, as the end-to-end test sees the demo
#   make preview           docs/preview.webp, six seconds of the demo for the README
#   make windows           build-win32/glow.exe, the static 32-bit Windows program
#   make dist              dist/: the Windows zip and the Linux tarball
#   make measure-windows   sizes, and the Windows build's frame rate under Wine beside Linux's
#   make web               build-web/: the web page (index.html, glow.js, glow.wasm, glow.data)
#   make serve-web         serves build-web/ on 127.0.0.1 and prints the address
#   make test-web          the web page's test in headless Chromium
#   make bench-web         demo_frame's CPU time and the frame rate in the page, beside Linux's
BUILD ?= build
WEB_BUILD ?= build-web
WIN_BUILD ?= build-win32
SAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)
SECONDS ?= 60
CMAKE_FLAGS ?=

# The sanitizer run: leaks inside the system's GL/X11/SDL libraries are not ours. Tests that
# start X clients load and unload those libraries, so leak checking is left to the others.
SAN_ENV = ASAN_OPTIONS=detect_stack_use_after_return=1 \
          UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
          LSAN_OPTIONS=suppressions=$(CURDIR)/tests/support/lsan.supp:print_suppressions=0

.PHONY: all deps deps-windows configure build run test test-release test-sanitize test-windows \
        windows dist measure-windows bench assets fuzz soak screenshot preview clean \
        deps-web web serve-web test-web bench-web

all: build

deps:
	@bash tools/install-deps.sh

deps-windows:
	@bash tools/install-deps.sh --windows

configure: deps
	@cmake -S . -B $(BUILD) -DGLOW_WIN32_BUILD=$(CURDIR)/$(WIN_BUILD) \
	    -DGLOW_WEB_BUILD=$(CURDIR)/$(WEB_BUILD) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j$(JOBS)

# Only the demo and its libraries: the tests, benchmarks and tools wait for `make test`.
run: configure
	@cmake --build $(BUILD) -j$(JOBS) --target glow
	./$(BUILD)/glow

test: test-release test-sanitize test-windows test-web

test-release: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS) -LE 'soak|wine|web'

# The Windows build and its tests under Wine (tests/windows/run.sh): the cross-compiled unit
# tests, glow.exe end to end (the zip too), and the same frame from both builds.
test-windows: dist
	@cmake --build $(WIN_BUILD) -j$(JOBS)
	bash tests/windows/run.sh $(WIN_BUILD) $(BUILD) $(JOBS)

test-sanitize: deps
	@cmake -S . -B $(SAN_BUILD) -DGLOW_SANITIZE=ON -DGLOW_BENCH=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(SAN_BUILD) -j$(JOBS)
	cd $(SAN_BUILD) && $(SAN_ENV) ctest --output-on-failure -j$(JOBS) -LE 'soak|x11|e2e|wine'
	cd $(SAN_BUILD) && $(SAN_ENV) ASAN_OPTIONS=detect_leaks=0:detect_stack_use_after_return=1 \
	    ctest --output-on-failure -j$(JOBS) -L 'x11|e2e'

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

# The Windows build: static libmpg123, libsyn123 and libpng from Debian's source packages
# (cached under $(WIN_BUILD)/deps), then the cross build with the mingw-w64 toolchain file.
windows: deps-windows
	@deps="$$(bash tools/build-win32-deps.sh $(WIN_BUILD)/deps | paste -sd';')" && \
	    cmake -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
	        -DCMAKE_BUILD_TYPE=Release "-DGLOW_WIN32_DEPS=$$deps" $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(WIN_BUILD) -j$(JOBS) --target glow

# Sizes, and frame rate and first-frame time under Wine beside the Linux build's.
measure-windows: dist
	@cmake --build $(WIN_BUILD) -j$(JOBS) --target wine_window_bench
	@cmake --build $(BUILD) -j$(JOBS) --target bench_window
	bash tools/wine-measure.sh $(WIN_BUILD) $(BUILD)

dist: windows build web
	GLOW_WEB_BUILD=$(WEB_BUILD) bash tools/make-dist.sh $(WIN_BUILD)/glow.exe $(BUILD)/glow

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
	cd $(BUILD) && ctest --output-on-failure -L web

bench-web: web build
	@cmake --build $(BUILD) --target bench_window
	python3 bench/web/web_bench.py $(WEB_BUILD) $(BUILD)

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(WIN_BUILD) $(WEB_BUILD) build-fuzz dist
