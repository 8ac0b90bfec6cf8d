#include "md5/variants.h"

#include "md5/blocks.h"

namespace md5 {

std::span<const BlocksVariant> Variants() {
    static const BlocksVariant variants[] = {
        {"portable", BlocksPortable, nullptr},
        {"chained", BlocksChained, nullptr},
#if MD5DIGEST_AVX512
        {"avx512", BlocksAvx512,
         RunsAvx512(ReadCpu(CpuLeaves::All)) ? nullptr
                               : "this CPU, or its operating system, has no AVX-512F and VL"},
#endif
    };
    return variants;
}

}  // namespace md5
