#!/usr/bin/env bash
# Installs the cross compilers and emulators that the ARM and Windows
# deliverables need, with apt-get, only when they are missing:
#   g++-arm-linux-gnueabihf  ARMv6 and ARMv7 cross compiler (armhf)
#   gcc-arm-none-eabi        the libgcc whose ARMv5TE hard-float multilib the
#                            ARMv6 library takes its run-time helpers from
#   g++-arm-linux-gnueabi    the ARMv6 test build (armel), whose runtime runs
#                            on an ARM1176
#   qemu-user                qemu-arm, which runs the ARM test programs
#   g++-mingw-w64-x86-64     Windows x86-64 cross compiler
#   wine64                   runs the Windows test programs
# Usage: scripts/install-cross-deps.sh [arm] [windows]   (default: both)
set -euo pipefail

want_arm=0
want_windows=0
if [ $# -eq 0 ]; then
    want_arm=1
    want_windows=1
fi
for arg in "$@"; do
    case $arg in
        arm) want_arm=1 ;;
        windows) want_windows=1 ;;
        *) echo "unknown group '$arg' (arm, windows)" >&2; exit 2 ;;
    esac
done

have_wine() {
    command -v wine64 >/dev/null 2>&1 || [ -x /usr/lib/wine/wine64 ] || command -v wine >/dev/null 2>&1
}

missing=()
if [ $want_arm -eq 1 ]; then
    command -v arm-linux-gnueabihf-g++ >/dev/null 2>&1 || missing+=(g++-arm-linux-gnueabihf)
    command -v arm-none-eabi-gcc >/dev/null 2>&1 || missing+=(gcc-arm-none-eabi)
    command -v arm-linux-gnueabi-g++ >/dev/null 2>&1 || missing+=(g++-arm-linux-gnueabi)
    command -v qemu-arm >/dev/null 2>&1 || missing+=(qemu-user)
fi
if [ $want_windows -eq 1 ]; then
    command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 || missing+=(g++-mingw-w64-x86-64)
    have_wine || missing+=(wine64)
fi

if [ ${#missing[@]} -eq 0 ]; then
    echo "cross tools present"
    exit 0
fi
exec bash "$(dirname "$0")/install-deps.sh" "${missing[@]}"
