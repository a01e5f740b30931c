# Front door: installs what is missing, then drives CMake presets.
PACKAGES := libtbb-dev libboost-dev libgtest-dev libbenchmark-dev cmake ninja-build g++
JOBS ?= $(shell nproc)

.PHONY: setup configure build test sanitize-build test-sanitize install lint docs clean demo bench

setup:
	@tools/ensure-packages $(PACKAGES)

configure: setup
	cmake --preset default

build: configure
	cmake --build --preset default -j $(JOBS)

test: build
	ctest --preset default -j $(JOBS)

sanitize-build: setup
	cmake --preset sanitize
	cmake --build --preset sanitize -j $(JOBS)

test-sanitize: sanitize-build
	ctest --preset sanitize -j $(JOBS)

# make install PREFIX=/opt/tarvex
PREFIX ?= /usr/local
install: build
	cmake --install build/default --prefix $(PREFIX)

FORMAT_SOURCES = $(shell git ls-files '*.h' '*.cpp')
TIDY_SOURCES = $(shell git ls-files 'database/*.cpp' 'platform/*.cpp' 'examples/*.cpp')
lint: build
	@tools/ensure-packages clang-format clang-tidy
	clang-format --style=file --dry-run --Werror $(FORMAT_SOURCES)
	clang-tidy -p build/default --quiet $(TIDY_SOURCES)

docs:
	@tools/ensure-packages doxygen
	mkdir -p build/docs
	TARVEX_DOCS_OUTPUT=build/docs doxygen docs/Doxyfile
	@echo "API reference: build/docs/html/index.html"

demo: build
	build/default/examples/tarvex-demo

# Release build of its own; not part of `make test` (too slow and noisy).
bench: setup
	cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARVEX_BUILD_TESTS=OFF
	cmake --build build/bench -j $(JOBS) --target tarvex-bench
	build/bench/bench/tarvex-bench

clean:
	rm -rf build
