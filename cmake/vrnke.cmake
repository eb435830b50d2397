# vrnke_add_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>])
# One GoogleTest executable; its cases are registered with ctest one by one. In the Windows
# build each listed program is one ctest test run under Wine (a Wine start per case would cost
# more than the cases), and the unlisted ones are left out of the default build.
function(vrnke_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  if(DEFINED VRNKE_WINDOWS_TESTS)
    if(NOT name IN_LIST VRNKE_WINDOWS_TESTS)
      set_target_properties(${name} PROPERTIES EXCLUDE_FROM_ALL TRUE)
      return()
    endif()
    add_test(NAME ${name} COMMAND ${name})
    # One at a time: windows and named objects are shared by every program of the Wine session,
    # so two programs' windows of one class would find each other.
    set_tests_properties(${name} PROPERTIES LABELS wine RUN_SERIAL TRUE TIMEOUT 240
      ENVIRONMENT "VRNKE_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
    return()
  endif()
  set(_labels ${T_LABELS})
  if(NOT _labels)
    set(_labels unit)
  endif()
  # Discovered tests carry one label: "tsan" wins, so the ThreadSanitizer run finds them;
  # the debug and asan runs take every test whatever its label.
  if("tsan" IN_LIST _labels)
    set(_labels tsan)
  else()
    list(GET _labels 0 _labels)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${_labels}" ENVIRONMENT "VRNKE_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()

# vrnke_add_bench(<name> SOURCES <files...> LIBS <targets...>)
function(vrnke_add_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark Threads::Threads)
endfunction()
