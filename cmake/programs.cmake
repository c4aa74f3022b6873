# Programs built from the module's logic and platform layer with recording
# stand-ins for the host's services and the sound service: the tests, the
# benchmarks and the fuzz targets.

# What they share: the stand-ins, the literal reading of the trigger's rule
# and the sample server lines.
add_library(tollwick_test_support STATIC
  ${PROJECT_SOURCE_DIR}/tests/stubs/recorder.cpp
  ${PROJECT_SOURCE_DIR}/tests/support/literal_reading.cpp
  ${PROJECT_SOURCE_DIR}/tests/support/sample_lines.cpp)
target_include_directories(tollwick_test_support PUBLIC ${PROJECT_SOURCE_DIR})

# tollwick_program(NAME [PLAIN_READING] SOURCE...): such a program; with
# PLAIN_READING its trigger reads lines byte by byte.
function(tollwick_program name)
  cmake_parse_arguments(PARSE_ARGV 1 arg PLAIN_READING "" "")
  set(logic tollwick_logic)
  if(arg_PLAIN_READING)
    set(logic tollwick_logic_plain)
  endif()
  add_executable(${name} ${arg_UNPARSED_ARGUMENTS}
    $<TARGET_OBJECTS:${logic}> $<TARGET_OBJECTS:tollwick_platform>)
  target_link_libraries(${name} PRIVATE tollwick_test_support)
  if(WIN32)
    # The fixed texts come from the string table of the program that holds them.
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/resources/Tollwick.rc)
  endif()
  # GCC 12 reports false overlaps in std::string concatenation (its bug 105329).
  target_compile_options(${name} PRIVATE $<$<CXX_COMPILER_ID:GNU>:-Wno-restrict>)
endfunction()

# tollwick_test(PROGRAM TEST [PLAIN_READING] SOURCE...): such a program with
# GoogleTest, run by CTest as TEST.
function(tollwick_test program test)
  tollwick_program(${program} ${ARGN})
  target_link_libraries(${program} PRIVATE GTest::gtest GTest::gtest_main)
  add_test(NAME ${test} COMMAND ${program})
endfunction()
