# Windows x86-64 with MinGW-w64 (Debian: g++-mingw-w64-x86-64). Its tests run
# under wine64 (Debian: wine64), so the Win32 half of the platform layer runs
# against real Win32 calls. Wine keeps its prefix inside the build folder.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(AVFILE_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)

find_program(AVFILE_WINE64 wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT AVFILE_WINE64)
  find_program(AVFILE_WINE64 wine64)
endif()
if(AVFILE_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      env WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEDEBUG=-all ${AVFILE_WINE64})
endif()
