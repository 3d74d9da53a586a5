# Cross build for 32-bit Linux (i686): the tool and the tests with the data
# model of the shipping 32-bit program (4-byte pointers, DWORD_PTR, size_t),
# run under qemu's user-mode emulation. Libraries are Debian's multiarch
# :i386 packages (zlib1g-dev:i386, libgtest-dev:i386).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOOLCHAIN_PREFIX i686-linux-gnu)
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
# The cross compiler's own root, then the multiarch folders of /usr; never
# the 64-bit libraries and package files beside them.
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX} /)
set(CMAKE_IGNORE_PREFIX_PATH /usr/lib/x86_64-linux-gnu /lib/x86_64-linux-gnu)
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /lib/x86_64-linux-gnu
    /usr/lib/x86_64-linux-gnu/cmake)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static programs: the cross libstdc++ is not installed for the emulator to
# load, and each test is its own emulated process, which starts faster
# without the dynamic loader.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(ZLIB_USE_STATIC_LIBS ON)
find_program(DK_QEMU_I386 NAMES qemu-i386-static qemu-i386 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${DK_QEMU_I386})
