include(GoogleTest)

# Warnings are errors everywhere in our own code.
add_library(quorvel_options INTERFACE)
target_compile_options(quorvel_options INTERFACE
  -Wall -Wextra -Wpedantic -Werror -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
  -Woverloaded-virtual -Wimplicit-fallthrough)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # GCC 12 reports false positives through std::variant/std::optional at -O2, and through
  # std::string concatenation at -O3 (-Wrestrict, GCC bug 105329), which breaks Release builds.
  target_compile_options(quorvel_options INTERFACE -Wno-maybe-uninitialized -Wno-restrict)
endif()

if(QUORVEL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
if(QUORVEL_FUZZ)
  # Every library carries coverage counters, so libFuzzer sees the code under test and not just
  # the harness; only the fuzz targets themselves link the engine (-fsanitize=fuzzer).
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
if(QUORVEL_COVERAGE)
  add_compile_options(--coverage -fprofile-update=atomic)
  add_link_options(--coverage)
endif()

if(QUORVEL_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# quorvel_core_library(<name> DEPENDS ...)
# One library per core subsystem, built from every .cpp in its folder. DEPENDS names what it
# may use, so a forbidden use fails to link. Subsystems not written yet are skipped.
function(quorvel_core_library name)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  set(deps)
  foreach(dep ${ARG_DEPENDS})
    if(dep MATCHES "^quorvel_" AND NOT TARGET ${dep})
      continue()
    endif()
    list(APPEND deps ${dep})
  endforeach()
  add_library(quorvel_${name} STATIC ${sources})
  target_include_directories(quorvel_${name} PUBLIC ${PROJECT_SOURCE_DIR}/core)
  target_link_libraries(quorvel_${name} PUBLIC ${deps} PRIVATE quorvel_options)
  set_property(GLOBAL APPEND PROPERTY QUORVEL_CORE_LIBRARIES quorvel_${name})
endfunction()

# quorvel_test(<name> SOURCES ... LIBS ... [LABELS ...])
function(quorvel_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} quorvel_test_support GTest::gmock GTest::gtest_main quorvel_options)
  # The environment goes in front of the command: gtest_discover_tests splits a property's list
  # value apart, so an ENVIRONMENT of more than one entry loses all but the first. Name order
  # follows the user's locale (a Korean one sorts Hangul first), so the tests state the locale
  # whose order they expect instead of taking the caller's.
  set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR
    "env;QUORVEL_SOURCE_DIR=${PROJECT_SOURCE_DIR};QUORVEL_BINARY_DIR=${PROJECT_BINARY_DIR};LC_ALL=C.UTF-8")
  set(props)
  if(ARG_LABELS)
    list(APPEND props LABELS "${ARG_LABELS}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()

# quorvel_benchmark(<name> SOURCES ... LIBS ...): a program `make bench` runs in order.
function(quorvel_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} quorvel_options)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/bench)
  set_property(GLOBAL APPEND PROPERTY QUORVEL_BENCHMARKS ${name})
endfunction()

# quorvel_fuzzer(<name> SOURCE <file> LIBS ... [DICT <dict> ...])
# With QUORVEL_FUZZ a libFuzzer binary; otherwise a replay program run by ctest over the committed corpus.
# DICT names files of fuzz/dict (without ".dict"), joined into the one dictionary the target runs with.
function(quorvel_fuzzer name)
  cmake_parse_arguments(ARG "" "SOURCE" "LIBS;DICT" ${ARGN})
  set(corpus ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${name})
  if(QUORVEL_FUZZ)
    add_executable(fuzz_${name} ${ARG_SOURCE})
    target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(fuzz_${name} PRIVATE ${ARG_LIBS} quorvel_options)
    set(dict "")
    if(ARG_DICT)
      set(dict ${PROJECT_BINARY_DIR}/fuzz-dict/${name}.dict)
      set(text "")
      foreach(part ${ARG_DICT})
        set(file ${PROJECT_SOURCE_DIR}/fuzz/dict/${part}.dict)
        file(READ ${file} content)
        string(APPEND text "${content}")
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
      endforeach()
      file(WRITE ${dict} "${text}")
    endif()
    set_property(GLOBAL APPEND PROPERTY QUORVEL_FUZZERS "fuzz_${name}|${corpus}|${dict}")
  else()
    add_executable(replay_${name} ${ARG_SOURCE} ${PROJECT_SOURCE_DIR}/fuzz/ReplayMain.cpp)
    target_link_libraries(replay_${name} PRIVATE ${ARG_LIBS} quorvel_options)
    add_test(NAME fuzz_replay.${name} COMMAND replay_${name} ${corpus})
    set_tests_properties(fuzz_replay.${name} PROPERTIES LABELS fuzz-replay)
  endif()
endfunction()

# Adds every <dir>/<sub>/CMakeLists.txt that exists, so areas can land independently.
function(quorvel_add_subdirectories)
  cmake_parse_arguments(ARG "" "" "EXCLUDE" ${ARGN})
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child ${children})
    if(child IN_LIST ARG_EXCLUDE)
      continue()
    endif()
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
