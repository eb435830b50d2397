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
