# Cross build for 32-bit Windows (the shipping target).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Code for the 386: the program must start on any PC that ran the first
# Windows 95 or NT 4.0, so no CMOV, BSWAP, CMPXCHG or later instructions.
# Arguments pushed rather than stored into a frame reserved up front, and
# the stack kept at the 4-byte alignment the system guarantees anyway: both
# make every call shorter. No stack probes: no frame is large enough to need
# one (CMakeLists.txt makes a larger one an error).
set(DK_I686_FLAGS "-march=i386 -mtune=generic -mno-accumulate-outgoing-args \
-mpreferred-stack-boundary=2 -mno-stack-arg-probe")
set(CMAKE_C_FLAGS_INIT "${DK_I686_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${DK_I686_FLAGS}")
