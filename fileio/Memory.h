#pragma once
#include <cstdint>

// Heap blocks for the core. Allocation failure ends the process: no caller
// ever sees a null pointer. Blocks are not cleared unless the name says so.
void* AllocateBlock(uint32_t size);
void* AllocateClearedBlock(uint32_t size);
void ReleaseBlock(void* block);  // a null block is ignored

// MinGW places zero-initialised globals of -fdata-sections in .data, where
// they take their size in the image; declared common, a large buffer goes to
// .bss instead, which takes none.
#define ZELVIX_NOT_IN_IMAGE __attribute__((common))

// Owns one heap block for the length of a scope.
template <typename T>
class HeapBlock {
public:
    explicit HeapBlock(uint32_t count, bool cleared = false)
        : data(static_cast<T*>(cleared ? AllocateClearedBlock(count * sizeof(T))
                                       : AllocateBlock(count * sizeof(T))))
    {
    }
    ~HeapBlock() { ReleaseBlock(data); }
    HeapBlock(const HeapBlock&) = delete;
    HeapBlock& operator=(const HeapBlock&) = delete;
    T* get() const { return data; }
    T& operator[](uint32_t index) const { return data[index]; }

private:
    T* data;
};
