# GoogleTest for both builds, and the Wine environment that cross-built tests run in.
include(GoogleTest)

if(CMAKE_CROSSCOMPILING)
  # Debian ships the sources; a cross build compiles them with the cross compiler.
  set(HORAX_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${HORAX_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  if(NOT TARGET GTest::gtest_main)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
else()
  find_package(GTest REQUIRED)
endif()

# Cross-built tests run under Wine only where this machine can run the target's code.
option(HORAX_WINE_TESTS "Run cross-built tests under Wine" ON)
set(HORAX_RUN_UNDER_WINE OFF)
if(CMAKE_CROSSCOMPILING AND HORAX_WINE_TESTS)
  set(HORAX_RUN_UNDER_WINE ON)
endif()

set(HORAX_WINE_DIR ${CMAKE_BINARY_DIR}/wine)
if(HORAX_RUN_UNDER_WINE)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(HORAX_WINEARCH win64)
    set(HORAX_WINE_LOADER /usr/lib/wine/wine64)
  else()
    set(HORAX_WINEARCH win32)
    set(HORAX_WINE_LOADER wine)
  endif()
  configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-config.sh.in ${HORAX_WINE_DIR}/config.sh @ONLY)
  # The system's interpreter, before any shim in PATH that would add its own start-up.
  find_program(HORAX_PYTHON3 python3 HINTS /usr/bin REQUIRED)

  set(wine_env ${HORAX_PYTHON3} ${CMAKE_SOURCE_DIR}/scripts/wine-env)
  add_test(NAME wine.start COMMAND ${wine_env} start ${HORAX_WINE_DIR})
  set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
  add_test(NAME wine.stop COMMAND ${wine_env} stop ${HORAX_WINE_DIR})
  set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)
endif()

# horax_add_gtest(NAME SOURCES ... LIBRARIES ... [TEST_LIST VAR]): a GoogleTest executable
# whose cases are registered one by one, run natively or, in a cross build, under Wine.
# TEST_LIST names a variable that receives the registered cases (empty when none are).
function(horax_add_gtest name)
  cmake_parse_arguments(ARG "" "TEST_LIST" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gtest_main)
  set(cases "")
  if(NOT CMAKE_CROSSCOMPILING OR HORAX_RUN_UNDER_WINE)
    gtest_add_tests(TARGET ${name} TEST_LIST cases)
  endif()
  if(HORAX_RUN_UNDER_WINE)
    set_tests_properties(${cases} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 120)
  endif()
  if(ARG_TEST_LIST)
    set(${ARG_TEST_LIST} ${cases} PARENT_SCOPE)
  endif()
endfunction()
