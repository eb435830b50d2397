# Function collection (qvFunctionManager).
add_library(vrnke_functions STATIC ${CMAKE_CURRENT_LIST_DIR}/src/qvFunctionManager.cpp)
target_include_directories(vrnke_functions PUBLIC ${CMAKE_CURRENT_LIST_DIR}/include)
target_link_libraries(vrnke_functions PUBLIC vrnke_runtime)

vrnke_add_test(functions_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/qvFunctionManager_test.cpp
  LIBS vrnke_functions)
