# Linux i686: the host's compilers with -m32 (Debian: g++-multilib). The
# kernel of the build machine need not run i386 programs: the tests run
# through qemu-i386 (Debian: qemu-user).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -m32)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

find_program(AVFILE_QEMU_I386 qemu-i386)
if(AVFILE_QEMU_I386)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${AVFILE_QEMU_I386})
endif()
