# The factory bank rendered through the built plug-in: each named program's
# preview phrase measured for level, distinctness and brightness.
morvelith_add_test(instrument_factory_sound SOURCES ${CMAKE_CURRENT_LIST_DIR}/factory_sound_test.cpp
  LIBS sound_rig morvelith_test_support LABELS instrument)
if(TARGET morvelith)
  add_dependencies(instrument_factory_sound morvelith)
endif()

# The bank held to a musician's limits: tails, onsets, peaks at full velocity
# and loudness (libebur128), rendered as the gallery renders its previews.
morvelith_add_test(instrument_factory_bank SOURCES ${CMAKE_CURRENT_LIST_DIR}/factory_bank_test.cpp
  ${PROJECT_SOURCE_DIR}/tools/gallery/PhraseRender.cpp
  LIBS sound_rig morvelith_test_support morvelith_host LABELS instrument)
if(TARGET morvelith)
  add_dependencies(instrument_factory_bank morvelith)
  target_compile_definitions(instrument_factory_bank PRIVATE MORVELITH_PLUGIN_PATH="$<TARGET_FILE:morvelith>")
endif()
