# Raspbian on ARMv6 (ARM1176, VFPv2, hard float), the shipped library:
# Debian's armhf cross compiler with the code generation narrowed to ARMv6 in
# ARM state.
#
# Debian's armhf start files, libgcc and C++ runtime are ARMv7 Thumb-2 code,
# which an ARM1176 cannot run, so the shared library links none of them (see
# cmake/TovanLibrary.cmake). The run-time helpers it needs (integer division,
# 64-bit conversions) come from the libgcc of GCC's ARMv5TE + VFP hard-float
# multilib for bare-metal targets instead: ARM-state code with the same
# calling convention, which runs on ARMv6.
#
# Test programs link Debian's armhf C library, which needs ARMv7 too, so here
# they run on qemu's Cortex-A7. The raspbian-armv6-armel preset builds the
# same instructions against Debian's armel runtime and runs the whole suite on
# qemu's ARM1176.
set(CMAKE_SYSTEM_PROCESSOR armv6)
set(TOVAN_ARM_TRIPLE arm-linux-gnueabihf)
set(TOVAN_ARM_FLAGS "-marm -march=armv6 -mfpu=vfp -mfloat-abi=hard")
set(TOVAN_QEMU_CPU cortex-a7)
set(TOVAN_TARGET_ISA armv6)
include(${CMAKE_CURRENT_LIST_DIR}/arm-common.cmake)

set(_multilib_flags -marm -march=armv5te+fp -mfloat-abi=hard)
find_program(TOVAN_ARM_EABI_GCC arm-none-eabi-gcc)
if(NOT TOVAN_ARM_EABI_GCC)
  message(FATAL_ERROR "arm-none-eabi-gcc is missing (scripts/install-cross-deps.sh arm installs it): "
                      "the ARMv6 library takes its run-time helpers from its libgcc")
endif()
# Without that multilib the compiler would name its default libgcc, which is
# soft-float: refuse rather than link the wrong calling convention.
execute_process(COMMAND ${TOVAN_ARM_EABI_GCC} ${_multilib_flags} -print-multi-directory
                OUTPUT_VARIABLE _multilib OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${TOVAN_ARM_EABI_GCC} ${_multilib_flags} -print-libgcc-file-name
                OUTPUT_VARIABLE TOVAN_DELIVERABLE_LIBGCC OUTPUT_STRIP_TRAILING_WHITESPACE)
if(_multilib STREQUAL "." OR NOT EXISTS "${TOVAN_DELIVERABLE_LIBGCC}")
  message(FATAL_ERROR "${TOVAN_ARM_EABI_GCC} has no ARMv5TE hard-float multilib libgcc "
                      "(directory '${_multilib}', file '${TOVAN_DELIVERABLE_LIBGCC}')")
endif()
