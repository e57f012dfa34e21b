# The front doors: `make run` opens the program, `make test` runs every test.
# Both install whatever Debian packages are missing first.

BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all build deps configure test run install clean

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

# Installs under PREFIX (default /usr/local); DESTDIR works as usual.
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD_DIR) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD_DIR)
