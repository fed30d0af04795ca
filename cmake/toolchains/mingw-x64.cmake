# Cross-build for 64-bit Windows (x86-64) with Debian's mingw-w64, the posix
# thread variant (the win32 one has no std::mutex). The programs it builds run
# here under wine64 (see mingw-common.cmake).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(MORVELITH_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Test programs (and GoogleTest's discovery) run through wine64.
get_filename_component(MORVELITH_WINE_RUN ${CMAKE_CURRENT_LIST_DIR}/../../tools/wine-run.sh ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${MORVELITH_WINE_RUN})
