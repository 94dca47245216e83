// What the kernel tests draw their random cases from: the depths, the feature-bit sets every fast path is run
// under, and bytes biased towards 0x00 and 0xFF, where format edges and transparent matches live.
#pragma once

#include <stdint.h>

#include <random>

#include "kalvex2/frame.h"
#include "kernels/kernel_set.h"
#include "reference.h"

namespace ref {

const int kDepths[5] = {8, 15, 16, 24, 32};
// Plain, MMX alone, SSE2 alone (the plain loops where only MMX has a path) and everything.
const unsigned long kFeatureSets[4] = {0, CPU_MMX, CPU_SSE2, CPU_MMX | CPU_SSE | CPU_SSE2};

inline uint8_t BiasedByte(std::mt19937& rng)
{
    switch (rng() % 4) {
    case 0: return 0x00;
    case 1: return 0xFF;
    default: return (uint8_t)rng();
    }
}

// The geometry of a test surface: rows of w pixels plus padding bytes, in either order, with the standard kernels;
// the caller points rowZero at its memory.
inline void DescribeSurface(SurfaceDesc& d, int depth, int w, int h, bool bottomUp, int padding,
                            SharedPalette* palette)
{
    d.width = w;
    d.height = h;
    d.depth = depth;
    d.formatIndex = kx::FormatIndexOfDepth(depth);
    d.bytesPerPixel = BytesOf(depth);
    d.pitch = w * d.bytesPerPixel + padding;
    d.rowStep = bottomUp ? -d.pitch : d.pitch;
    d.bottomUp = bottomUp;
    d.palette = depth == 8 ? palette : nullptr;
    d.kernels = kx::StandardKernels(d.formatIndex);
}

}  // namespace ref
