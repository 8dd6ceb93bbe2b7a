# Windows i686 with MinGW-w64 (Debian: g++-mingw-w64-i686): the 32-bit DLL
# that hosts load. Its programs cannot run on the build machine; the build
# checks the DLL's export table and imports.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(AVFILE_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
