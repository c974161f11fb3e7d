# Cross compilation for 64-bit Windows with Debian's MinGW-w64 (posix thread model), the programs
# run under Wine. VEXOGEO_WINDOWS_PREFIX names the folder holding the statically built
# dependencies; only it and the compiler's own sysroot are searched.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VEXOGEO_MINGW_TRIPLET x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${VEXOGEO_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VEXOGEO_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VEXOGEO_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${VEXOGEO_MINGW_TRIPLET}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${VEXOGEO_MINGW_TRIPLET}-gcc-ranlib-posix CACHE FILEPATH "")

if(NOT VEXOGEO_WINDOWS_PREFIX AND DEFINED ENV{VEXOGEO_WINDOWS_PREFIX})
    set(VEXOGEO_WINDOWS_PREFIX $ENV{VEXOGEO_WINDOWS_PREFIX})
endif()
# try_compile projects see the same prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VEXOGEO_WINDOWS_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${VEXOGEO_MINGW_TRIPLET} ${VEXOGEO_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
if(VEXOGEO_WINDOWS_PREFIX)
    set(ENV{PKG_CONFIG_LIBDIR} ${VEXOGEO_WINDOWS_PREFIX}/lib/pkgconfig)
    set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
endif()

# The MinGW runtime (libgcc, libstdc++, winpthread) is linked in statically: Wine, like a
# Windows machine without the toolchain, does not find its DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Test programs run under Wine.
find_program(VEXOGEO_WINE NAMES wine wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(VEXOGEO_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VEXOGEO_WINE})
endif()
