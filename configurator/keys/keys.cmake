# Key tables (qvKeyCode), the stored keystroke records (header only) and the function
# catalogue (pubunit_vorne).
add_library(vrnke_keys STATIC ${CMAKE_CURRENT_LIST_DIR}/src/qvKeyCode.cpp)
target_include_directories(vrnke_keys PUBLIC ${CMAKE_CURRENT_LIST_DIR}/include)

vrnke_add_test(keys_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/keycode_test.cpp ${CMAKE_CURRENT_LIST_DIR}/tests/key_records_test.cpp
  LIBS vrnke_keys
  LABELS tsan)  # also run under ThreadSanitizer: the first lookup may come from the hook thread

add_library(vrnke_pubunit STATIC ${CMAKE_CURRENT_LIST_DIR}/src/pubunit_vorne.cpp)
target_link_libraries(vrnke_pubunit PUBLIC vrnke_keys vrnke_suite_names vrnke_runtime)

vrnke_add_test(pubunit_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/pubunit_test.cpp
  LIBS vrnke_pubunit)
