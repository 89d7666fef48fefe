# What the two Windows cross builds share; cmake/mingw-i686.cmake and
# cmake/mingw-x86_64.cmake set TAMSEL_MINGW_TRIPLE, CMAKE_SYSTEM_PROCESSOR and
# TAMSEL_WINE_BITS, then include this file.
#
# The -posix compilers use the winpthread thread model, which GoogleTest and
# std::mutex need. Everything links statically (libgcc, libstdc++,
# winpthread), so Tamsel.dll and the test programs import system DLLs only
# and load in any process without a runtime beside them.

set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${TAMSEL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAMSEL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TAMSEL_MINGW_TRIPLE}-windres)

# Headers and libraries come from the mingw sysroot only; programs (widl,
# wine, the build tools) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${TAMSEL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Test programs run under Wine of the build's bitness, in a prefix of this
# build tree's own.
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh --bits ${TAMSEL_WINE_BITS} --prefix ${CMAKE_BINARY_DIR}/wineprefix)
