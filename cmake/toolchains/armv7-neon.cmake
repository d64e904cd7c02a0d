# Raspbian on ARMv7 with NEON (hard float): Debian's armhf cross compiler.
# This target builds the Ne10 backend; test programs run on qemu's Cortex-A7,
# the Raspberry Pi 2's processor and the oldest this library is built for.
set(CMAKE_SYSTEM_PROCESSOR armv7-a)
set(TOVAN_ARM_TRIPLE arm-linux-gnueabihf)
set(TOVAN_ARM_FLAGS "-march=armv7-a -mfpu=neon -mfloat-abi=hard")
set(TOVAN_QEMU_CPU cortex-a7)
set(TOVAN_TARGET_ISA armv7-neon)
include(${CMAKE_CURRENT_LIST_DIR}/arm-common.cmake)
