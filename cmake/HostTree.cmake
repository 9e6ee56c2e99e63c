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

find_package(GTest REQUIRED)
include(GoogleTest)

# Host tests: one file per part, under tests/<area>/, helpers in tests/support/.
file(GLOB HOST_TEST_SOURCES CONFIGURE_DEPENDS
  tests/app/*.cpp tests/archive/*.cpp tests/decode/*.cpp tests/fsutil/*.cpp tests/support/*.cpp)
add_executable(coretests ${HOST_TEST_SOURCES})
target_link_libraries(coretests PRIVATE core GTest::gtest_main)
target_compile_definitions(coretests PRIVATE TEST_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
find_package(ZLIB)
if(ZLIB_FOUND)
  target_link_libraries(coretests PRIVATE ZLIB::ZLIB)
endif()
gtest_discover_tests(coretests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)

foreach(extra tools bench)
  if(EXISTS ${PROJECT_SOURCE_DIR}/${extra}/CMakeLists.txt)
    add_subdirectory(${extra})
  endif()
endforeach()
if(TARGET mksfx)
  include(cmake/Package.cmake)
endif()
