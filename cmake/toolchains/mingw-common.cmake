# What both mingw-w64 toolchains share: the -posix compiler names (the plain
# names may point at the win32 thread variant), static runtime libraries so a
# DLL or program needs nothing but system DLLs, and search paths that never
# find the build machine's Linux libraries.
set(CMAKE_C_COMPILER /usr/bin/${MORVELITH_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER /usr/bin/${MORVELITH_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER /usr/bin/${MORVELITH_MINGW_PREFIX}-windres)
set(CMAKE_AR /usr/bin/${MORVELITH_MINGW_PREFIX}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB /usr/bin/${MORVELITH_MINGW_PREFIX}-gcc-ranlib-posix CACHE FILEPATH "")

# Without -static the DLL imports libwinpthread-1.dll, libstdc++-6.dll and
# libgcc_s, and LoadLibrary fails (error 126) wherever they are not installed.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

set(CMAKE_FIND_ROOT_PATH /usr/${MORVELITH_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
