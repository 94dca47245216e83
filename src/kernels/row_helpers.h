// Per-format helpers that the generic stretch and the blank test call once per row: read one pixel and advance,
// stretch one row by nearest pixels, and the same with a destination clip. Each table has five entries indexed by
// format index; 15 and 16 bits share theirs (only the pixel size matters here).
#pragma once

#include <stdint.h>

#include "kernels/kernel_set.h"

namespace kx {

// The pixel at *p as an unsigned value (24-bit: 0x00RRGGBB from its three bytes); *p moves on by one pixel.
using ReadPixelFn = uint32_t (*)(const uint8_t** p);

// Writes m destination pixels from n source pixels (n, m >= 1). step is the 16.16 number of destination pixels
// per source pixel, StretchStep(n, m). Enlarging (step >= 1.0) repeats each source pixel as often as the
// accumulated step says; shrinking writes the first pixel of each group of source pixels that one destination
// pixel covers. Either way a row that came out short gets one more pixel, taken inside the source row: nothing
// past source pixel n - 1 is read, and nothing past destination pixel m - 1 is written.
using StretchRowFn = void (*)(const uint8_t* src, uint8_t* dst, int n, int m, uint32_t step);

// The same walk with dst at destination column x: only columns in [clipLeft, clipRight) are written, at
// dst + (column - x) pixels, and the walk ends as soon as the column reaches clipRight.
using StretchRowClippedFn = void (*)(const uint8_t* src, uint8_t* dst, int n, int m, uint32_t step, int x,
                                     int clipLeft, int clipRight);

inline uint32_t StretchStep(int n, int m) { return (uint32_t)(((uint64_t)(uint32_t)m << 16) / (uint32_t)n); }

extern const ReadPixelFn kReadPixel[FORMAT_COUNT];
extern const StretchRowFn kStretchRow[FORMAT_COUNT];
extern const StretchRowClippedFn kStretchRowClipped[FORMAT_COUNT];

}  // namespace kx
