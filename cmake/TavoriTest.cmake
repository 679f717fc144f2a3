include(GoogleTest)

# tavori_add_test(name SOURCES a.cpp ... LIBS lib ... [OWN_MAIN]): one GoogleTest executable registered with CTest.
# OWN_MAIN leaves out GoogleTest's main() for tests that bring their own (the recognition tests re-execute
# themselves first, see TavoriKit/reading/OcrProcess.h).
function(tavori_add_test name)
  cmake_parse_arguments(ARG "OWN_MAIN" "" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_SOURCES)
    set(ARG_SOURCES ${name}.cpp)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_OWN_MAIN)
    set(main_lib "")
  else()
    set(main_lib GTest::gtest_main)
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock ${main_lib} tavori_test_fonts tavori_warnings)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT "TAVORI_SHARED_DATA=${CMAKE_SOURCE_DIR}/../shared/data")
endfunction()
