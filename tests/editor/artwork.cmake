# The editor's artwork: every bitmap of the layout registered, decodable, of
# its stated size and frame count, and drawn the way the controls need.
morvelith_add_test(editor_artwork
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/artwork_test.cpp
  LIBS resources gui
  LABELS gui
  TIMEOUT 120)
# The generator itself is run by the suite (reproducibility, compiled-in art
# equals what it paints now).
add_dependencies(editor_artwork morvelith_artwork)
target_compile_definitions(editor_artwork PRIVATE ARTWORK_GENERATOR="$<TARGET_FILE:morvelith_artwork>")
