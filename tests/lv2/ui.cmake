# The LV2 UI in an in-process test host under Xvfb, with real input through
# XTest (libxtst-dev), alone and with the bundle's DSP behind it; without
# XTest the suite is not built and says so.
find_package(PkgConfig REQUIRED)
pkg_check_modules(LV2_UI_XTST QUIET IMPORTED_TARGET xtst)
if(LV2_UI_XTST_FOUND)
  morvelith_add_test(lv2_ui
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/lv2_ui_test.cpp
    LIBS editor PkgConfig::LV2_UI_XTST ${CMAKE_DL_LIBS}
    LABELS lv2 TIMEOUT 120)
  target_include_directories(lv2_ui PRIVATE ${LV2_INCLUDE_DIRS})
  target_compile_definitions(lv2_ui PRIVATE MORVELITH_LV2_UI_BINARY="$<TARGET_FILE:morvelith_lv2_ui>"
    MORVELITH_LV2_DSP_BINARY="$<TARGET_FILE:morvelith_lv2>" MORVELITH_LV2_BUNDLE_DIR="${MORVELITH_LV2_BUNDLE}")
  add_dependencies(lv2_ui morvelith_lv2_ui morvelith_lv2_bundle)
else()
  message(STATUS "libxtst-dev not found: the LV2 UI suite is not built")
endif()

# The UI in a real host: jalv.gtk3 embeds it (Xvfb, jackd -d dummy, xwininfo;
# exit code 77 means one of them is missing and the test skipped).
add_test(NAME lv2_ui_jalv COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/jalv_ui.sh ${MORVELITH_LV2_BUNDLE})
set_tests_properties(lv2_ui_jalv PROPERTIES SKIP_RETURN_CODE 77 LABELS lv2 TIMEOUT 60)
