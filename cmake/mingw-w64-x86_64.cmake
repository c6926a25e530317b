# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (the POSIX-threads variant, for
# std::thread). The libraries come from the prefix that scripts/build-win-deps.sh fills:
# pass it as ORNEL_WIN_DEPS_PREFIX (cache variable or environment).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ORNEL_MINGW_HOST x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ORNEL_MINGW_HOST}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORNEL_MINGW_HOST}-g++-posix)
set(CMAKE_RC_COMPILER ${ORNEL_MINGW_HOST}-windres)
set(CMAKE_AR ${ORNEL_MINGW_HOST}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${ORNEL_MINGW_HOST}-ranlib CACHE FILEPATH "")

if(NOT ORNEL_WIN_DEPS_PREFIX AND DEFINED ENV{ORNEL_WIN_DEPS_PREFIX})
    set(ORNEL_WIN_DEPS_PREFIX $ENV{ORNEL_WIN_DEPS_PREFIX})
endif()
# try_compile projects see the prefix too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ORNEL_WIN_DEPS_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${ORNEL_MINGW_HOST} ${ORNEL_WIN_DEPS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config looks in the prefix only, never at the machine's Linux libraries.
if(ORNEL_WIN_DEPS_PREFIX)
    set(ENV{PKG_CONFIG_LIBDIR} ${ORNEL_WIN_DEPS_PREFIX}/lib/pkgconfig)
    set(ENV{PKG_CONFIG_PATH} "")
    set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
endif()

# One self-contained executable: the C and C++ run-times and winpthreads linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
