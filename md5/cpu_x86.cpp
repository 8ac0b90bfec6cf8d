// Which block function this x86-64 CPU gets. Built with the program's own
// flags: the AVX-512 instructions live only in blocks_avx512.cpp, behind
// its target attribute, and this file only asks the CPU what it runs.
#include "md5/blocks.h"

namespace md5 {

bool CpuRunsAvx512() {
    __builtin_cpu_init();
    // The compilers' runtimes (libgcc, compiler-rt) report AVX-512 only when
    // XGETBV also shows the opmask and ZMM state enabled by the operating
    // system; without that the instructions fault even where CPUID lists them.
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
}

bool Avx512Wins() {
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
    return __builtin_cpu_is("intel");
}

}  // namespace md5
