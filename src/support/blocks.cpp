#include "support/blocks.h"

#include "support/fatal.h"

#include <cstdlib>

namespace kellix {

void* AllocRaw(std::size_t size) {
    if (size == 0) {
        return nullptr;
    }
    void* block = std::malloc(size);
    if (!block) {
        FatalError("Out of memory");
    }
    return block;
}

void FreeRaw(void* block) {
    std::free(block);
}

} // namespace kellix
