# Shared by the ARM toolchain files, which set TOVAN_ARM_FLAGS first: Debian's
# armhf cross compiler, its sysroot, and qemu-arm to run test programs.
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
# -Wno-psabi: nothing here links with objects from compilers before GCC 7,
# whose argument passing of some aggregates differed; the notes are noise.
set(CMAKE_C_FLAGS_INIT "${TOVAN_ARM_FLAGS} -Wno-psabi")
set(CMAKE_CXX_FLAGS_INIT "${TOVAN_ARM_FLAGS} -Wno-psabi")

set(CMAKE_FIND_ROOT_PATH /usr/arm-linux-gnueabihf)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -L /usr/arm-linux-gnueabihf)
