// Every block function this build has: for tests, fuzzing and benchmarks,
// which exercise each one this CPU can run and say which they skip.
#pragma once

#include <span>

#include "md5/md5.h"

namespace md5 {

struct BlocksVariant {
    const char* name;
    BlocksFunction blocks;
    const char* unavailable;  // why this CPU cannot run it; null when it can
};

std::span<const BlocksVariant> Variants();

}  // namespace md5
