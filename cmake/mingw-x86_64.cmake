# 64-bit Windows: the same sources, for running the Windows tests on a machine whose
# kernel refuses 32-bit code (and so 32-bit Wine).
set(HORAX_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
