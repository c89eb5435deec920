# Quick start: `make run` builds and starts the editor, `make test` builds and runs every test headless.
JOBS ?= $(shell nproc)

.PHONY: run test deps debug release bench docs clean fuzz fuzz-long fuzz-build tsan install uninstall package package-check

deps:
	@scripts/install-deps

release: deps
	@cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOLBEX_TESTS=OFF >/dev/null
	@cmake --build build/release -j $(JOBS)

# The test build keeps line tables only (-g1): sanitizer reports still name file and line, and
# the compile is a fifth faster. A tree for the debugger: cmake by hand (see the README).
debug: deps
	@cmake -S . -B build/debug -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DTOLBEX_SANITIZE=ON >/dev/null
	@cmake --build build/debug -j $(JOBS)

run: release
	./build/release/tolbex $(ARGS)

# Twice as many tests as cores at a time: a good part of the tests waits on the programs they
# start and on files, and a core idles through it (on 2 cores shared with other builds the run
# took 176 s at two, 149 s at four).
TEST_JOBS ?= $(shell echo $$(( $(JOBS) * 2 )))
test: debug
	@cd build/debug && TOLBEX_HEADLESS=1 ctest --output-on-failure -j $(TEST_JOBS)

# The GL renderer's cases once more in a process of their own with llvmpipe on one thread (it
# reads LP_NUM_THREADS when the process makes its first context).
bench: release
	./build/release/tolbex-bench
	LP_NUM_THREADS=0 ./build/release/tolbex-bench --benchmark_filter='BM_RenderFrame/bpp:[0-9]+/gl:1'

# The threaded parts under ThreadSanitizer, in a tree of their own (not in CI: the build alone
# takes longer than the rest of the tests): the worker pool, the log written from several
# threads, the rasteriser's bands, whole pictures drawn on several threads by tolbex-cli, and
# the editor's recovery files with the autosave thread (the editor itself built with TSan; a
# race ends it with TSan's exit code, which fails the test).
TSAN_TESTS ?= WorkPool.*:LogToFile.*:ZBuffer.*:CliRender.*:Recovery.*
TSAN_SUITES ?= test_base test_render test_e2e
tsan: deps
	@cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
		-DTOLBEX_TSAN=ON -DTOLBEX_BENCH=OFF >/dev/null
	@cmake --build build/tsan -j $(JOBS) --target $(TSAN_SUITES)
	cd build/tsan/tests && for t in $(TSAN_SUITES); do \
		TOLBEX_HEADLESS=1 TSAN_OPTIONS="halt_on_error=1 exitcode=66" ./$$t --gtest_filter='$(TSAN_TESTS)' || exit 1; done

# The loaders' libFuzzer harnesses (tests/fuzz/), built with clang in a tree of their own.
# `make fuzz` runs each for FUZZ_SECONDS on a scratch copy of its seeds, as many side by side
# as there are cores; `make fuzz-long` keeps the grown corpus in build/fuzz/corpus/ (FUZZ_JOBS
# processes a harness, FUZZ_RUNS executions at most per process, logs in FUZZ_LOGS).
FUZZ_SECONDS ?= 5
FUZZ_JOBS ?= 1
FUZZ_RUNS ?= 0
FUZZ_LOGS ?= build/fuzz/logs
FUZZ_NAMES ?=

fuzz-build:
	@scripts/install-deps fuzz
	@cmake -S . -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DTOLBEX_FUZZ=ON \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" >/dev/null
	@cmake --build build/fuzz -j $(JOBS)

fuzz: fuzz-build
	@tests/fuzz/run-fuzzers.sh --parallel $(JOBS) --logs $(FUZZ_LOGS) build/fuzz $(FUZZ_SECONDS) $(FUZZ_NAMES)

fuzz-long: fuzz-build
	@tests/fuzz/run-fuzzers.sh --keep --jobs $(FUZZ_JOBS) --runs $(FUZZ_RUNS) --logs $(FUZZ_LOGS) \
		build/fuzz $(FUZZ_SECONDS) $(FUZZ_NAMES)

# The guide's pictures, made by the editor itself from docs/scripts/.
docs: release
	docs/scripts/make-docs.sh docs/images build/release/tolbex build/release/tolbex-cli

# Installing from the release tree: PREFIX (default /usr/local) and DESTDIR (a staging root,
# as packagers use) as the GNU conventions have them. `make uninstall` removes what the last
# `make install` of this tree wrote (its manifest), and the folders it leaves empty.
PREFIX ?= /usr/local
DESTDIR ?=

install: release
	@DESTDIR="$(DESTDIR)" cmake --install build/release --prefix "$(PREFIX)"
	@scripts/refresh-desktop "$(DESTDIR)$(PREFIX)"

uninstall:
	@DESTDIR="$(DESTDIR)" scripts/uninstall build/release/install_manifest.txt "$(PREFIX)"
	@scripts/refresh-desktop "$(DESTDIR)$(PREFIX)"

# The Debian package, in build/release: tolbex_VERSION_ARCH.deb.
package: release
	@cd build/release && cpack -G DEB >/dev/null && ls "$$PWD"/tolbex_*.deb

# Builds the package, unpacks it into a scratch root and checks what it installs: the file
# list, the programs, the manual pages, the desktop entry and the file types.
package-check: package
	@scripts/install-deps package
	@scripts/package-check.sh build/release

clean:
	rm -rf build
