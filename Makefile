# The two commands a newcomer needs: `make run` and `make test`. Both install what is missing.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
BIN := build/release/bin/orlix

.PHONY: all deps build run test test-release test-asan test-tsan format format-check length-check \
	layer-check \
	bench install clean fuzz fuzz-corpus

all: build

deps:
	@tools/install-deps.sh

build: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release -j $(JOBS)

run: build
	@tools/run-orlix.sh $(BIN)

test: deps test-release test-asan test-tsan

test-release:
	@cmake --preset release >/dev/null
	@cmake --build --preset release -j $(JOBS)
	@ctest --preset release -j $(JOBS)

test-asan:
	@cmake --preset asan >/dev/null
	@ASAN_OPTIONS=detect_leaks=0 cmake --build --preset asan -j $(JOBS)
	@ctest --preset asan -j $(JOBS)

# The tests that run the decoding thread, under ThreadSanitizer.
test-tsan:
	@cmake --preset tsan >/dev/null
	@cmake --build --preset tsan -j $(JOBS)
	@ctest --preset tsan -j $(JOBS)

bench: deps
	@cmake --preset bench >/dev/null
	@cmake --build --preset bench -j $(JOBS)
	@tools/run-benchmarks.sh build/bench/bin

# The libFuzzer targets, side by side, for FUZZ_SECONDS seconds (CI gives them 60).
FUZZ_SECONDS ?= 600
fuzz: deps
	@FUZZ_SECONDS=$(FUZZ_SECONDS) tools/fuzz.sh

# Writes the seed corpus afresh (fuzz/corpus) with the project's own encoders.
fuzz-corpus: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release --target orlix_fuzz_seeds -j $(JOBS)
	@rm -rf fuzz/corpus
	@QT_QPA_PLATFORM=offscreen build/release/tools/orlix_fuzz_seeds fuzz/corpus

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check: deps
	@git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

# Every source file stays under 500 lines.
length-check:
	@git ls-files '*.cpp' '*.h' | xargs wc -l | \
		awk '$$2 != "total" && $$1 >= 500 { print $$2 ": " $$1 " lines"; long = 1 } END { exit long }'

# No source includes a header of a floor above its own.
layer-check:
	@tools/check-layers.sh

install: build
	@cmake --install build/release $(if $(PREFIX),--prefix $(PREFIX),)

# build/orlix_<version>_<arch>.deb of the release build.
.PHONY: package
package: build
	@tools/build-deb.sh

clean:
	@rm -rf build
