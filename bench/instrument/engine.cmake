# The voice engine's costs on the audio thread: rendering (default and heavy
# settings), a program application and the delay switch, which clears lines.
morvelith_add_bench(engine_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/engine_bench.cpp LIBS instrument)
