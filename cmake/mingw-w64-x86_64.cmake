# Cross-compiles the 64-bit Windows build with mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QP_MINGW_PREFIX x86_64-w64-mingw32)
set(QP_WINE_BITS x64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
