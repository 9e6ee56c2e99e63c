# Drives both trees: build/win32 (the stub, MinGW i686) and build/host (native).
JOBS ?= $(shell nproc)
WIN32_DIR := build/win32
WIN64_DIR := build/win64
HOST_DIR := build/host
FUZZ_DIR := build/fuzz
DEB_DIR := build/deb
PREFIX ?= /usr/local

.PHONY: all stub stub-twin host test check-format test-host test-win32 test-win64-twin test-twin-where-skipped test-package fuzz-smoke install deb demo clean

all: stub host

$(WIN32_DIR)/CMakeCache.txt:
	cmake -S . -B $(WIN32_DIR) -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake -DCMAKE_BUILD_TYPE=MinSizeRel

$(WIN64_DIR)/CMakeCache.txt:
	cmake -S . -B $(WIN64_DIR) -DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-w64-mingw32.cmake -DCMAKE_BUILD_TYPE=MinSizeRel

$(HOST_DIR)/CMakeCache.txt:
	cmake -S . -B $(HOST_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELVIX_STUB_FILE=$(CURDIR)/$(WIN32_DIR)/sfx.exe

stub: $(WIN32_DIR)/CMakeCache.txt
	cmake --build $(WIN32_DIR) -j $(JOBS) --target sfx

# mksfx carries the stub inside it, so the host tree comes after the stub.
host: stub $(HOST_DIR)/CMakeCache.txt
	cmake --build $(HOST_DIR) -j $(JOBS)

test-host: host
	cd $(HOST_DIR) && ctest --output-on-failure -j $(JOBS)

test-win32: $(WIN32_DIR)/CMakeCache.txt
	cmake --build $(WIN32_DIR) -j $(JOBS)
	cd $(WIN32_DIR) && ctest --output-on-failure
	@tools/can-run-win32.sh 2>/dev/null || echo "test-win32: Wine cannot run 32-bit programs on this machine; the Wine suites above were SKIPPED, not passed (the 64-bit twin runs them in ./run test)"

# The same stub and Wine tests built for x86-64 and run under 64-bit Wine,
# for machines whose kernel cannot run 32-bit programs. Evidence about the
# code, not about the shipped i686 image. The mksfx fixtures take build/host/mksfx
# when it is built.
test-win64-twin: $(WIN64_DIR)/CMakeCache.txt
	cmake --build $(WIN64_DIR) -j $(JOBS)
	cd $(WIN64_DIR) && ctest --output-on-failure

fuzz-smoke:
	@if [ -f fuzz/CMakeLists.txt ]; then \
	  CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -DZELVIX_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo && \
	  cmake --build $(FUZZ_DIR) -j $(JOBS) && \
	  cd $(FUZZ_DIR) && ctest --output-on-failure; \
	fi

# mksfx, its manual page and the stub, under PREFIX (bin/, share/).
install: host
	cmake --install $(HOST_DIR) --prefix $(PREFIX)

# The same files as a Debian package in build/deb/. Its file times are those of
# the last commit (outside a git clone, of the changelog's newest entry), so
# the same sources give the same package, byte for byte.
SOURCE_DATE_EPOCH ?= $(shell git log -1 --format=%ct 2>/dev/null || dpkg-parsechangelog -l cmake/changelog -S Timestamp)
deb: host
	rm -rf $(DEB_DIR)
	cd $(HOST_DIR) && SOURCE_DATE_EPOCH=$(SOURCE_DATE_EPOCH) cpack -G DEB -B $(CURDIR)/$(DEB_DIR)

# Both, checked without installing anything on this machine; the package is
# built a second time to show that it comes out the same.
test-package: deb
	rm -rf build/package-check
	$(MAKE) --no-print-directory deb DEB_DIR=build/deb-again
	$(MAKE) --no-print-directory install PREFIX=$(CURDIR)/build/package-check
	SOURCE_DATE_EPOCH=$(SOURCE_DATE_EPOCH) bash tests/tools/CheckPackage.sh $(DEB_DIR)/*.deb build/deb-again/*.deb build/package-check

# Where the i686 Wine suites were skipped, the twin runs the same tests.
test-twin-where-skipped:
	@if tools/can-run-win32.sh 2>/dev/null; then \
	  echo "test: the i686 Wine suites ran; the 64-bit twin is not needed"; \
	else \
	  $(MAKE) --no-print-directory test-win64-twin; \
	fi

# Every C++ source as .clang-format lays it out; `clang-format -i` mends one.
check-format:
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

test: check-format test-host test-win32 test-twin-where-skipped test-package fuzz-smoke

# The stub's 64-bit twin alone: what the demo and the README pictures take
# where 32-bit programs cannot run.
stub-twin: $(WIN64_DIR)/CMakeCache.txt
	cmake --build $(WIN64_DIR) -j $(JOBS) --target sfx

demo: stub host
	@tools/can-run-win32.sh 2>/dev/null || $(MAKE) --no-print-directory stub-twin
	bash tools/demo.sh

clean:
	rm -rf build
