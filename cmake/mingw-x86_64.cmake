# Cross build for 64-bit Windows with mingw-w64, run under 64-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TAMSEL_MINGW_TRIPLE x86_64-w64-mingw32)
set(TAMSEL_WINE_BITS 64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
