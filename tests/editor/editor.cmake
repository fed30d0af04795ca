# The editor window: layout, behaviour and commands on an offscreen frame,
# the snapshot picture, and one suite in a real X server.
morvelith_add_test(editor_layout
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/editor_layout_test.cpp
  LIBS instrument LABELS gui TIMEOUT 120)
morvelith_add_test(editor_behaviour
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/editor_behaviour_test.cpp
  LIBS instrument morvelith_alloc_counter LABELS gui TIMEOUT 120)
morvelith_add_test(editor_commands
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/editor_commands_test.cpp
  LIBS instrument LABELS gui TIMEOUT 120)
# Writes editor.png into the build folder: the picture the README shows.
morvelith_add_test(editor_snapshot
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/editor_snapshot_test.cpp
  LIBS instrument LABELS gui TIMEOUT 60)
target_compile_definitions(editor_snapshot PRIVATE EDITOR_SNAPSHOT_FOLDER="${PROJECT_BINARY_DIR}")

# Real input through XTest (Debian package libxtst-dev); without it the suite
# reports itself skipped.
find_package(PkgConfig REQUIRED)
pkg_check_modules(EDITOR_XTST QUIET IMPORTED_TARGET xtst)
morvelith_add_test(editor_x11
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/editor_x11_test.cpp
  LIBS instrument LABELS gui TIMEOUT 60)
if(EDITOR_XTST_FOUND)
  target_link_libraries(editor_x11 PRIVATE PkgConfig::EDITOR_XTST)
  target_compile_definitions(editor_x11 PRIVATE EDITOR_TEST_HAVE_XTEST=1)
endif()

# The editor between the audio, automation and GUI threads; also run under
# ThreadSanitizer (one label only: the test helper passes a single one through).
morvelith_add_test(editor_threads
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/editor_threads_test.cpp
  LIBS instrument LABELS tsan TIMEOUT 300)
add_dependencies(tsan_tests editor_threads)

# The editor over a fake controller: linked without the plug-in or the engine,
# which is what lets a UI apart from the engine (lv2/ui) reuse it.
morvelith_add_test(editor_controller
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/editor_controller_test.cpp
  LIBS editor LABELS gui TIMEOUT 60)

# The Windows editor under wine64 in Xvfb, driven by the Win32 test host of the
# Windows tree (bash tools/windows.sh --tests builds it); skipped with the
# reason where wine, Xvfb, xdotool or that tree is missing.
if(NOT WIN32)
  set(MORVELITH_WINDOWS_TREE ${PROJECT_SOURCE_DIR}/build-windows/x64 CACHE PATH
    "The 64-bit Windows build tree the wine editor test runs")
  morvelith_add_test(editor_wine
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/editor_wine_test.cpp
    LIBS instrument LABELS gui TIMEOUT 180)
  target_compile_definitions(editor_wine PRIVATE MORVELITH_WINDOWS_TREE="${MORVELITH_WINDOWS_TREE}")
endif()
