#include "md5/variants.h"

#include "md5/blocks.h"

namespace md5 {

std::span<const BlocksVariant> Variants() {
    static const BlocksVariant variants[] = {
        {"portable", BlocksPortable},
        {"chained", BlocksChained},
    };
    return variants;
}

}  // namespace md5
