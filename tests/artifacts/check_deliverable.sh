#!/usr/bin/env bash
# Checks a built shared deliverable against its public header:
#   - it needs only the C and maths libraries at run time (ELF: libc and libm;
#     Windows DLL: KERNEL32.dll and the C runtime, msvcrt.dll or the
#     api-ms-win-crt-* set), so no C++ or compiler runtime of its own;
#   - it exports exactly the functions the header declares, and nothing else;
#   - ELF: its stack is not executable.
# Usage: check_deliverable.sh LIBRARY HEADER
set -euo pipefail

lib=$1
header=$2
status=0

case $lib in
    *.dll)
        # The cross binutils read PE files; the host objdump usually does too.
        objdump=$(command -v x86_64-w64-mingw32-objdump || command -v objdump)
        headers=$("$objdump" -p "$lib")
        needed=$(sed -n 's/.*DLL Name: //p' <<< "$headers" | sort)
        for entry in $needed; do
            case ${entry,,} in
                kernel32.dll | msvcrt.dll | api-ms-win-crt-*) ;;
                *) echo "FAIL: $lib imports $entry (only KERNEL32.dll and the C runtime are allowed)"; status=1 ;;
            esac
        done
        echo "imports: $(echo $needed)"
        defined=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^[[:space:]]*$/s/^[[:space:]]*\[ *[0-9]*\] //p' \
            <<< "$headers" | sort -u)
        ;;
    *)
        needed=$(readelf -d "$lib" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort)
        for entry in $needed; do
            case $entry in
                libc.so.* | libm.so.*) ;;
                *) echo "FAIL: $lib needs $entry (only libc and libm are allowed)"; status=1 ;;
            esac
        done
        echo "NEEDED: $(echo $needed)"
        # Without a GNU-stack entry, or with one that asks for it, the loader
        # makes the stack of every program that loads the library executable.
        stack=$(readelf -lW "$lib" | awk '$1 == "GNU_STACK" {print $(NF - 1)}')
        case $stack in
            RW) ;;
            "") echo "FAIL: $lib has no GNU_STACK entry, so its stack would be executable"; status=1 ;;
            *) echo "FAIL: $lib asks for a stack with flags $stack (RW expected)"; status=1 ;;
        esac
        defined=$(nm -D --defined-only "$lib" | awk '{print $NF}' | sed 's/@.*//' | sort -u)
        ;;
esac

# Every declaration that carries the export macro, by name.
declared=$(grep -v '^[[:space:]]*#' "$header" | tr '\n' ' ' | grep -oE 'TOVAN_SDK_API [^;(]*\(' |
    sed -E 's/.*[^A-Za-z0-9_]([A-Za-z_][A-Za-z0-9_]*)[[:space:]]*\($/\1/' | sort -u)

if [ -z "$declared" ]; then
    echo "FAIL: no exported declarations found in $header"
    status=1
fi
for name in $defined; do
    if ! grep -qx "$name" <<< "$declared"; then
        echo "FAIL: $lib exports $name, which the public header does not declare"
        status=1
    fi
done
for name in $declared; do
    if ! grep -qx "$name" <<< "$defined"; then
        echo "FAIL: the public header declares $name, which $lib does not export"
        status=1
    fi
done
for name in $declared; do
    case $name in
        new_tovan_sdk | del_tovan_sdk | tovan_sdk_*) ;;
        *) echo "FAIL: exported name $name is outside the interface's naming"; status=1 ;;
    esac
done
echo "exports: $(echo $defined | wc -w) symbols, header declares $(echo $declared | wc -w)"

[ $status -eq 0 ] && echo "deliverable ok: $lib"
exit $status
