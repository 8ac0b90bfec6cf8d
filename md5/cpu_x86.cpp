// Which block function this x86-64 CPU gets. Built with the program's own
// flags: the AVX-512 instructions live only in blocks_avx512.cpp, behind
// its target attribute, and this file only asks the CPU what it runs.
//
// It asks CPUID itself, no more leaves than it needs, rather than through the compilers'
// __builtin_cpu_supports: that pulls in a runtime constructor that reads a
// dozen leaves at every start, and where CPUID traps to a hypervisor, as in
// most virtual machines, that cost a run on an empty file 804 us against
// 733 us (Intel Xeon, family 6, model 167, under KVM).
#include <cpuid.h>

#include <cstring>

#include "md5/blocks.h"

namespace md5 {
namespace {

// XCR0, the extended state the operating system saves on a switch; asked
// only where CPUID leaf 1 says the system set OSXSAVE.
__attribute__((target("xsave"))) unsigned long long EnabledState() {
    return __builtin_ia32_xgetbv(0);
}

}  // namespace

CpuFacts ReadCpu(CpuLeaves leaves) {
    CpuFacts cpu{};
    unsigned level = 0, eax = 0, ebx = 0, ecx = 0, edx = 0;
    __cpuid(0, level, ebx, ecx, edx);
    // The vendor's twelve characters come in EBX, EDX, ECX, in that order.
    const unsigned vendor[3] = {ebx, edx, ecx};
    std::memcpy(cpu.vendor, vendor, sizeof vendor);
    if (leaves == CpuLeaves::ForTheChoice && !Avx512Pays(cpu)) {
        return cpu;
    }
    __cpuid(1, eax, ebx, cpu.leaf1Ecx, edx);
    if ((cpu.leaf1Ecx & bit_OSXSAVE) != 0) {
        cpu.xcr0 = EnabledState();
    }
    if (level >= 7) {
        __cpuid_count(7, 0, eax, cpu.leaf7Ebx, ecx, edx);
    }
    return cpu;
}

bool RunsAvx512(const CpuFacts& cpu) {
    // The opmask and both halves of the ZMM registers (bits 5-7), with the
    // SSE and AVX state (1-2): without them enabled by the system the
    // instructions fault even where CPUID lists them. XCR0 means nothing
    // unless the system set OSXSAVE.
    return (cpu.leaf1Ecx & bit_OSXSAVE) != 0 && (cpu.xcr0 & 0xE6) == 0xE6 &&
           (cpu.leaf7Ebx & bit_AVX512F) != 0 && (cpu.leaf7Ebx & bit_AVX512VL) != 0;
}

bool Avx512Pays(const CpuFacts& cpu) {
    // An AVX-512 step is 4 instructions on the chain against 4 or 5 scalar
    // ones, so it wins only where vpaddd, vpternlogd and vprold take one
    // cycle each:
    // - Intel takes one cycle for each from Skylake-X on; measured here 1.12x
    //   the scalar code on a Xeon (family 6, model 207), and the same
    //   technique was measured 12.5% faster elsewhere on Granite Rapids.
    // - Zen 4 takes two cycles for vprold, which makes the step 5 cycles, no
    //   faster than the scalar code.
    // - Zen 5 takes two cycles for all three, at every vector width; measured
    //   here at half the scalar code's speed (EPYC, family 26, model 2).
    // Other vendors' CPUs are not known to be faster.
    return std::strcmp(cpu.vendor, "GenuineIntel") == 0;
}

BlocksFunction ChooseBlocks(const CpuFacts& cpu) {
    return Avx512Pays(cpu) && RunsAvx512(cpu) ? BlocksAvx512 : BlocksChained;
}

}  // namespace md5
