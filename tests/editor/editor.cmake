# The editor window: layout, behaviour and commands on an offscreen frame,
# the snapshot picture, and one suite in a real X server.
morvelith_add_test(editor_layout
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/editor_layout_test.cpp
  LIBS editor LABELS gui TIMEOUT 120)
morvelith_add_test(editor_behaviour
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/editor_behaviour_test.cpp
  LIBS editor morvelith_alloc_counter LABELS gui TIMEOUT 120)
morvelith_add_test(editor_commands
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/editor_commands_test.cpp
  LIBS editor LABELS gui TIMEOUT 120)
