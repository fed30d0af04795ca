# The editor's artwork: every bitmap of the layout registered, decodable, of
# its stated size and frame count, and drawn the way the controls need.
morvelith_add_test(editor_artwork
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/artwork_test.cpp
  LIBS resources gui
  LABELS gui
  TIMEOUT 120)
