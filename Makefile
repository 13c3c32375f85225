# Set-up, build and test on Debian 12. Every target installs the Debian packages it needs first.
#   make run    build the program optimised and start it
#   make test   build with sanitizers and run the whole test suite
#   make bench  build the optimised benchmarks into build/release/
.PHONY: run test bench deps build-debug build-release clean

PACKAGES := build-essential cmake ninja-build pkg-config ccache libicu-dev zlib1g-dev \
            libgtest-dev libgmock-dev libbenchmark-dev qt6-base-dev libgl-dev
BENCH_PACKAGES := grep ugrep ripgrep
JOBS ?= $(shell nproc)

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
	cmake -S . -B build/debug -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSCRYLINE_SANITIZE=ON
	cmake --build build/debug -j $(JOBS)

build-release: deps
	cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DSCRYLINE_TESTS=OFF -DSCRYLINE_BENCH=ON
	cmake --build build/release -j $(JOBS)

test: build-debug
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir build/debug --output-on-failure -j $(JOBS)

run: build-release
	./build/release/app/Scryline

bench: build-release
	$(call install_missing,$(BENCH_PACKAGES))

clean:
	rm -rf build
