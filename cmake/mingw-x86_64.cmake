# 64-bit Windows: the same sources, for machines whose Wine cannot run
# 32-bit programs (see harness/wine/host-arch).
set(MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
