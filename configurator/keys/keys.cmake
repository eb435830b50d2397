# Key tables (qvKeyCode).
add_library(vrnke_keys STATIC ${CMAKE_CURRENT_LIST_DIR}/src/qvKeyCode.cpp)
target_include_directories(vrnke_keys PUBLIC ${CMAKE_CURRENT_LIST_DIR}/include)

vrnke_add_test(keys_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/keycode_test.cpp
  LIBS vrnke_keys
  LABELS unit tsan)
