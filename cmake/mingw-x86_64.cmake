# Cross toolchain for the 64-bit twin of the Windows program, built from the same source for
# Wine hosts whose kernel cannot start 32-bit programs.
set(QVK_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
