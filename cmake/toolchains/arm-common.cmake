# Shared by the ARM toolchain files, which set first:
#   TOVAN_ARM_TRIPLE  Debian's cross compiler (arm-linux-gnueabihf or
#                     arm-linux-gnueabi), whose sysroot the tests run against
#   TOVAN_ARM_FLAGS   the code generation of the target
#   TOVAN_QEMU_CPU    the processor model that qemu-arm runs test programs on
#   TOVAN_TARGET_ISA  the instruction-set profile the artifact checks hold the
#                     shared library to (tests/artifacts)
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${TOVAN_ARM_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${TOVAN_ARM_TRIPLE}-g++)
# -Wno-psabi: nothing here links with objects from compilers before GCC 7,
# whose argument passing of some aggregates differed; the notes are noise.
set(CMAKE_C_FLAGS_INIT "${TOVAN_ARM_FLAGS} -Wno-psabi")
set(CMAKE_CXX_FLAGS_INIT "${TOVAN_ARM_FLAGS} -Wno-psabi")

set(CMAKE_FIND_ROOT_PATH /usr/${TOVAN_ARM_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -cpu ${TOVAN_QEMU_CPU} -L /usr/${TOVAN_ARM_TRIPLE})
