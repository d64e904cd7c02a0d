# The ARMv6 test build: the shipped library's instructions (ARM state, ARMv6,
# VFPv2) with the armel calling convention (softfp: float arguments in core
# registers), from Debian's armel cross compiler. Its C library and runtime
# are ARMv5TE ARM-state code, so unlike armhf's they run on an ARM1176, and
# the whole suite runs on qemu's model of that processor (Raspberry Pi 1 and
# Zero). Nothing built here ships.
set(CMAKE_SYSTEM_PROCESSOR armv6)
set(TOVAN_ARM_TRIPLE arm-linux-gnueabi)
set(TOVAN_ARM_FLAGS "-marm -march=armv6 -mfpu=vfp -mfloat-abi=softfp")
set(TOVAN_QEMU_CPU arm1176)
set(TOVAN_TARGET_ISA armv6)
include(${CMAKE_CURRENT_LIST_DIR}/arm-common.cmake)
