// The heap allocator the LZMA SDK's encoder and decoder take.
#pragma once

#include <Types.h>

#include <cstdlib>

namespace Velora {

inline ISzAlloc& LzmaAllocator()
{
    static ISzAlloc allocator = {[](void*, size_t size) { return size ? std::malloc(size) : nullptr; },
                                 [](void*, void* address) { std::free(address); }};
    return allocator;
}

} // namespace Velora
