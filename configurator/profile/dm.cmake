# Profile data module (DMUnit).
add_library(vrnke_dm STATIC ${CMAKE_CURRENT_LIST_DIR}/src/DMUnit.cpp)
target_include_directories(vrnke_dm PUBLIC ${CMAKE_CURRENT_LIST_DIR}/include)
target_link_libraries(vrnke_dm PUBLIC vrnke_profile_store vrnke_profile_records vrnke_pubunit vrnke_lang vrnke_platform
  vrnke_runtime)

vrnke_add_test(dm_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/dm_load_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/tests/dm_defaults_test.cpp
  LIBS vrnke_dm vrnke_testing_platform)
