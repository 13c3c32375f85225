# Set-up, build and test on Debian 12. Every target installs the Debian packages it needs first.
#   make run    build the program optimised and start it
#   make test   build with sanitizers and run the whole test suite
#   make bench  build the optimised benchmarks into build/release/
#   make fuzz   build the fuzz targets with clang and libFuzzer into build/fuzz/ and fuzz each one for
#               FUZZ_SECONDS (FUZZ_TARGETS: only these)
#   make check  what CI checks besides the tests: formatting, the naming of variables and fields
#               (clang-tidy), no shadowing (clang -Wshadow), a warnings-as-errors build of the optimised tree
#               and a short fuzz run of every target (CHECK_FUZZ_SECONDS each, default 3)
#   make format formats every source with clang-format
#   make tidy-check  the naming check alone
#   make shadow-check  the shadowing check alone (clang -Wshadow over the non-test sources, syntax only)
# DEBUG_INFO sets the debug information of the test build (-g; CI takes -g1, line tables only).
.PHONY: run test bench fuzz deps build-debug build-release clean check format format-check werror tidy-check \
        tidy-deps shadow-check

PACKAGES := build-essential cmake ninja-build pkg-config ccache libicu-dev zlib1g-dev \
            libgtest-dev libgmock-dev libbenchmark-dev qt6-base-dev libgl-dev \
            libarchive-dev libunarr-dev libmspack-dev libgs-dev poppler-utils locales-all
BENCH_PACKAGES := grep ugrep ripgrep
JOBS ?= $(shell nproc)
DEBUG_INFO ?= -g

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

# Installs what is missing; asks apt only when something is.
define install_missing
	@missing=$$(for p in $(1); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing:" $$missing; \
	  $(SUDO) apt-get update && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y $$missing; \
	fi
endef

deps:
	$(call install_missing,$(PACKAGES))

build-debug: deps
	cmake -S . -B build/debug -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSCRYLINE_SANITIZE=ON \
	  -DCMAKE_CXX_FLAGS_DEBUG="$(DEBUG_INFO)" -DCMAKE_C_FLAGS_DEBUG="$(DEBUG_INFO)"
	cmake --build build/debug -j $(JOBS)

build-release: deps
	cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DSCRYLINE_TESTS=OFF -DSCRYLINE_BENCH=ON
	cmake --build build/release -j $(JOBS)

test: build-debug
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir build/debug --output-on-failure -j $(JOBS)

run: build-release
	./build/release/bin/Scryline

bench: build-release
	$(call install_missing,$(BENCH_PACKAGES))

# ---- Fuzzing with clang (14, Debian's default; FUZZ_CLANG=16 works as well). The plug-in modules link the
# ---- shared sanitizer runtime, since a module cannot carry the static one.
FUZZ_CLANG ?= 14
FUZZ_PACKAGES := clang-$(FUZZ_CLANG) libclang-rt-$(FUZZ_CLANG)-dev
FUZZ_SECONDS ?= 30
FUZZ_TARGETS ?=

fuzz: deps
	$(call install_missing,$(FUZZ_PACKAGES))
	CC=clang-$(FUZZ_CLANG) CXX=clang++-$(FUZZ_CLANG) cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DSCRYLINE_SANITIZE=ON -DSCRYLINE_GUI=OFF -DSCRYLINE_FUZZ=ON \
	  -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
	  -DCMAKE_MODULE_LINKER_FLAGS=-shared-libsan
	cmake --build build/fuzz --target fuzz_targets -j $(JOBS)
	tests/fuzz/run_fuzz.sh build/fuzz $(FUZZ_SECONDS) $(FUZZ_TARGETS)

# ---- Checks a reviewer would make (CI runs them after the tests; see .ci/run).
LINT_PACKAGES := clang-format-14
TIDY_PACKAGES := clang-tidy-14
SHADOW_PACKAGES := clang-14
TIDY_FOLDERS := app|archive|bench|core|platform|plugins|search|server|tests|viewer
SOURCES = $(shell git ls-files '*.cpp' '*.h')

format:
	$(call install_missing,$(LINT_PACKAGES))
	clang-format-14 -i $(SOURCES)

format-check:
	$(call install_missing,$(LINT_PACKAGES))
	clang-format-14 --dry-run --Werror $(SOURCES)

werror: deps
	cmake -S . -B build/werror -G Ninja -DCMAKE_BUILD_TYPE=Release -DSCRYLINE_TESTS=OFF -DSCRYLINE_BENCH=ON \
	  -DSCRYLINE_WERROR=ON
	cmake --build build/werror -j $(JOBS)

tidy-deps:
	$(call install_missing,$(TIDY_PACKAGES))

# clang-tidy reads a compile database of every source (tests and benchmarks too) from a tree that is only
# configured, never built; .clang-tidy holds the naming rules.
tidy-check: deps tidy-deps
	cmake -S . -B build/tidy -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSCRYLINE_BENCH=ON > /dev/null
	run-clang-tidy-14 -p build/tidy -quiet -j $(JOBS) '^$(CURDIR)/($(TIDY_FOLDERS))/'

# No local or parameter may hide a field or another local (clang's -Wshadow, as errors): every non-test source
# of a compile database of its own (the naming check may still be reading build/tidy's beside it), syntax only,
# in parallel. A constructor parameter that only initialises its field is not reported by -Wshadow.
shadow-check: deps tidy-deps
	$(call install_missing,$(SHADOW_PACKAGES))
	cmake -S . -B build/shadow -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSCRYLINE_BENCH=ON > /dev/null
	.ci/shadow_check.py build/shadow $(CURDIR) $(JOBS)

check: format-check tidy-check shadow-check werror
	$(MAKE) fuzz FUZZ_SECONDS=$${CHECK_FUZZ_SECONDS:-3}

clean:
	rm -rf build
