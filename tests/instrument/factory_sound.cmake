# The factory bank rendered through the built plug-in: each named program's
# preview phrase measured for level, distinctness and brightness.
morvelith_add_test(instrument_factory_sound SOURCES ${CMAKE_CURRENT_LIST_DIR}/factory_sound_test.cpp
  LIBS sound_rig morvelith_test_support LABELS instrument)
if(TARGET morvelith)
  add_dependencies(instrument_factory_sound morvelith)
endif()
