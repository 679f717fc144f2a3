include(GoogleTest)

# tavori_add_test(name SOURCES a.cpp ... LIBS lib ...): one GoogleTest executable registered with CTest.
function(tavori_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_SOURCES)
    set(ARG_SOURCES ${name}.cpp)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main tavori_warnings)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT "TAVORI_SHARED_DATA=${CMAKE_SOURCE_DIR}/../shared/data")
endfunction()
