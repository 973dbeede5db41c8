# What both Windows cross-builds share; the architecture files set CMAKE_SYSTEM_PROCESSOR,
# PELMO_MINGW_TRIPLET and PELMO_WIDL_ARCH first, then include this.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${PELMO_MINGW_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${PELMO_MINGW_TRIPLET}-g++)
# GCC 12 reports std::string concatenations inlined at -O3 as overlapping copies
# (-Wrestrict, GCC bug 105651); the copies are the library's own and do not overlap.
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
# -O2, as modules for this platform usually are: smaller, and quicker to build than -O3.
set(CMAKE_CXX_FLAGS_RELEASE_INIT "-O2 -DNDEBUG")
set(CMAKE_RC_COMPILER ${PELMO_MINGW_TRIPLET}-windres)
set(PELMO_WIDL ${PELMO_MINGW_TRIPLET}-widl CACHE STRING "IDL compiler")
# The message compiler of the mingw-w64 binutils, for the event log's message table.
set(PELMO_WINDMC ${PELMO_MINGW_TRIPLET}-windmc CACHE STRING "Message compiler")

set(CMAKE_FIND_ROOT_PATH /usr/${PELMO_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
