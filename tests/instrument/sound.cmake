# Black-box suites of the instrument's sound: the built plug-in rendered through
# the host library and measured as audio. Every suite skips, with its reason,
# when the plug-in is not built.
add_library(sound_rig STATIC ${CMAKE_CURRENT_LIST_DIR}/sound_rig.cpp)
target_include_directories(sound_rig PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(sound_rig PUBLIC morvelith_host morvelith_test_support)
if(TARGET morvelith)
  target_compile_definitions(sound_rig PRIVATE MORVELITH_PLUGIN_PATH="$<TARGET_FILE:morvelith>")
endif()

foreach(suite pitch timing effects modulation robustness level_moves)
  morvelith_add_test(sound_${suite} SOURCES ${CMAKE_CURRENT_LIST_DIR}/sound_${suite}_test.cpp
    LIBS sound_rig morvelith_test_support morvelith_alloc_counter LABELS instrument)
  if(TARGET morvelith)
    add_dependencies(sound_${suite} morvelith)
  endif()
endforeach()
# The pitch suite also checks that its starting program holds the table's defaults.
target_link_libraries(sound_pitch PRIVATE instrument_parameters)
