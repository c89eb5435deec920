# Quick start: `make run` builds and starts the editor, `make test` builds and runs every test headless.
JOBS ?= $(shell nproc)

.PHONY: run test deps debug release bench docs clean

deps:
	@scripts/install-deps

release: deps
	@cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOLBEX_TESTS=OFF >/dev/null
	@cmake --build build/release -j $(JOBS)

debug: deps
	@cmake -S . -B build/debug -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTOLBEX_SANITIZE=ON >/dev/null
	@cmake --build build/debug -j $(JOBS)

run: release
	./build/release/tolbex $(ARGS)

test: debug
	@cd build/debug && TOLBEX_HEADLESS=1 ctest --output-on-failure -j $(JOBS)

bench: release
	./build/release/tolbex-bench

# The guide's pictures, made by the editor itself from docs/scripts/.
docs: release
	docs/scripts/make-docs.sh docs/images build/release/tolbex build/release/tolbex-cli

clean:
	rm -rf build
