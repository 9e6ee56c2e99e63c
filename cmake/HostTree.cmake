# The portable core built natively, with its tests, fuzzers, tools and benchmarks.
option(ZELVIX_FUZZ "Build the libFuzzer targets (needs clang)" OFF)
set(ZELVIX_STUB_FILE "${PROJECT_SOURCE_DIR}/build/win32/sfx.exe" CACHE FILEPATH
    "The built stub that mksfx carries inside it")

# Source paths in debug information and __FILE__ are relative to the
# repository's root, so that the packaged mksfx, whose build ID hashes them,
# comes out the same from a checkout anywhere.
add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=)

add_library(core STATIC ${CORE_SOURCES} fileio/Platform_posix.cpp)
target_include_directories(core PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_options(core PRIVATE -Wall -Wextra)

if(ZELVIX_FUZZ)
  add_subdirectory(fuzz)
  return()
endif()

# The core as the stub builds it, as near as the host allows (no i686 multilib
# here, and Wine may lack 32-bit support): a 32-bit bit buffer, so the careful
# symbol loop alone on the multi-level tables, -Os, no exceptions or RTTI. The
# core tests and the inflate benchmark run on it too.
add_library(core-stubconfig STATIC ${CORE_SOURCES} fileio/Platform_posix.cpp)
target_include_directories(core-stubconfig PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_definitions(core-stubconfig PUBLIC ZELVIX_BIT_WORD_32)
target_compile_options(core-stubconfig PRIVATE -Wall -Wextra -Os -fno-exceptions -fno-rtti -fno-threadsafe-statics)

find_package(GTest REQUIRED)
include(GoogleTest)

# Host tests: one file per part, under tests/<area>/, helpers in tests/support/.
file(GLOB HOST_TEST_SOURCES CONFIGURE_DEPENDS
  tests/app/*.cpp tests/archive/*.cpp tests/decode/*.cpp tests/fsutil/*.cpp tests/support/*.cpp)
# Built twice: on the host's core, and on the stub's configuration (its ctest
# names start with "stubconfig.").
find_package(ZLIB)
foreach(config "" "-stubconfig")
  add_executable(coretests${config} ${HOST_TEST_SOURCES})
  target_link_libraries(coretests${config} PRIVATE core${config} GTest::gtest_main)
  target_compile_definitions(coretests${config} PRIVATE TEST_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  if(ZLIB_FOUND)
    target_link_libraries(coretests${config} PRIVATE ZLIB::ZLIB)
  endif()
endforeach()
gtest_discover_tests(coretests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)
gtest_discover_tests(coretests-stubconfig TEST_PREFIX stubconfig. DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)

foreach(extra tools bench)
  if(EXISTS ${PROJECT_SOURCE_DIR}/${extra}/CMakeLists.txt)
    add_subdirectory(${extra})
  endif()
endforeach()
if(TARGET mksfx)
  include(cmake/Package.cmake)
endif()
