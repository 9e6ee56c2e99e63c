# The stub and the programs that test it under Wine.
enable_language(RC)

# Every function with a buffer on its stack checks a guard before it returns
# (app/StackGuard.cpp sets it up). Without frame pointers, which nothing here
# walks, the code is some 600 bytes shorter, which pays for most of the checks.
# Tables and strings keep the alignment of their type (-malign-data=abi), not
# GCC's 32 bytes for large arrays, which padded the read-only data by about 140
# bytes and nothing here reads them by cache line.
set(STUB_COMPILE_OPTIONS -Os -fno-exceptions -fno-rtti -fno-threadsafe-statics
    -fno-asynchronous-unwind-tables -ffunction-sections
    -fno-tree-loop-distribute-patterns -fstack-protector-strong -fomit-frame-pointer -malign-data=abi -Wall -Wextra)

add_library(stubcore STATIC ${CORE_SOURCES})
target_include_directories(stubcore PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_options(stubcore PRIVATE ${STUB_COMPILE_OPTIONS})
# The Wine tests link the core with the C runtime and take the stack guard
# from GCC's libssp; the stub (-nostdlib, which leaves libssp out) has its own.
target_link_options(stubcore INTERFACE -fstack-protector-strong)

# The shipped stub is i686. An x86-64 build of this tree (build/win64, the
# twin) exists so that the Wine suites run where only 64-bit Wine does; it is
# evidence about the code, not about the shipped image. It decodes as the stub
# does, with a 32-bit bit buffer and without the host's fast loop, and it is
# padded to a length of its own, so that x86-64 code, as a rule the longer,
# never meets the i686 stub's budget.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(ZELVIX_TWIN ON)
  set(STUB_ENTRY StubEntry)
  set(ZELVIX_TWIN_STUB_SIZE 49152)
  target_compile_definitions(stubcore PUBLIC ZELVIX_BIT_WORD_32 ZELVIX_STUB_SIZE=${ZELVIX_TWIN_STUB_SIZE})
  set(STUB_SIZE_ARGUMENT -DSTUB_SIZE=${ZELVIX_TWIN_STUB_SIZE})
else()
  set(ZELVIX_TWIN OFF)
  set(STUB_ENTRY _StubEntry@0)  # stdcall decoration of i686
  set(STUB_SIZE_ARGUMENT)
endif()

# The icon is drawn by our own script at build time.
set(ICON_FILE ${CMAKE_CURRENT_BINARY_DIR}/resources/MainIcon.ico)
add_custom_command(OUTPUT ${ICON_FILE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/resources
  COMMAND python3 ${PROJECT_SOURCE_DIR}/tools/MakeIcon.py ${ICON_FILE}
  DEPENDS ${PROJECT_SOURCE_DIR}/tools/MakeIcon.py)
set_source_files_properties(resources/Stub.rc PROPERTIES
  OBJECT_DEPENDS "${ICON_FILE};${PROJECT_SOURCE_DIR}/resources/ResourceIds.h;${PROJECT_SOURCE_DIR}/resources/Stub.manifest"
  COMPILE_DEFINITIONS "ZELVIX_VERSION_MAJOR=${PROJECT_VERSION_MAJOR};ZELVIX_VERSION_MINOR=${PROJECT_VERSION_MINOR};ZELVIX_VERSION_PATCH=${PROJECT_VERSION_PATCH}")

file(GLOB STUB_SOURCES CONFIGURE_DEPENDS app/*.cpp dialogs/*.cpp fsutil/*_win32.cpp archive/*_win32.cpp
  decode/*_win32.cpp)
add_executable(sfx-linked WIN32 ${STUB_SOURCES} fileio/Platform_win32.cpp resources/Stub.rc)
target_include_directories(sfx-linked PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(sfx-linked PRIVATE ${STUB_COMPILE_OPTIONS})
set_target_properties(sfx-linked PROPERTIES LINKER_LANGUAGE CXX)
target_compile_options(sfx-linked PRIVATE $<$<COMPILE_LANGUAGE:RC>:-I${CMAKE_CURRENT_BINARY_DIR}/resources>)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${CMAKE_CURRENT_BINARY_DIR}/resources -I${PROJECT_SOURCE_DIR}/resources")
# No C runtime: our own entry point, only system DLLs, libgcc for its helpers.
# ASLR and DEP are asked for explicitly rather than left to the binutils
# defaults, and the base relocations are kept so the image can move (-s strips
# symbols only). The header carries no link time, so one commit and toolchain
# always give the same stub bytes (and the same checksum). The layout of the
# sections is the stub's own (cmake/StubLayout.ld). Without -fdata-sections
# zeroed variables land in .bss, which takes no bytes of the file (MinGW's
# GCC puts each zeroed variable with a section of its own into .data$, as
# bytes).
target_link_options(sfx-linked PRIVATE -s -mwindows -nostdlib -nostartfiles
  -Wl,-e,${STUB_ENTRY} -Wl,--gc-sections
  -Wl,--dynamicbase -Wl,--nxcompat -Wl,--enable-reloc-section -Wl,--no-insert-timestamp -Wl,--tsaware
  -Wl,-T,${PROJECT_SOURCE_DIR}/cmake/StubLayout.ld)
set_target_properties(sfx-linked PROPERTIES LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/StubLayout.ld)
target_link_libraries(sfx-linked PRIVATE stubcore kernel32 user32 gdi32 shell32 gcc)

set(STUB_FILE ${CMAKE_CURRENT_BINARY_DIR}/sfx.exe)
add_custom_command(OUTPUT ${STUB_FILE}
  COMMAND ${CMAKE_COMMAND} -DINPUT=$<TARGET_FILE:sfx-linked> -DOUTPUT=${STUB_FILE} ${STUB_SIZE_ARGUMENT}
          -DSTUB_SIZE_HEADER=${PROJECT_SOURCE_DIR}/archive/StubSize.h
          -P ${PROJECT_SOURCE_DIR}/cmake/PadStub.cmake
  DEPENDS sfx-linked ${PROJECT_SOURCE_DIR}/archive/StubSize.h ${PROJECT_SOURCE_DIR}/cmake/PadStub.cmake
  VERBATIM)
add_custom_target(sfx ALL DEPENDS ${STUB_FILE})

add_subdirectory(tests/win32)
add_subdirectory(tests/win32/hardening)

# Not part of the stub: the floor that tools/time-many.sh measures it against.
add_executable(floorwriter EXCLUDE_FROM_ALL bench/FloorWriter.cpp)
target_link_options(floorwriter PRIVATE -static)
