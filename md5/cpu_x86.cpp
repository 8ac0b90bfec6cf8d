// Which block function this x86-64 CPU gets. Compiled for the baseline
// instruction set, like everything but blocks_avx512.cpp: it runs before
// anything about the CPU is known.
#include "md5/blocks.h"

#if defined(__AVX512F__) || defined(__AVX2__)
#error "cpu_x86.cpp must be built for the baseline x86-64 instruction set"
#endif

namespace md5 {

bool CpuRunsAvx512() {
    __builtin_cpu_init();
    // The compilers' runtimes (libgcc, compiler-rt) report AVX-512 only when
    // XGETBV also shows the opmask and ZMM state enabled by the operating
    // system; without that the instructions fault even where CPUID lists them.
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
}

bool Avx512Wins() {
    // The AVX-512 steps are 4 instructions of one cycle each on every Intel
    // core with AVX-512VL (Skylake-X onwards), against 4.5 on average for
    // the scalar ones. On AMD, Zen 5 is reported to take two cycles for
    // simple vector integer operations, which would make it slower than the
    // scalar code, and Zen 4 has not been measured: the scalar code stays.
    return __builtin_cpu_is("intel");
}

}  // namespace md5
