# The Win32 test host that the editor's wine test (tests/editor, editor_wine)
# runs under wine64 against morvelith.dll. Included by the top CMakeLists in
# 64-bit Windows trees, tests or not, so every such build can be checked by it.
add_executable(editor_host ${CMAKE_CURRENT_LIST_DIR}/editor_host.cpp)
target_include_directories(editor_host PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(editor_host PRIVATE gdi32 user32)
set_target_properties(editor_host PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
