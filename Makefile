# Drives both trees: build/win32 (the stub, MinGW i686) and build/host (native).
JOBS ?= $(shell nproc)
WIN32_DIR := build/win32
HOST_DIR := build/host
FUZZ_DIR := build/fuzz

.PHONY: all stub host test test-host test-win32 fuzz-smoke demo clean

all: stub host

$(WIN32_DIR)/CMakeCache.txt:
	cmake -S . -B $(WIN32_DIR) -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake -DCMAKE_BUILD_TYPE=MinSizeRel

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

fuzz-smoke:
	@if [ -f fuzz/CMakeLists.txt ]; then \
	  CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -DZELVIX_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo && \
	  cmake --build $(FUZZ_DIR) -j $(JOBS) && \
	  cd $(FUZZ_DIR) && ctest --output-on-failure; \
	fi

test: test-host test-win32 fuzz-smoke

demo: stub host
	bash tools/demo.sh

clean:
	rm -rf build
