# Cross-build of pelmo.dll for 64-bit Windows with Debian's mingw-w64 packages.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(PELMO_MINGW_TRIPLET x86_64-w64-mingw32)
set(PELMO_WIDL_ARCH -m64 CACHE STRING "widl target switch")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
