// The per-format table of pixel kernels that every backend points at. Kernels never clip, lock or fail: their
// callers (the backend base class) have checked every coordinate against the clip rectangle and locked the
// surface. Pixel (x, y) is at desc->rowZero + y * desc->rowStep + x * desc->bytesPerPixel.
#pragma once

#include "kalvex2/canvas.h"

using SetPixelKernelFn = void (*)(SurfaceDesc* desc, int x, int y, COLORREF colour);
using GetPixelKernelFn = unsigned long (*)(SurfaceDesc* desc, int x, int y);

// Slots 2 to 13 are filled by the kernel tables; until a slot has its kernels it is null and unreachable.
struct BlitKernelSet {
    SetPixelKernelFn setPixel;   // 0
    GetPixelKernelFn getPixel;   // 1
    void* slots2to13[12];
};
static_assert(sizeof(BlitKernelSet) == 14 * sizeof(void*));

namespace kx {

// Format index of a depth (0..32): 0-8 -> 0, 9-15 -> 1, 16 -> 2, 17-24 -> 3, 25-32 -> 4.
int FormatIndexOfDepth(int depth);
extern const int kDepthOfFormat[5];

// The standard kernel set of a format index, or null while that format has none.
const BlitKernelSet* StandardKernels(int formatIndex);

}  // namespace kx
