# The front doors: `make run` opens the program, `make test` runs every test,
# `make check` runs them all again under AddressSanitizer and
# UndefinedBehaviorSanitizer and then each fuzzer for a while, `make fuzz` runs
# the fuzzers for longer, `make bench` measures speed and memory in a Release
# build of its own, `make deb` builds the Debian package. All install whatever
# Debian packages are missing first.

BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
SANITIZE_DIR ?= build-asan
THREAD_SANITIZE_DIR ?= build-tsan
FUZZ_DIR ?= build-fuzz
CHECK_FUZZ_SECONDS ?= 20
FUZZ_SECONDS ?= 60
BENCH_DIR ?= build-bench
DEB_DIR ?= build-deb
BENCH_FLAGS ?=
# The last commit of the single-pass engine: make bench measures the pipeline
# against it, built from that commit into $(BENCH_DIR)/baseline.
BENCH_BASELINE ?= c781137

.PHONY: all build deps configure test run install deb bench check thread-check fuzz fuzz-build clean

all: build

deps:
	@scripts/install-deps

configure:
	@test -f $(BUILD_DIR)/CMakeCache.txt || \
		cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: deps
	@$(MAKE) --no-print-directory build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

run: deps
	@$(MAKE) --no-print-directory build
	@if [ -x $(BUILD_DIR)/bin/morvaleth ]; then \
		exec $(BUILD_DIR)/bin/morvaleth; \
	else \
		$(BUILD_DIR)/bin/morvaleth-compose examples/letter-utf8.txt -o $(BUILD_DIR)/letter.bmp --real && \
		echo "composed $(BUILD_DIR)/letter.bmp"; \
	fi

bench: deps
	@test -f $(BENCH_DIR)/CMakeCache.txt || \
		cmake -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release -DMORVALETH_BUILD_BENCH=ON \
			-DMORVALETH_BUILD_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build $(BENCH_DIR) -j $(JOBS) --target morvaleth-bench
	@if [ ! -x $(BENCH_DIR)/baseline/bin/morvaleth-compose ]; then \
		rm -rf $(BENCH_DIR)/baseline-src && mkdir -p $(BENCH_DIR)/baseline-src && \
		git archive $(BENCH_BASELINE) | tar -x -C $(BENCH_DIR)/baseline-src && \
		cmake -S $(BENCH_DIR)/baseline-src -B $(BENCH_DIR)/baseline -DCMAKE_BUILD_TYPE=Release \
			-DMORVALETH_BUILD_TESTS=OFF -DMORVALETH_BUILD_UI=OFF && \
		cmake --build $(BENCH_DIR)/baseline -j $(JOBS) --target morvaleth-compose; \
	fi
	python3 bench/run-bench.py $(BENCH_DIR) $(BENCH_FLAGS)

# Installs under PREFIX (default /usr/local); DESTDIR works as usual.
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD_DIR) --prefix $(PREFIX)

# morvaleth_<version>_<arch>.deb in this folder, from a Release build of its
# own under /usr, with Debian's hardening flags; `sudo apt install ./morvaleth_*.deb`
# installs it with what it depends on.
DEB_FLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get
deb: deps
	@test -f $(DEB_DIR)/CMakeCache.txt || \
		CFLAGS="$$($(DEB_FLAGS) CFLAGS) $$($(DEB_FLAGS) CPPFLAGS)" \
		CXXFLAGS="$$($(DEB_FLAGS) CXXFLAGS) $$($(DEB_FLAGS) CPPFLAGS)" \
		LDFLAGS="$$($(DEB_FLAGS) LDFLAGS)" \
		cmake -S . -B $(DEB_DIR) -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
			-DMORVALETH_BUILD_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build $(DEB_DIR) -j $(JOBS)
	cd $(DEB_DIR) && cpack -G DEB -B package
	cp $(DEB_DIR)/package/morvaleth_*.deb .
	@ls morvaleth_*.deb

check: deps
	@$(MAKE) --no-print-directory build BUILD_DIR=$(SANITIZE_DIR) CMAKE_FLAGS=-DMORVALETH_SANITIZE=ON
	ctest --test-dir $(SANITIZE_DIR) --output-on-failure -j $(JOBS)
	@$(MAKE) --no-print-directory thread-check
	@$(MAKE) --no-print-directory fuzz-build
	scripts/run-fuzzers $(FUZZ_DIR) $(CHECK_FUZZ_SECONDS)

fuzz: deps
	@$(MAKE) --no-print-directory fuzz-build
	scripts/run-fuzzers $(FUZZ_DIR) $(FUZZ_SECONDS)

# The engine's suites under ThreadSanitizer, which watches the render threads
# paint while the plan goes on. Only the engine's: the driver's suites cap the
# memory a child may map, and a ThreadSanitizer program cannot start in that.
THREAD_CHECKED = compose identity vertical
thread-check:
	@test -f $(THREAD_SANITIZE_DIR)/CMakeCache.txt || \
		cmake -S . -B $(THREAD_SANITIZE_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) \
			-DMORVALETH_THREAD_SANITIZER=ON -DMORVALETH_BUILD_UI=OFF
	cmake --build $(THREAD_SANITIZE_DIR) -j $(JOBS) $(THREAD_CHECKED:%=--target composer_%_test)
	set -e; for suite in $(THREAD_CHECKED); do \
		$(THREAD_SANITIZE_DIR)/tests/composer/composer_$${suite}_test --gtest_brief=1; done

# libFuzzer needs clang; the engine is built by it here too.
fuzz-build:
	@test -f $(FUZZ_DIR)/CMakeCache.txt || \
		CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) \
			-DMORVALETH_BUILD_FUZZERS=ON -DMORVALETH_BUILD_UI=OFF
	cmake --build $(FUZZ_DIR) -j $(JOBS)

clean:
	rm -rf $(BUILD_DIR) $(BENCH_DIR) $(SANITIZE_DIR) $(THREAD_SANITIZE_DIR) $(FUZZ_DIR) $(DEB_DIR)
