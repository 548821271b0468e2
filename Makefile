# Thin wrapper over CMake + Ninja.
#   make run            install what is missing, build (Release), start build/lumivex
#   make test           install what is missing, build, run every test through CTest, two at a time
#   make test SANITIZE=1  the same under AddressSanitizer + UndefinedBehaviorSanitizer
#   make test-device    build, then run the program against the kernel's virtual camera in QEMU
#   make soak           the camera-fault soak of the device tests, the long version
#   make bench          build (Release) and run the benchmarks
#   make fuzz           build the libFuzzer targets with clang and run them briefly
#   make screenshot     build, run the program on a test pattern under Xvfb, retake docs/screenshot.png

BUILD_TYPE ?= Release
SANITIZE ?= 0
WERROR ?= 0
FUZZ_RUNS ?= 200000
SOAK_ROUNDS ?= 6

ifeq ($(SANITIZE),1)
BUILD_DIR ?= build-sanitize
BUILD_TYPE := Debug
# Every program of the sanitizer build that make starts (the tests, the end-to-end runs of the
# program under CTest, CTest's listing of the tests while building, make run) reads these. The
# slow unwinder sees through GLib, which keeps no frame pointers, to the one GLib allocation that
# tests/sanitizer/lsan.supp explains; eight frames reach it.
export ASAN_OPTIONS = fast_unwind_on_malloc=0:malloc_context_size=8
export LSAN_OPTIONS = suppressions=$(CURDIR)/tests/sanitizer/lsan.supp
else
BUILD_DIR ?= build
endif

CMAKE_FLAGS = -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) \
              -DLUMIVEX_SANITIZE=$(SANITIZE) -DLUMIVEX_WERROR=$(WERROR) \
              -DCMAKE_EXPORT_COMPILE_COMMANDS=ON

.PHONY: all deps configure build run test test-device soak bench fuzz screenshot format clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR)

run: build
	cd $(BUILD_DIR) && ./lumivex

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure --timeout 600 -j2

test-device:
	@scripts/install-deps.sh --device
	@$(MAKE) --no-print-directory build
	@tests/device/run.sh $(BUILD_DIR)

# The soak alone, long: every camera fault six times over (about 15 minutes of capture run).
soak:
	@scripts/install-deps.sh --device
	@$(MAKE) --no-print-directory build
	@ONLY_UDEV=1 UDEV_CASES=soak SOAK_ROUNDS=$(SOAK_ROUNDS) tests/device/run.sh $(BUILD_DIR)

bench:
	@scripts/install-deps.sh --bench
	@$(MAKE) --no-print-directory build
	@scripts/run-bench.sh $(BUILD_DIR)

fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DLUMIVEX_FUZZ=ON >/dev/null
	@cmake --build build-fuzz --target fuzz_convert fuzz_ini fuzz_protocol fuzz_video
	@scripts/run-fuzz.sh build-fuzz $(FUZZ_RUNS)

screenshot:
	@scripts/install-deps.sh --screenshot
	@$(MAKE) --no-print-directory build
	@scripts/screenshot.sh $(BUILD_DIR)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-sanitize build-fuzz
