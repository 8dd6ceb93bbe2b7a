# Windows i686 with MinGW-w64 (Debian: g++-mingw-w64-i686): the 32-bit DLL
# that hosts load. Its tests run under 32-bit Wine (Debian: wine32, of the
# i386 architecture) in a 32-bit prefix inside the build folder, so the
# deliverable itself runs against real Win32 calls. Without it (or with
# -DAVFILE_WINE32=OFF, where the machine cannot run i386 programs) the build
# checks only the DLL's export table and the link of a host.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(AVFILE_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)

find_program(AVFILE_WINE32 wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(AVFILE_WINE32)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      env WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEARCH=win32 WINEDEBUG=-all ${AVFILE_WINE32})
endif()

# Doubles are computed in SSE registers, as on x86-64. On the x87 unit a
# result's last bits depend on the precision the thread's control word sets
# (64 bits in the main thread after MinGW's start-up, 53 in threads Windows
# creates), so a GPS position read in one thread differed from the same
# position read in another.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
