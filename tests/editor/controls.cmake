# The editor's custom controls, driven by injected events on an offscreen frame.
morvelith_add_test(editor_controls
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/controls_test.cpp ${CMAKE_CURRENT_LIST_DIR}/program_browser_test.cpp
  LIBS editor plugin_editor_controller
  LABELS gui
  TIMEOUT 120)
