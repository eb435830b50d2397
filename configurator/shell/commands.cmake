# Command setting component (qvCommandSetting).
add_library(vrnke_commands STATIC ${CMAKE_CURRENT_LIST_DIR}/src/qvCommandSetting.cpp)
target_include_directories(vrnke_commands PUBLIC ${CMAKE_CURRENT_LIST_DIR}/include)
target_link_libraries(vrnke_commands PUBLIC vrnke_runtime)

vrnke_add_test(commands_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/qvCommandSetting_test.cpp
  LIBS vrnke_commands)
