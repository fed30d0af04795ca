# Cross-build for 32-bit Windows (i686) with Debian's mingw-w64, the posix
# thread variant (the win32 one has no std::mutex). SSE2 maths so the
# DenormalGuard's MXCSR setting governs every float operation, and aligned
# allocation for anything over the 8 bytes a 32-bit Windows heap guarantees.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MORVELITH_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -faligned-new=8")
