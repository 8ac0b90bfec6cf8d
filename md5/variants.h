// Every block function this build has: for tests, fuzzing and benchmarks,
// which exercise each one.
#pragma once

#include <span>

#include "md5/md5.h"

namespace md5 {

struct BlocksVariant {
    const char* name;
    BlocksFunction blocks;
};

std::span<const BlocksVariant> Variants();

}  // namespace md5
