# Cross-compiles the 32-bit Windows build with mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(QP_MINGW_PREFIX i686-w64-mingw32)
set(QP_WINE_BITS x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
# The exports are undecorated already (the .def file names them); this lets
# the linker match them to the compiler's stdcall names without a warning.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-Wl,--enable-stdcall-fixup")
