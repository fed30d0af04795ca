# The voice engine, white-box: parameter mappings, note handlers, lifecycle
# and real-time behaviour of MorvelithPlugin, driven through its plug-in record.
set(ENGINE_TEST_LIBS instrument morvelith_test_support morvelith_alloc_counter)

morvelith_add_test(engine_mapping SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/engine_mapping_test.cpp
  LIBS ${ENGINE_TEST_LIBS} LABELS instrument)
morvelith_add_test(engine_notes SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/engine_notes_test.cpp
  LIBS ${ENGINE_TEST_LIBS} LABELS instrument)
morvelith_add_test(engine_lifecycle SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/engine_lifecycle_test.cpp
  LIBS ${ENGINE_TEST_LIBS} LABELS instrument)
morvelith_add_test(engine_realtime SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/engine_realtime_test.cpp
  LIBS ${ENGINE_TEST_LIBS} LABELS instrument)
morvelith_add_test(engine_sleep SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/engine_sleep_test.cpp
  LIBS ${ENGINE_TEST_LIBS} LABELS instrument)
