# Cross-build of pelmo.dll for 32-bit Windows (x86) with Debian's mingw-w64 packages.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(PELMO_MINGW_TRIPLET i686-w64-mingw32)
set(PELMO_WIDL_ARCH -m32 CACHE STRING "widl target switch")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
