#!/usr/bin/env bash
# Checks that a built shared deliverable asks for no more of the processor
# than its target promises: the whole file, helpers and start-up code linked
# in from toolchain runtimes included, not only our own objects.
#
# Usage: check_instruction_set.sh PROFILE LIBRARY
#   armv6       ARM1176 (Raspberry Pi 1 and Zero): ARMv6 (v6KZ allowed), no
#               Thumb-2, VFPv2, no NEON; no Thumb function; and none of the
#               instructions that ARMv6 lacks anywhere in the disassembly
#   armv7-neon  Cortex-A7 and later (Raspberry Pi 2 on): ARMv7-A with NEON
#   x86-64      the x86-64 baseline (SSE2), ELF or Windows DLL: no AVX or
#               later extension, no ymm/zmm register
# OBJDUMP names the disassembler; by default the first on PATH that reads the
# file's architecture.
set -euo pipefail

profile=$1
lib=$2
status=0

fail() {
    echo "FAIL: $lib: $*"
    status=1
}

# disassemble OBJDUMP_ARGS -- CANDIDATES...: the disassembly of the library
# by $OBJDUMP or the first candidate on PATH. Stops the check when there is
# none or it reads no instruction: an empty scan must not pass.
disassemble() {
    local args=() tool=${OBJDUMP:-}
    while [ "$1" != "--" ]; do
        args+=("$1")
        shift
    done
    shift
    if [ -z "$tool" ]; then
        for tool in "$@" ""; do
            command -v "$tool" >/dev/null 2>&1 && break
        done
    fi
    [ -n "$tool" ] || { echo "FAIL: no disassembler for $lib: install one of $*" >&2; exit 1; }
    local text
    text=$("$tool" "${args[@]}" "$lib") || { echo "FAIL: $tool could not read $lib" >&2; exit 1; }
    grep -qE $'^ *[0-9a-f]+:\t' <<< "$text" || { echo "FAIL: $tool found no instruction in $lib" >&2; exit 1; }
    echo "$text"
}

# The value of one build attribute (readelf -A), empty when absent.
attribute() {
    sed -n "s/^ *$1: //p" <<< "$attributes"
}

# Reports each kind of offending instruction that awk printed (kind TAB
# address TAB instruction), with its count and first example.
report_instructions() {
    local found=$1
    [ -z "$found" ] && return
    local kind
    while IFS= read -r kind; do
        local lines
        lines=$(awk -F'\t' -v k="$kind" '$1 == k' <<< "$found")
        fail "$(wc -l <<< "$lines") $kind instruction(s), first at $(head -n 1 <<< "$lines" | cut -f 2-)"
    done < <(cut -f 1 <<< "$found" | sort -u)
}

# Instructions that ARMv6 with VFPv2 lacks, by kind. Thumb-1 code as such
# would run (the function symbol check rules it out separately); only its
# 32-bit forms other than BL/BLX are Thumb-2.
armv6_scan() {
    awk -F'\t' '
    function kind(name) { if (k == "") k = name }
    /^ *[0-9a-f]+:\t/ {
        k = ""
        raw = $2; gsub(/ +$/, "", raw)
        m = $3; gsub(/ +$/, "", m)
        ops = $4
        sub(/[@;<].*/, "", ops)          # comments and symbol names
        if (m ~ /^\./ || m == "") next    # literal data
        if (raw ~ /^[0-9a-f][0-9a-f][0-9a-f][0-9a-f] [0-9a-f][0-9a-f][0-9a-f][0-9a-f]$/ && m !~ /^blx?$/) kind("32-bit Thumb (Thumb-2)")
        if (m ~ /^it[te]?[te]?[te]?$/) kind("IT block (Thumb-2)")
        if (m ~ /^cbn?z$/) kind("cbz/cbnz (Thumb-2)")
        if (m ~ /^mov[wt]/) kind("movw/movt (ARMv6T2)")
        if (m ~ /^(ubfx|sbfx|bfi|bfc)/) kind("bit-field (ARMv6T2)")
        if (m ~ /^mls/) kind("mls (ARMv6T2)")
        if (m ~ /^rbit/) kind("rbit (ARMv6T2)")
        if (m ~ /^(dmb|dsb|isb)/) kind("barrier (ARMv7)")
        if (m ~ /^[su]div/) kind("integer divide (ARMv7VE)")
        # Registers are read only from VFP and NEON instructions: elsewhere
        # a branch target such as d21c reads like one.
        vfp = m ~ /^v/
        has_d = vfp && ops ~ /(^|[^a-z0-9_])d[0-9]+/
        has_s = vfp && ops ~ /(^|[^a-z0-9_])s[0-9]+/
        if ((vfp && ops ~ /(^|[^a-z0-9_])q[0-9]+/) ||
            m ~ /^v(ld|st)[1-4]/ || m ~ /^v(dup|ext|tbl|tbx|zip|uzp|trn|swp|rev|bsl|bit|bif)/ ||
            (has_d && !has_s && m ~ /^v(and|orr|orn|eor|bic|mvn)/) ||
            (has_d && !has_s && m ~ /\.([isup](8|16|32|64)|f(16|32))/) ||
            (m == "vmov" && ops ~ /^ *d[0-9]+, *d[0-9]+ *$/))
            kind("NEON")
        if (vfp && ops ~ /(^|[^a-z0-9_])d(1[6-9]|2[0-9]|3[01])([^0-9]|$)/) kind("d16-d31 (VFPv3-D32)")
        plain = ops; gsub(/\[[^]]*\]/, "", plain)
        if (m ~ /^v(mov|cvt)/ && plain ~ /#/) kind("VFPv3 immediate or fixed-point")
        if (m ~ /^(vfma|vfms|vfnma|vfnms|vcvt[bt])/) kind("VFPv4 or half-precision")
        if (k != "") print k "\t" $1 "\t" m " " ops
    }'
}

x86_64_scan() {
    awk -F'\t' '
    function kind(name) { if (k == "") k = name }
    /^ *[0-9a-f]+:\t/ {
        k = ""
        insn = $2
        m = insn; sub(/ .*/, "", m)
        if (insn ~ /%zmm|%k[0-7]|\{%k/) kind("AVX-512")
        if (insn ~ /%ymm/) kind("AVX (ymm)")
        if (m ~ /^v/ && m !~ /^ver[rw]$/) kind("AVX (VEX-coded)")
        if (m ~ /^(addsubp[sd]|h(add|sub)p[sd]|mov(ddup|shdup|sldup)|lddqu|fisttp[slq]?|monitor|mwait)$/)
            kind("SSE3")
        if (m ~ /^(pabs[bwd]|palignr|ph(add|sub)(w|d|sw)|pmaddubsw|pmulhrsw|pshufb|psign[bwd])$/)
            kind("SSSE3")
        if (m ~ /^(blendv?p[sd]|dpp[sd]|extractps|insertps|movntdqa|mpsadbw|packusdw|pblend(vb|w)|pcmpeqq|pextr[bdq]|pinsr[bdq]|pm(ax|in)(sb|sd|ud|uw)|phminposuw|pmov[sz]x[bwd][wdq]|pmuldq|pmulld|ptest|round[ps][sd])$/)
            kind("SSE4.1")
        if (m ~ /^(pcmp[ei]str[im]|pcmpgtq|crc32[bwlq]?)$/) kind("SSE4.2")
        # tzcnt is left out: its encoding is rep bsf, which processors without
        # BMI run as bsf, and compilers emit it for baseline code whose
        # operand is never zero (so does the Windows C runtime).
        if (m ~ /^(popcnt|lzcnt|andn|bextr|blsi|blsmsk|blsr|bzhi|mulx|pdep|pext|rorx|sarx|shlx|shrx)[wlq]?$/)
            kind("POPCNT, LZCNT or BMI")
        if (m ~ /^(aes|pclmul|sha1|sha256|movbe|rdrand|rdseed|adcx|adox)/) kind("AES, SHA or other extension")
        if (k != "") print k "\t" $1 "\t" insn
    }'
}

check_armv6() {
    local arch thumb fp
    arch=$(attribute Tag_CPU_arch)
    thumb=$(attribute Tag_THUMB_ISA_use)
    fp=$(attribute Tag_FP_arch)
    case $arch in v6 | v6KZ) ;; *) fail "Tag_CPU_arch is '${arch:-absent}', not v6 or v6KZ" ;; esac
    case $thumb in "" | Thumb-1) ;; *) fail "Tag_THUMB_ISA_use is $thumb: Thumb-2 needs ARMv6T2 or later" ;; esac
    [ "$fp" = VFPv2 ] || fail "Tag_FP_arch is '${fp:-absent}', not VFPv2"
    [ -z "$(attribute Tag_Advanced_SIMD_arch)" ] || fail "Tag_Advanced_SIMD_arch is $(attribute Tag_Advanced_SIMD_arch)"
    # A Thumb function's symbol holds its address plus one.
    local thumb_functions
    thumb_functions=$(readelf -sW "$lib" | awk '$4 == "FUNC" && $2 ~ /[13579bdf]$/ {print $8}' | sort -u)
    if [ -n "$thumb_functions" ]; then
        fail "$(wc -l <<< "$thumb_functions") Thumb function(s): $(head -n 5 <<< "$thumb_functions" | paste -sd ' ')"
    fi
    local text
    text=$(disassemble -d -- arm-linux-gnueabihf-objdump arm-linux-gnueabi-objdump arm-none-eabi-objdump)
    report_instructions "$(armv6_scan <<< "$text")"
    summary="$arch, ${thumb:-no Thumb}, $fp, no NEON; no Thumb function; no instruction beyond ARMv6 and VFPv2"
}

check_armv7_neon() {
    local arch profile_tag simd fp
    arch=$(attribute Tag_CPU_arch)
    profile_tag=$(attribute Tag_CPU_arch_profile)
    simd=$(attribute Tag_Advanced_SIMD_arch)
    fp=$(attribute Tag_FP_arch)
    [ "$arch" = v7 ] || fail "Tag_CPU_arch is '${arch:-absent}', not v7"
    [ "$profile_tag" = Application ] || fail "Tag_CPU_arch_profile is '${profile_tag:-absent}', not Application"
    case $simd in NEONv1*) ;; *) fail "Tag_Advanced_SIMD_arch is '${simd:-absent}', not NEON" ;; esac
    case $fp in VFPv3 | VFPv3-D16 | VFPv4 | VFPv4-D16) ;; *) fail "Tag_FP_arch is '${fp:-absent}', not VFPv3 or VFPv4" ;; esac
    summary="$arch-A, $simd, $fp"
}

check_x86_64() {
    local text
    case $lib in
        *.dll) text=$(disassemble -d --no-show-raw-insn -M att -- x86_64-w64-mingw32-objdump objdump) ;;
        *) text=$(disassemble -d --no-show-raw-insn -M att -- objdump) ;;
    esac
    report_instructions "$(x86_64_scan <<< "$text")"
    summary="no instruction beyond the x86-64 baseline"
}

case $profile in
    armv6 | armv7-neon) attributes=$(readelf -A "$lib") ;;
esac
case $profile in
    armv6) check_armv6 ;;
    armv7-neon) check_armv7_neon ;;
    x86-64) check_x86_64 ;;
    *) echo "unknown profile '$profile' (armv6, armv7-neon, x86-64)" >&2; exit 2 ;;
esac

[ $status -eq 0 ] && echo "instruction set ok ($profile: $summary): $lib"
exit $status
