# Front door: installs what is missing, then drives CMake presets.
PACKAGES := libtbb-dev libboost-dev libgtest-dev libbenchmark-dev cmake ninja-build g++
JOBS ?= $(shell nproc)

.PHONY: setup configure build test sanitize-build test-sanitize test-tsan fuzz coverage install lint docs clean demo bench

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

# Only the suites that run threads; the rest gain nothing from ThreadSanitizer.
TSAN_SUITES := DbMetaManagerThreadsTest RegistryStressTest PlatformTest
test-tsan: setup
	cmake --preset tsan
	cmake --build --preset tsan -j $(JOBS) --target $(TSAN_SUITES)
	ctest --preset tsan -j $(JOBS) -L '^($(subst $(eval) ,|,$(TSAN_SUITES)))$$'

# Bounded libFuzzer run over the checked-in seeds; new finds stay in build/.
FUZZ_SECONDS ?= 60
fuzz: setup
	@tools/ensure-packages clang libclang-rt-14-dev
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS) --target MetaOperationsFuzz
	mkdir -p build/fuzz/corpus
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  build/fuzz/tests/fuzz/MetaOperationsFuzz build/fuzz/corpus tests/fuzz/corpus \
	  -max_total_time=$(FUZZ_SECONDS) -max_len=512 -print_final_stats=1 -artifact_prefix=build/fuzz/

# Line and branch coverage of the library's own sources by the whole suite.
coverage: setup
	@tools/ensure-packages gcovr
	cmake --preset coverage
	cmake --build --preset coverage -j $(JOBS)
	find build/coverage -name '*.gcda' -delete
	ctest --preset coverage -j $(JOBS)
	gcovr --root . --filter 'database/meta/' --exclude-throw-branches --exclude-unreachable-branches \
	  --print-summary build/coverage

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

# Fails on any Doxygen warning, including an undocumented member.
docs:
	@tools/ensure-packages doxygen
	mkdir -p build/docs
	rm -f build/docs/warnings.log
	TARVEX_DOCS_OUTPUT=build/docs doxygen docs/Doxyfile
	@if [ -s build/docs/warnings.log ]; then \
	  cat build/docs/warnings.log; echo "Doxygen warnings: see above"; exit 1; fi
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
