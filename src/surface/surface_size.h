// Checked size arithmetic for surface memory. Every backend that allocates pixels or an alpha plane asks here, so
// that no width, height or depth from a host can make a wrapped byte count.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace kx {

struct SurfaceSize {
    int pitch;         // bytes per row, a multiple of `align`
    uint32_t bytes;    // pitch * height
};

// Row pitch and total bytes of a width x height surface of bitsPerPixel bits, rows padded to `align` bytes
// (a power of two). False when a dimension is not positive or a count does not fit in 31 bits.
bool ComputeSurfaceSize(int width, int height, int bitsPerPixel, int align, SurfaceSize* out);

// A coordinate worked out in 64 bits, brought back to the nearest int: far-away host rectangles stay far away
// instead of wrapping around.
inline int ClampToInt(long long v)
{
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : (int)v;
}

}  // namespace kx
