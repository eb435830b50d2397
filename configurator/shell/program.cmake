# The program: the main window and its start sequence as a library, VRNKECfg a thin main over it.
set(_shell ${CMAKE_CURRENT_LIST_DIR})
add_library(vrnke_shell STATIC
  ${_shell}/src/SettingMain.cpp
  ${_shell}/src/function_menu.cpp
  ${_shell}/src/monitor_link.cpp
  ${_shell}/src/program.cpp)
target_include_directories(vrnke_shell PUBLIC ${_shell}/include)
target_link_libraries(vrnke_shell PUBLIC vrnke_capture vrnke_menu vrnke_commands vrnke_dm vrnke_lang_toolkit vrnke_pubunit
  vrnke_suite_names vrnke_toolkit_app vrnke_platform Threads::Threads)

if(WIN32)
  # VRNKECfg.exe: a GUI program on the Win32 backend, beside qv.local and its forms.
  add_executable(vrnke_cfg WIN32 ${_shell}/src/main_win32.cpp)
  target_link_libraries(vrnke_cfg PRIVATE vrnke_shell vrnke_toolkit_win32)
  set_target_properties(vrnke_cfg PROPERTIES OUTPUT_NAME VRNKECfg RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  if(TARGET vrnke_pictures)
    add_dependencies(vrnke_cfg vrnke_forms qv_local vrnke_monitor vrnke_hook_win32)
  else()
    set_target_properties(vrnke_cfg PROPERTIES EXCLUDE_FROM_ALL TRUE)
  endif()
  include(${_shell}/windows_program.cmake)
  return()
endif()

add_executable(vrnke_cfg ${_shell}/src/main.cpp)
target_link_libraries(vrnke_cfg PRIVATE vrnke_shell vrnke_toolkit_x11)
set_target_properties(vrnke_cfg PROPERTIES OUTPUT_NAME VRNKECfg RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

vrnke_add_test(shell_tests
  SOURCES ${_shell}/tests/main_window_test.cpp ${_shell}/tests/program_test.cpp
  LIBS vrnke_shell vrnke_testing_platform)
target_compile_definitions(shell_tests PRIVATE
  VRNKE_TEST_FORMS_DIR="${VRNKE_FORMS_DIR}" VRNKE_TEST_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
  VRNKEMON_PATH="$<TARGET_FILE:vrnke_monitor>" VRNKECFG_PATH="$<TARGET_FILE:vrnke_cfg>")
add_dependencies(shell_tests vrnke_monitor vrnke_cfg qv_local)

# The program on the headless backend, writing a picture of its main window (run.sh uses it where
# the program has no display to open its window on).
add_executable(vrnke_cfg_snapshot ${_shell}/src/snapshot_main.cpp)
target_link_libraries(vrnke_cfg_snapshot PRIVATE vrnke_shell)
set_target_properties(vrnke_cfg_snapshot PROPERTIES OUTPUT_NAME VRNKECfg-snapshot
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# The real program and monitor stand-in on a private X display, driven with xdotool. One ctest
# entry: the tests share one Xvfb and run one after the other.
if(NOT DEFINED VRNKE_WINDOWS_TESTS)
  find_package(X11 REQUIRED)
  add_executable(shell_x11_tests ${_shell}/tests/x11_program_test.cpp)
  target_link_libraries(shell_x11_tests PRIVATE vrnke_shell vrnke_testing_platform vrnke_testing_display
    X11::X11 GTest::gtest GTest::gtest_main Threads::Threads)
  target_compile_definitions(shell_x11_tests PRIVATE
    VRNKE_TEST_FORMS_DIR="${VRNKE_FORMS_DIR}" VRNKE_TEST_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
    VRNKEMON_PATH="$<TARGET_FILE:vrnke_monitor>" VRNKECFG_PATH="$<TARGET_FILE:vrnke_cfg>"
    VRNKEINSPECT_PATH="$<TARGET_FILE:vrnkeinspect>")
  add_dependencies(shell_x11_tests vrnke_monitor vrnke_cfg vrnkeinspect vrnke_hook_x11 qv_local)
  add_test(NAME shell_x11_tests COMMAND shell_x11_tests)
  set_tests_properties(shell_x11_tests PROPERTIES LABELS unit TIMEOUT 300
    ENVIRONMENT "VRNKE_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endif()
