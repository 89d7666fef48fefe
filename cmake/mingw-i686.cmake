# Cross build for 32-bit Windows with mingw-w64, run under 32-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TAMSEL_MINGW_TRIPLE i686-w64-mingw32)
set(TAMSEL_WINE_BITS 32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
