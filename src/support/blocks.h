#pragma once

#include <cstddef>

namespace kellix {

// Raw memory blocks. A size of 0 gives a null reference; exhausted memory ends the program
// through FatalError, since every caller relies on getting its block.
void* AllocRaw(std::size_t size);
void FreeRaw(void* block);

template <class T> void AllocBlock(T*& ref, std::size_t size) {
    ref = static_cast<T*>(AllocRaw(size));
}

// Releases the block and clears the reference; a null reference is harmless.
template <class T> void FreeBlock(T*& ref) {
    FreeRaw(const_cast<void*>(static_cast<const void*>(ref)));
    ref = nullptr;
}

} // namespace kellix
