# The function menu (qvMenuEx, its box and rows) and the bitmap state stream (qvstream).
add_library(vrnke_menu STATIC
  ${CMAKE_CURRENT_LIST_DIR}/src/qvMenuEx.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/qvMenuBox.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/qvstream.cpp)
target_include_directories(vrnke_menu PUBLIC ${CMAKE_CURRENT_LIST_DIR}/include)
# The menu draws with the program's styles ("menuboxstyle", "menuboxitemstyle").
target_link_libraries(vrnke_menu PUBLIC vrnke_functions vrnke_styles vrnke_toolkit vrnke_runtime)

vrnke_add_test(menu_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/qvMenuEx_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/tests/qvMenuBox_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/tests/qvstream_test.cpp
  LIBS vrnke_menu)
