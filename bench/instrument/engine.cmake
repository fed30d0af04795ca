# The voice engine's costs on the audio thread: rendering (default and heavy
# settings), a program application and the delay switch, which clears lines.
morvelith_add_bench(engine_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/engine_bench.cpp LIBS instrument)
# Sleeping while silent: the difference a note after a sleep shows against an
# instance that never slept, over every factory program (the white-box rig of
# the engine suites reaches the switch).
morvelith_add_bench(sleep_wake_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/sleep_wake_bench.cpp LIBS instrument)
