# VRNKECfg.exe under Wine, end to end (scripts/test-program-wine.sh): started in the stage's
# prefix on its Xvfb, driven with xdotool, its registry read back with regedit and decoded by the
# host build's vrnkereg, its window compared with the host build's render of the same window.
if(TARGET vrnke_pictures)
  add_test(NAME vrnkecfg_wine_tests
    COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/test-program-wine.sh $<TARGET_FILE_DIR:vrnke_cfg>
      ${VRNKE_HOST_TOOLS_DIR})
  set_tests_properties(vrnkecfg_wine_tests PROPERTIES LABELS wine RUN_SERIAL TRUE TIMEOUT 300)
endif()
