# Shared build helpers: warnings, sanitizers, third-party imports and the
# one-line target helpers every folder uses.

find_package(Threads REQUIRED)
find_package(ZLIB REQUIRED)
find_package(OpenSSL 3 REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(LUA REQUIRED IMPORTED_TARGET lua5.4)
pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
pkg_check_modules(VORBIS REQUIRED IMPORTED_TARGET vorbisfile vorbisenc)
pkg_check_modules(THEORA REQUIRED IMPORTED_TARGET theoradec theoraenc)
pkg_check_modules(SQLITE REQUIRED IMPORTED_TARGET sqlite3)
pkg_check_modules(PQ REQUIRED IMPORTED_TARGET libpq)
pkg_check_modules(NATS REQUIRED IMPORTED_TARGET libnats)
pkg_check_modules(SODIUM REQUIRED IMPORTED_TARGET libsodium)
pkg_check_modules(RSVG REQUIRED IMPORTED_TARGET librsvg-2.0 cairo)
pkg_check_modules(FREETYPE REQUIRED IMPORTED_TARGET freetype2)

add_library(vorlane_options INTERFACE)
target_include_directories(vorlane_options INTERFACE ${CMAKE_SOURCE_DIR})
target_compile_options(vorlane_options INTERFACE -Wall -Wextra)
if(VORLANE_WERROR)
  target_compile_options(vorlane_options INTERFACE -Werror)
endif()

if(VORLANE_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(VORLANE_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT VORLANE_SANITIZE STREQUAL "")
  message(FATAL_ERROR "VORLANE_SANITIZE must be empty, 'address' or 'thread'")
endif()

if(VORLANE_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "VORLANE_FUZZ needs clang (CXX=clang++)")
  endif()
  # Every library is instrumented for coverage; the fuzz executables add the driver.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# vorlane_library(NAME [SUBDIRS dir...]): a static library from every .cpp in the
# calling folder (and the named subfolders). New files join on the next configure.
function(vorlane_library name)
  cmake_parse_arguments(ARG "" "" "SUBDIRS" ${ARGN})
  set(patterns ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(sub ${ARG_SUBDIRS})
    list(APPEND patterns ${CMAKE_CURRENT_SOURCE_DIR}/${sub}/*.cpp)
  endforeach()
  file(GLOB sources CONFIGURE_DEPENDS ${patterns})
  add_library(${name} STATIC ${sources})
  target_link_libraries(${name} PUBLIC vorlane_options)
endfunction()

# vorlane_test(AREA LIBS...): one GoogleTest executable test_AREA from every .cpp
# in tests/AREA, each test case registered with CTest.
function(vorlane_test area)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  # tests/test_main.cpp sets the environment (headless SDL, source and build
  # folders) so a test runs the same by hand and under CTest; the helpers all
  # areas share come from tests/support (vorlane_test_support).
  add_executable(test_${area} ${sources} ${CMAKE_SOURCE_DIR}/tests/test_main.cpp)
  target_compile_definitions(test_${area} PRIVATE
    VORLANE_TEST_SOURCE_DIR="${CMAKE_SOURCE_DIR}" VORLANE_TEST_BINARY_DIR="${CMAKE_BINARY_DIR}")
  target_link_libraries(test_${area} PRIVATE ${ARGN} vorlane_test_support GTest::gtest GTest::gmock
                        vorlane_options)
  gtest_discover_tests(test_${area}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60)
endfunction()

# vorlane_fuzz(NAME SOURCE LIBS...): a libFuzzer executable fuzz_NAME.
function(vorlane_fuzz name source)
  add_executable(fuzz_${name} ${source})
  target_link_libraries(fuzz_${name} PRIVATE ${ARGN} vorlane_options)
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
endfunction()

# vorlane_bench(NAME SOURCE LIBS...): a Google Benchmark executable bench_NAME,
# also run by CTest in a short smoke mode.
function(vorlane_bench name source)
  add_executable(bench_${name} ${source})
  target_link_libraries(bench_${name} PRIVATE ${ARGN} benchmark::benchmark vorlane_options)
  if(VORLANE_TESTS)
    add_test(NAME bench_smoke.${name} COMMAND bench_${name} --benchmark_min_time=0.001
             WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    set_tests_properties(bench_smoke.${name} PROPERTIES LABELS bench
      ENVIRONMENT "SDL_VIDEODRIVER=dummy;SDL_AUDIODRIVER=dummy;VORLANE_SOURCE_DIR=${CMAKE_SOURCE_DIR};VORLANE_BINARY_DIR=${CMAKE_BINARY_DIR};VORLANE_BENCH_SMOKE=1")
  endif()
endfunction()
