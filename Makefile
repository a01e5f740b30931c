# Front door: checks the prerequisites, then drives the CMake presets.
# `make help` lists the targets.
LIBRARY_PACKAGES := cmake ninja-build g++ libtbb-dev libboost-dev
# The sample storage layer under the demo and its benchmark.
EXAMPLE_PACKAGES := libsqlite3-dev
TEST_PACKAGES := libgtest-dev sqlite3
BENCH_PACKAGES := libbenchmark-dev
WINDOWS_PACKAGES := g++-mingw-w64-x86-64-posix wine64 dpkg-dev
PACKAGES := $(LIBRARY_PACKAGES) $(EXAMPLE_PACKAGES) $(TEST_PACKAGES) $(BENCH_PACKAGES)
JOBS ?= $(shell nproc)
# Extra arguments for the demo, e.g. make demo ARGS="--threads=8 --requests=10000"
ARGS ?=
# Each benchmark runs this often, in shuffled order; the ratios use the medians.
BENCH_REPEAT ?= --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true \
  --benchmark_display_aggregates_only=true

.PHONY: help setup configure build build-tests test check sanitize-build test-sanitize test-tsan fuzz coverage \
  install lint docs clean demo bench test-windows test-clang check-lean

help:
	@echo "Targets (each first checks its prerequisites, see tools/ensure-packages):"
	@echo "  make demo [ARGS=...]   build and run tarvex-demo (ARGS: --threads=N --requests=M --trace)"
	@echo "  make build             build everything (library, tests, demo, benchmarks)"
	@echo "  make test              build what the tests need, then run them (under 2 min on 2 cores)"
	@echo "  make check             make test, the benchmark's build, the other package layouts"
	@echo "                         and the kit's compile-time refusals (ctest label check)"
	@echo "  make install PREFIX=.. build and install the libraries, headers and package files"
	@echo "                         (STATIC=1: static libraries; DESTDIR=..: staged); needs no test packages"
	@echo "  make check-abi         compare the libraries' ABI with the baseline in abi/"
	@echo "  make update-abi        write the ABI baseline anew (see VERSIONING.md)"
	@echo "  make check-abi-selftest  break each library in a scratch copy, expect check-abi to fail"
	@echo "  make test-sanitize     every test under ASan, UBSan and LSan"
	@echo "  make test-tsan         the thread suites (ctest label tsan) under ThreadSanitizer"
	@echo "  make fuzz              bounded libFuzzer run (clang; FUZZ_SECONDS=60)"
	@echo "  make coverage          line and branch coverage of database/meta (gcovr), fails below 97 %"
	@echo "  make bench [ARGS=...]  Release benchmarks (preset bench, the store's too), medians of 5 shuffled runs;"
	@echo "                         ARGS e.g. --strict or --benchmark_filter=Cycle/"
	@echo "  make test-windows      Windows x86_64 DLLs (mingw-w64), every test run under Wine"
	@echo "  make test-clang        everything built with Clang, every test"
	@echo "  make check-lean        configure without tests and benchmarks, GoogleTest and Google Benchmark hidden"
	@echo "  make lint              clang-format and clang-tidy in check mode"
	@echo "  make docs              API reference (Doxygen) in build/docs/html"
	@echo "  make clean             remove build/"

setup:
	@tools/ensure-packages $(PACKAGES)

configure: setup
	cmake --preset default

build: configure
	cmake --build --preset default -j $(JOBS) --target all tarvex-bench tarvex-store-bench

# Everything but the benchmark, a tool and no test.
build-tests: configure
	cmake --build --preset default -j $(JOBS)

test: build-tests
	ctest --preset default -j $(JOBS)

# The benchmark's build, and the tests labelled check: the package layouts
# that build Tarvex anew or differently (static, subproject, FetchContent,
# Release beside Debug), the version rules, the build tree as a package, and
# the kit's compile-time refusals. Verbose: each says what it is building.
check: test
	cmake --build --preset default -j $(JOBS) --target tarvex-bench tarvex-store-bench
	ctest --preset check -j $(JOBS)

sanitize-build: setup
	cmake --preset sanitize
	cmake --build --preset sanitize -j $(JOBS)

# The kit's compile-time refusals run nothing a sanitizer could watch: they
# are left to make check (tests/CMakeLists.txt leaves them out here).
test-sanitize: sanitize-build
	ctest --preset sanitize -j $(JOBS)

# The suites labelled tsan; the rest gain nothing from ThreadSanitizer.
test-tsan: setup
	cmake --preset tsan
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan -j $(JOBS)

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

# Line and branch coverage of the library's own sources by the suites that
# run them (ctest label coverage); fails below either bar. docs/coverage.md
# lists every branch not taken and says what is left out and why:
# - ExportedInlines.cpp only makes the library export its headers' inline
#   members; its table of calls is never run, by design.
# - COVERAGE_NOISE: code lines without a condition of their own (no if, loop,
#   switch, ?:, && or ||) whose branches are all the compiler's: a
#   function-local static's initialisation guard, a new-expression's cleanup,
#   the null test of a delete, the temporaries of a report text.
# The report per line: build/coverage/html/index.html. The preset counts
# atomically through -pthread, which the compiler cache takes (it refuses
# -fprofile-update=atomic).
COVERAGE_BAR ?= 97
COVERAGE_NOISE := (?!\s*//|.*(\b(if|for|while|switch)\b|\?|&&|\|\|))(\s*static\s|.*([=(]\s*new\b|\bdelete(\[\])?\s+[\w(]|\bcomposeText\())
coverage: setup
	@tools/ensure-packages gcovr
	cmake --preset coverage
	cmake --build --preset coverage -j $(JOBS)
	find build/coverage -name '*.gcda' -delete
	ctest --preset coverage -j $(JOBS)
	mkdir -p build/coverage/html
	gcovr --root . --filter 'database/meta/' --exclude 'database/meta/ExportedInlines\.cpp' \
	  --exclude-throw-branches --exclude-unreachable-branches \
	  --exclude-branches-by-pattern '$(COVERAGE_NOISE)' -j $(JOBS) \
	  --branches --txt --html-details build/coverage/html/index.html --print-summary \
	  --fail-under-line $(COVERAGE_BAR) --fail-under-branch $(COVERAGE_BAR) \
	  build/coverage/database/meta

# make install PREFIX=/opt/tarvex: the libraries and package files only, from
# a build of its own that looks for neither GoogleTest nor Google Benchmark.
# STATIC=1 installs static libraries instead; DESTDIR=... stages the install.
# The prefix is given when configuring, so that the directories follow from
# it (/usr: the multiarch library directory).
PREFIX ?= /usr/local
STATIC ?=
install:
	@tools/ensure-packages $(LIBRARY_PACKAGES)
	cmake -S . -B build/install -G Ninja --no-warn-unused-cli -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_INSTALL_PREFIX=$(PREFIX) \
	  -DTARVEX_BUILD_TESTS=OFF -DTARVEX_BUILD_EXAMPLES=OFF -DTARVEX_BUILD_BENCHMARKS=OFF \
	  -DTARVEX_BUILD_SHARED=$(if $(STATIC),OFF,ON)
	cmake --build build/install -j $(JOBS)
	cmake --install build/install

FORMAT_SOURCES = $(shell git ls-files '*.h' '*.cpp')
TIDY_SOURCES = $(shell git ls-files 'database/*.cpp' 'platform/*.cpp' 'examples/*.cpp')
lint: build
	@tools/ensure-packages clang-format clang-tidy clang
	clang-format --style=file --dry-run --Werror $(FORMAT_SOURCES)
	@# One clang-tidy per core: it is the slowest step of CI, and a source
	@# whose preprocessed text passed before is not checked again.
	tools/lint-tidy build/default $(JOBS) $(TIDY_SOURCES)

# Fails on any Doxygen warning, including an undocumented member.
docs:
	@tools/ensure-packages doxygen
	mkdir -p build/docs
	rm -f build/docs/warnings.log
	TARVEX_DOCS_OUTPUT=build/docs doxygen docs/Doxyfile
	@if [ -s build/docs/warnings.log ]; then \
	  cat build/docs/warnings.log; echo "Doxygen warnings: see above"; exit 1; fi
	@echo "API reference: build/docs/html/index.html"

# Only the demo and what it links.
demo: configure
	cmake --build --preset default -j $(JOBS) --target tarvex-demo
	build/default/examples/tarvex-demo $(ARGS)

bench: setup
	cmake --preset bench
	cmake --build --preset bench -j $(JOBS)
	build/bench/bench/tarvex-bench $(BENCH_REPEAT) $(ARGS)
	build/bench/bench/tarvex-store-bench $(BENCH_REPEAT) $(ARGS)

# Cross build for Windows against oneTBB and GoogleTest built for it
# (tools/windows-deps, kept in build/windows-deps), tests run under Wine.
# The kit's compile-time refusals are left to the native compilers (not
# defined here): the cross compiler is the same GCC, and takes minutes over them.
test-windows: setup
	@tools/ensure-packages $(WINDOWS_PACKAGES)
	tools/windows-deps $(JOBS)
	cmake --preset windows
	cmake --build --preset windows -j $(JOBS)
	@# Wine now and then loses a program at its start, before it printed
	@# anything: a failing test runs once more.
	ctest --preset windows -j $(JOBS) --repeat until-pass:2

# With Clang, one consumer checks that the installed package serves a Clang
# consumer (C++17 and 20, CMake and pkg-config); the other layouts and ways
# in do not depend on the compiler and are left to make check, as is the
# benchmark, which is a tool and no test.
test-clang: setup
	@tools/ensure-packages clang
	cmake --preset clang
	cmake --build --preset clang -j $(JOBS)
	ctest --preset clang -j $(JOBS)

# A user who wants only the library needs neither GoogleTest nor Google Benchmark.
check-lean:
	@tools/ensure-packages $(LIBRARY_PACKAGES) $(EXAMPLE_PACKAGES)
	cmake -S . -B build/lean -G Ninja --no-warn-unused-cli -DTARVEX_BUILD_TESTS=OFF -DTARVEX_BUILD_BENCHMARKS=OFF \
	  -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON \
	  -DCMAKE_COMPILE_WARNING_AS_ERROR=ON

clean:
	rm -rf build

# The ABI of the five libraries against the baseline in abi/ (VERSIONING.md).
.PHONY: check-abi update-abi check-abi-selftest
check-abi:
	@tools/ensure-packages $(LIBRARY_PACKAGES) abigail-tools
	JOBS=$(JOBS) tools/abi check
# Breaks each library in a scratch copy and expects check-abi to fail.
check-abi-selftest:
	@tools/ensure-packages $(LIBRARY_PACKAGES) abigail-tools
	JOBS=$(JOBS) tools/abi-selftest
update-abi:
	@tools/ensure-packages $(LIBRARY_PACKAGES) abigail-tools
	JOBS=$(JOBS) tools/abi update
