# 32-bit Windows: the program as it is released.
set(MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
