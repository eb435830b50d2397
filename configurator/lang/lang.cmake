# The language component and the language file format (the translation service it drives is the
# toolkit's, vrnke_toolkit_translate).
set(_lang ${CMAKE_CURRENT_LIST_DIR})
add_library(vrnke_lang STATIC
  ${_lang}/src/lang_file.cpp
  ${_lang}/src/locale_tables.cpp
  ${_lang}/src/qv_language.cpp)
target_include_directories(vrnke_lang PUBLIC ${_lang}/include)
target_link_libraries(vrnke_lang PUBLIC vrnke_runtime vrnke_toolkit_translate vrnke_platform PRIVATE vrnke_suite_names)

vrnke_add_test(lang_tests
  SOURCES ${_lang}/tests/lang_file_test.cpp ${_lang}/tests/qv_language_test.cpp
          ${_lang}/tests/qv_local_test.cpp
  LIBS vrnke_lang vrnke_suite_names vrnke_testing_platform)
# The shipped file is compiled by tools/langc into bin/ beside the program.
add_dependencies(lang_tests qv_local)
target_compile_definitions(lang_tests PRIVATE
  VRNKE_QV_LOCAL="${CMAKE_BINARY_DIR}/bin/qv.local" VRNKE_SOURCE_ROOT="${PROJECT_SOURCE_DIR}")
# The stored window descriptions are read with the toolkit's form parser.
target_sources(lang_tests PRIVATE ${_lang}/tests/form_texts_test.cpp)
target_link_libraries(lang_tests PRIVATE vrnke_toolkit_forms_text)

if(VRNKE_FUZZ)
  add_executable(lang_file_fuzz ${_lang}/fuzz/lang_file_fuzz.cpp)
  target_link_libraries(lang_file_fuzz PRIVATE vrnke_lang)
  target_link_options(lang_file_fuzz PRIVATE -fsanitize=fuzzer)
endif()

# The link to the toolkit's scenes.
add_library(vrnke_lang_toolkit STATIC ${_lang}/src/toolkit_scenes.cpp)
target_link_libraries(vrnke_lang_toolkit PUBLIC vrnke_lang vrnke_toolkit)
vrnke_add_test(lang_toolkit_tests SOURCES ${_lang}/tests/toolkit_scenes_test.cpp LIBS vrnke_lang_toolkit)

# The language editing form: its stored description goes beside the program's other forms.
set(_lang_form_out ${CMAKE_BINARY_DIR}/bin/forms/Languagetranslate.form)
add_custom_command(OUTPUT ${_lang_form_out}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/bin/forms
  COMMAND ${CMAKE_COMMAND} -E copy ${_lang}/forms/Languagetranslate.form ${_lang_form_out}
  DEPENDS ${_lang}/forms/Languagetranslate.form)
add_custom_target(vrnke_lang_form_description ALL DEPENDS ${_lang_form_out})
add_library(vrnke_lang_form STATIC ${_lang}/src/language_design_form.cpp)
# The program's control styles: the form wears them like every window of the program.
target_link_libraries(vrnke_lang_form PUBLIC vrnke_lang vrnke_toolkit_app vrnke_styles PRIVATE vrnke_suite_names)
add_dependencies(vrnke_lang_form vrnke_lang_form_description)
vrnke_add_test(lang_form_tests SOURCES ${_lang}/tests/language_design_form_test.cpp
  LIBS vrnke_lang_form vrnke_testing_platform)
target_compile_definitions(lang_form_tests PRIVATE VRNKE_LANG_FORMS_DIR="${_lang}/forms"
  VRNKE_QV_LOCAL="${CMAKE_BINARY_DIR}/bin/qv.local")
add_dependencies(lang_form_tests qv_local)
