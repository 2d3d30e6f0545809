# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (the POSIX threads flavour, which
# std::thread and Qt need). Libraries and headers are looked for only in the cross prefixes,
# never among the build machine's own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triple} ${ANEMO_WINDOWS_PREFIXES})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# ANEMO_WINDOWS_PREFIXES must reach try_compile's projects too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ANEMO_WINDOWS_PREFIXES)
