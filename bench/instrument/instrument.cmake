# What the built instrument costs: CPU seconds per second of audio through the
# real plug-in (programs 76, 0 and 75, a heavy setting, and silent after one
# note) beside Debian's amsynth doing the same, and the resident memory of one and two instances
# (its own process, so nothing loaded before distorts the figures).
foreach(bench instrument_speed instrument_memory)
  morvelith_add_bench(${bench}_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/${bench}_bench.cpp LIBS morvelith_host)
  if(TARGET morvelith)
    add_dependencies(${bench}_bench morvelith)
    target_compile_definitions(${bench}_bench PRIVATE MORVELITH_PLUGIN_PATH="$<TARGET_FILE:morvelith>")
  endif()
endforeach()
