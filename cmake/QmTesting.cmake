find_package(GTest REQUIRED)

# qm_gtest(<name> SOURCES ... LIBS ... [TIMEOUT s]): one GoogleTest executable,
# registered as one CTest test.
function(qm_gtest name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QM_SOURCE_DIR=${PROJECT_SOURCE_DIR};QM_BINARY_DIR=${PROJECT_BINARY_DIR};XDG_CACHE_HOME=${PROJECT_BINARY_DIR}/test-cache/${name}")
endfunction()

# qm_qtest(<name> SOURCES ... LIBS ... [TIMEOUT s]): one Qt Test executable,
# run headless.
function(qm_qtest name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Test)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QM_SOURCE_DIR=${PROJECT_SOURCE_DIR};QM_BINARY_DIR=${PROJECT_BINARY_DIR};XDG_CACHE_HOME=${PROJECT_BINARY_DIR}/test-cache/${name}")
endfunction()
