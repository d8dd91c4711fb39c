# Cross toolchain for the 32-bit Windows program, the one that ships.
set(QVK_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
