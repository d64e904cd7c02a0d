# Raspbian on ARMv6 (ARM1176, VFPv2, hard float): Debian's armhf cross
# compiler with the code generation narrowed to ARMv6 in ARM state. Test
# programs run under qemu-arm; Debian's armhf C library itself needs ARMv7, so
# they run on qemu's default CPU, and the deliverable's own objects are checked
# for ARMv6 build attributes instead.
set(CMAKE_SYSTEM_PROCESSOR armv6)
set(TOVAN_ARM_FLAGS "-marm -march=armv6 -mfpu=vfp -mfloat-abi=hard")
include(${CMAKE_CURRENT_LIST_DIR}/armhf-common.cmake)
