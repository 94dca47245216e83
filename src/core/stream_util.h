// Small helpers shared by the stream files.
#pragma once

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "kalvex2/memory.h"

namespace kx {

// Exported members may be called through an ordinal with a null object. The compiler may assume `this` is never
// null and drop the test, so the pointer is passed through an opaque step first.
template <class T>
inline bool IsNullObject(T* self)
{
    void* p = self;
    asm("" : "+r"(p));
    return p == nullptr;
}

// A heap copy of a text from the retrying allocator, or null.
inline char* CopyText(const char* text)
{
    if (!text)
        return nullptr;
    size_t n = strlen(text) + 1;
    void* block = nullptr;
    if (!AllocRetry(n, &block))
        return nullptr;
    memcpy(block, text, n);
    return static_cast<char*>(block);
}

inline void FreeText(char*& text)
{
    void* block = text;
    FreeAndNull(&block);
    text = nullptr;
}

}  // namespace kx
