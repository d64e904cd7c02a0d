# Raspbian on ARMv6 (ARM1176, VFPv2, hard float): Debian's armhf cross
# compiler with the code generation narrowed to ARMv6 in ARM state. Test
# programs run under qemu-arm; Debian's armhf C library itself needs ARMv7, so
# they run on qemu's default CPU, and the deliverable's own objects are checked
# for ARMv6 build attributes instead.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR armv6)

set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
# -Wno-psabi: nothing here links with objects from compilers before GCC 7,
# whose argument passing of some aggregates differed; the notes are noise.
set(CMAKE_C_FLAGS_INIT "-marm -march=armv6 -mfpu=vfp -mfloat-abi=hard -Wno-psabi")
set(CMAKE_CXX_FLAGS_INIT "-marm -march=armv6 -mfpu=vfp -mfloat-abi=hard -Wno-psabi")

set(CMAKE_FIND_ROOT_PATH /usr/arm-linux-gnueabihf)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -L /usr/arm-linux-gnueabihf)
