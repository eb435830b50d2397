# The 32-bit Windows build: what it takes from the tree and how its tests run.

# Test programs run under Wine; the others still configure (their libraries build) but are
# left out of the default build.
set(VRNKE_WINDOWS_TESTS runtime_tests platform_tests monitor_win32_tests profile_store_tests lang_tests
  regedit_tests usbharness_wine_tests toolkit_core_tests toolkit_app_tests canvas_compare_tests
  hooklib_win32_tests toolkit_win32_tests)

set(VRNKE_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources built for the target")
if(NOT EXISTS ${VRNKE_GTEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${VRNKE_GTEST_SOURCE} (Debian package googletest)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
add_subdirectory(${VRNKE_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(_t gtest gtest_main gmock gmock_main)
  if(NOT TARGET GTest::${_t})
    add_library(GTest::${_t} ALIAS ${_t})
  endif()
endforeach()

# Google Benchmark for the release build's benchmarks, from the sources of the version Debian
# packages (scripts/fetch-benchmark-source.sh puts them there), compiled for the target.
if(VRNKE_BENCH)
  set(VRNKE_BENCHMARK_SOURCE /usr/local/src/vrnke-benchmark CACHE PATH "Google Benchmark sources built for the target")
  if(NOT EXISTS ${VRNKE_BENCHMARK_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "Google Benchmark sources not found in ${VRNKE_BENCHMARK_SOURCE} "
      "(run scripts/fetch-benchmark-source.sh)")
  endif()
  foreach(_o BENCHMARK_ENABLE_TESTING BENCHMARK_ENABLE_GTEST_TESTS BENCHMARK_ENABLE_INSTALL
      BENCHMARK_ENABLE_WERROR BENCHMARK_INSTALL_DOCS)
    set(${_o} OFF CACHE BOOL "" FORCE)
  endforeach()
  add_subdirectory(${VRNKE_BENCHMARK_SOURCE} ${CMAKE_BINARY_DIR}/benchmark EXCLUDE_FROM_ALL)
  if(NOT TARGET benchmark::benchmark)
    add_library(benchmark::benchmark ALIAS benchmark)
  endif()
endif()

# The C library's C99 printf (%zu, %lld), which the code and its format checks assume.
add_compile_definitions(__USE_MINGW_ANSI_STDIO=1)
# GCC checks "printf" formats against the system's own printf here, which has no %zu; the
# C99 one above is what runs, and the POSIX builds check the same formats.
add_compile_options(-Wno-format)

# Folders that build for Windows: everything that does not need X11 (the toolkit draws with GDI+
# here, see toolkit/core). The tree's own lists
# name every part; here a folder is added only when it is listed, or lies on the way to one that
# is (the command is wrapped after GoogleTest, whose folder lies outside the tree, was added).
set(VRNKE_DIRS
  runtime platform toolkit/translate toolkit/core toolkit/forms toolkit/app configurator/styles
  configurator/forms configurator/keys configurator/lang configurator/menu configurator/profile
  configurator/shell devlower/driver devlower/image peers/monitor peers/usbharness
  peers/vrnkeclient tools/regtool tools/inspector tools/langc testing/platform testing/toolkit bench/platform
  bench/profile bench/toolkit_render configurator/capture peers/hooklib toolkit/win32
  configurator/pictures)
macro(add_subdirectory _vrnke_dir)
  get_filename_component(_vrnke_abs "${_vrnke_dir}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  file(RELATIVE_PATH _vrnke_rel "${PROJECT_SOURCE_DIR}" "${_vrnke_abs}")
  set(_vrnke_take FALSE)
  foreach(_vrnke_w ${VRNKE_DIRS})
    string(FIND "${_vrnke_w}/" "${_vrnke_rel}/" _vrnke_up)
    string(FIND "${_vrnke_rel}/" "${_vrnke_w}/" _vrnke_down)
    if(_vrnke_up EQUAL 0 OR _vrnke_down EQUAL 0)
      set(_vrnke_take TRUE)
    endif()
  endforeach()
  if(_vrnke_take)
    _add_subdirectory(${ARGV})
  endif()
endmacro()

# A target of a taken folder that links a part of the tree left out here (the toolkit's canvas),
# or a target so left out, stays out of the default build; its folder's other targets build.
function(_vrnke_collect_targets dir out)
  get_property(_all DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(_subs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(_s ${_subs})
    _vrnke_collect_targets(${_s} _more)
    list(APPEND _all ${_more})
  endforeach()
  set(${out} ${_all} PARENT_SCOPE)
endfunction()
function(_vrnke_leave_out_display_users dir)
  _vrnke_collect_targets(${dir} _targets)
  set(_left)
  set(_changed TRUE)
  while(_changed)
    set(_changed FALSE)
    foreach(_t ${_targets})
      if(_t IN_LIST _left)
        continue()
      endif()
      get_target_property(_libs ${_t} LINK_LIBRARIES)
      foreach(_l ${_libs})
        if(_l MATCHES "^vrnke_" AND (NOT TARGET ${_l} OR _l IN_LIST _left))
          set_target_properties(${_t} PROPERTIES EXCLUDE_FROM_ALL TRUE)
          message(STATUS "Windows build: ${_t} left out (needs ${_l})")
          list(APPEND _left ${_t})
          set(_changed TRUE)
          break()
        endif()
      endforeach()
    endforeach()
  endwhile()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL _vrnke_leave_out_display_users ${CMAKE_SOURCE_DIR})
