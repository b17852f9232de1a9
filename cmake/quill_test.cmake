# Test, benchmark and stand-in helpers.
#
# quill_add_test(<area> SOURCES src... [LIBS lib...] [TIMEOUT seconds])
#   One GoogleTest console executable test_<area> from the sources plus tests/common/test_main.cpp,
#   registered with one add_test (no per-case discovery), run by CTest through the Wine emulator in a
#   working folder of its own inside the build tree (build/test-work/<area>), TIMEOUT 300 by default.
#
# quill_add_bench(<name> SOURCES src... [LIBS lib...])
#   A console executable bench_<name>, built with everything else but not registered as a test.
#
# quill_register_standin(<target>)
#   Lists a stand-in DLL target to be registered (regsvr32) in the Wine prefixes of the run and test
#   scripts; quill_write_standin_list() writes the list at the end of the top-level CMakeLists.

set(QUILL_TEST_MAIN ${CMAKE_CURRENT_LIST_DIR}/../tests/common/test_main.cpp)
# Test code is compiled for compile speed: the code under test keeps the build's optimisation.
set(QUILL_TEST_OPTIMISE -O0 CACHE STRING "Optimisation flag of test sources")
set(QUILL_TEST_WORK_DIR ${PROJECT_BINARY_DIR}/test-work)

option(QUILL_TEST_PCH "Precompile the headers that tests share" ON)
if(QUILL_TEST_PCH)
  # One precompiled header for every test executable (same flags as theirs).
  add_library(quill_test_pch STATIC ${CMAKE_CURRENT_LIST_DIR}/../tests/common/test_pch.cpp)
  target_include_directories(quill_test_pch PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests/common)
  target_link_libraries(quill_test_pch PRIVATE GTest::gtest GTest::gmock)
  target_compile_options(quill_test_pch PRIVATE ${QUILL_TEST_OPTIMISE})
  target_precompile_headers(quill_test_pch PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../tests/common/test_pch.h)
endif()

# quill_rc_depends(<rc file>...)
#   windres reports no dependencies: a resource script is compiled again whenever any of the program's
#   resource scripts, their id headers or the files they name change.
file(GLOB QUILL_RESOURCE_INPUTS CONFIGURE_DEPENDS
     ${PROJECT_SOURCE_DIR}/settings/*.rc ${PROJECT_SOURCE_DIR}/settings/*_ids.h
     ${PROJECT_SOURCE_DIR}/widgets/*/*.rc ${PROJECT_SOURCE_DIR}/widgets/*/*_ids.h ${PROJECT_SOURCE_DIR}/widgets/*/res/*
     ${PROJECT_SOURCE_DIR}/ui/*.rc ${PROJECT_SOURCE_DIR}/ui/*_ids.h
     ${PROJECT_SOURCE_DIR}/app/*.rc ${PROJECT_SOURCE_DIR}/app/*.wav ${PROJECT_SOURCE_DIR}/app/res/*)
function(quill_rc_depends)
  foreach(rc IN LISTS ARGN)
    get_source_file_property(deps ${rc} OBJECT_DEPENDS)
    if(NOT deps)
      set(deps)
    endif()
    list(APPEND deps ${QUILL_RESOURCE_INPUTS})
    set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${deps}")
  endforeach()
endfunction()

function(quill_add_test area)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "TIMEOUT" "SOURCES;LIBS")
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "quill_add_test(${area}): no SOURCES")
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set(target test_${area})
  add_executable(${target} ${ARG_SOURCES} ${QUILL_TEST_MAIN})
  foreach(src IN LISTS ARG_SOURCES)
    if(src MATCHES "\\.rc$")
      quill_rc_depends(${src})
    endif()
  endforeach()
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/common)
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock)
  target_compile_options(${target} PRIVATE ${QUILL_TEST_OPTIMISE})
  if(QUILL_TEST_PCH)
    target_precompile_headers(${target} REUSE_FROM quill_test_pch)
  endif()
  if(QUILL_RUN_TESTS)
    set(work ${QUILL_TEST_WORK_DIR}/${area})
    file(MAKE_DIRECTORY ${work})
    add_test(NAME ${target} COMMAND ${target} WORKING_DIRECTORY ${work})
    # A Wine process that dies mid-run (a stack overflow) can end with exit code 0: a run counts
    # only when GoogleTest's closing line says it passed, and never with a failed test.
    # The program is told its time: before CTest would kill it, it says which test it was in.
    set_tests_properties(${target} PROPERTIES TIMEOUT ${ARG_TIMEOUT}
                         ENVIRONMENT "QUILL_TEST_TIMEOUT=${ARG_TIMEOUT}"
                         PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] [0-9]+ tests?\\."
                         FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]")
  endif()
endfunction()

function(quill_add_bench name)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "SOURCES;LIBS")
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "quill_add_bench(${name}): no SOURCES")
  endif()
  add_executable(bench_${name} ${ARG_SOURCES})
  target_link_libraries(bench_${name} PRIVATE ${ARG_LIBS})
endfunction()

function(quill_register_standin target)
  set_property(GLOBAL APPEND PROPERTY QUILL_STANDIN_DLLS "$<TARGET_FILE:${target}>")
endfunction()

function(quill_write_standin_list file)
  get_property(dlls GLOBAL PROPERTY QUILL_STANDIN_DLLS)
  if(dlls)
    file(GENERATE OUTPUT ${file} CONTENT "$<JOIN:${dlls},\n>\n")
  else()
    file(GENERATE OUTPUT ${file} CONTENT "")
  endif()
endfunction()
