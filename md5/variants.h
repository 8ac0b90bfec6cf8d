// Every block function this build has, with whether the running CPU can run
// it: for tests, fuzzing and benchmarks, which exercise each one.
#pragma once

#include <span>

#include "md5/md5.h"

namespace md5 {

struct BlocksVariant {
    const char* name;
    BlocksFunction blocks;
    bool runnable;  // false when the CPU lacks what it needs
};

std::span<const BlocksVariant> Variants();

}  // namespace md5
