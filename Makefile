# The front doors: `make run` opens the program, `make test` runs every test,
# `make bench` measures speed and memory in a Release build of its own. All
# install whatever Debian packages are missing first.

BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
BENCH_DIR ?= build-bench
BENCH_FLAGS ?=

.PHONY: all build deps configure test run install bench clean

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
	python3 bench/run-bench.py $(BENCH_DIR) $(BENCH_FLAGS)

# Installs under PREFIX (default /usr/local); DESTDIR works as usual.
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD_DIR) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD_DIR) $(BENCH_DIR)
