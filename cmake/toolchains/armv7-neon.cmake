# Raspbian on ARMv7 with NEON (hard float): Debian's armhf cross compiler.
# This target builds the Ne10 backend; test programs run under qemu-arm.
set(CMAKE_SYSTEM_PROCESSOR armv7-a)
set(TOVAN_ARM_FLAGS "-march=armv7-a -mfpu=neon -mfloat-abi=hard")
include(${CMAKE_CURRENT_LIST_DIR}/armhf-common.cmake)
