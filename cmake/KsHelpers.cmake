# Small helpers shared by src/, tests/ and tools/.

set(KS_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix the tests run in")

# ks_add_test(<name> SOURCES ... LIBS ... [TIMEOUT <s>] [LABELS ...]): one GoogleTest program, each
# case its own CTest test, run under Wine in the build tree's prefix. Discovery happens when CTest
# runs, not at build time, so building needs no Wine. LABELS mark a group (`ctest -L soak`,
# `-LE soak`); a plain `ctest` still runs it.
function(ks_add_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set(extra)
  if(ARG_LABELS)
    set(extra LABELS "${ARG_LABELS}")
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ks_test_support ${ARG_LIBS} gtest)
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    # One variable per property: a ';' inside a value would split it into two list items, and
    # every property after it would pair with the wrong value.
    PROPERTIES ENVIRONMENT "WINEPREFIX=${KS_WINEPREFIX}"
               ENVIRONMENT_MODIFICATION "WINEDEBUG=set:-all"
               TIMEOUT ${ARG_TIMEOUT} ${extra})
endfunction()

# ks_add_library(<name> <sources>...): a subsystem's static library. Its headers are reached as
# "<subsystem>/<File>.h" from src/; the benchmark program links every library added this way.
function(ks_add_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  set_property(GLOBAL APPEND PROPERTY KS_LIBRARIES ${name})
endfunction()
