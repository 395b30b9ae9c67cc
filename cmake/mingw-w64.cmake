# Cross-compiling for Windows with Debian's MinGW-w64 compilers (the -posix thread variant, which
# Qt's threads and std::thread need). The word size comes from QV58163_MINGW_ARCH: x86_64 (the
# default) or i686. It is read from the environment too, because CMake re-reads this file in every
# try_compile project, where cache variables given on the command line are not set.
if(NOT QV58163_MINGW_ARCH)
    if(DEFINED ENV{QV58163_MINGW_ARCH})
        set(QV58163_MINGW_ARCH "$ENV{QV58163_MINGW_ARCH}")
    else()
        set(QV58163_MINGW_ARCH x86_64)
    endif()
endif()
if(NOT QV58163_MINGW_ARCH MATCHES "^(x86_64|i686)$")
    message(FATAL_ERROR "QV58163_MINGW_ARCH must be x86_64 or i686, not '${QV58163_MINGW_ARCH}'")
endif()
set(ENV{QV58163_MINGW_ARCH} "${QV58163_MINGW_ARCH}")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QV58163_MINGW_ARCH)

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${QV58163_MINGW_ARCH})
set(triple ${QV58163_MINGW_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_STRIP ${triple}-strip)

# Libraries and headers come from the MinGW sysroot and the cross-built Qt (CMAKE_PREFIX_PATH);
# programs (moc, rcc, uic) run on this machine.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
