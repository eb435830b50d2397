# Profile records and the profile stream store.
add_library(vrnke_profile_records STATIC ${CMAKE_CURRENT_LIST_DIR}/src/records.cpp)
target_include_directories(vrnke_profile_records PUBLIC ${CMAKE_CURRENT_LIST_DIR}/include)
target_link_libraries(vrnke_profile_records PUBLIC vrnke_runtime)

vrnke_add_test(profile_records_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/records_layout_test.cpp
  LIBS vrnke_profile_records)
