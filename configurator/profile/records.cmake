# Profile records and the profile stream store.
add_library(vrnke_profile_records STATIC ${CMAKE_CURRENT_LIST_DIR}/src/records.cpp)
target_include_directories(vrnke_profile_records PUBLIC ${CMAKE_CURRENT_LIST_DIR}/include)
target_link_libraries(vrnke_profile_records PUBLIC vrnke_keys vrnke_runtime)

add_library(vrnke_profile_store STATIC ${CMAKE_CURRENT_LIST_DIR}/src/qvProfile.cpp)
target_include_directories(vrnke_profile_store PUBLIC ${CMAKE_CURRENT_LIST_DIR}/include)
target_link_libraries(vrnke_profile_store PUBLIC vrnke_runtime vrnke_platform)

vrnke_add_test(profile_records_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/records_layout_test.cpp
  LIBS vrnke_profile_records)

vrnke_add_test(profile_store_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/qvprofile_registry_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/tests/qvprofile_file_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/tests/qvprofile_component_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/tests/qvprofile_system_test.cpp
  LIBS vrnke_profile_store vrnke_profile_records vrnke_suite_names vrnke_testing_platform)

# The export tool (tools/regtool) reads what the store wrote.
vrnke_add_test(profile_regtool_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/qvprofile_regtool_test.cpp
  LIBS vrnke_profile_store vrnke_profile_records vrnke_suite_names vrnke_testing_platform)
target_compile_definitions(profile_regtool_tests PRIVATE VRNKE_REGTOOL="$<TARGET_FILE:vrnkereg>")
add_dependencies(profile_regtool_tests vrnkereg)
