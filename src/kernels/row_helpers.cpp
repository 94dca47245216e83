// The row helpers, written once over the pixel size.
#include "kernels/row_helpers.h"

#include <string.h>

#include "kernels/pixel_formats.h"

namespace kx {

namespace {

template <class F>
uint32_t ReadPixel(const uint8_t** p)
{
    uint32_t v = F::Load(*p);
    *p += F::kBytes;
    return v;
}

// The nearest-pixel walk over one source row. emit(pixel) writes the next destination pixel and returns false to
// end the walk early. Enlarging: source pixel i is written (a >> 16) times, a carrying the fraction on. Shrinking:
// pixels are counted into a group until the accumulator has passed 1.0, then the group's first pixel is written
// and the next group starts after it. A short row gets one more pixel: the last source pixel when enlarging, the
// start of the group still open when shrinking - kept inside the row, since a group can close on the row's last
// pixel and leave the next group starting one past it.
template <int Bytes, class Emit>
inline void StretchWalk(const uint8_t* src, int n, int m, uint32_t step, Emit emit)
{
    if (n <= 0 || m <= 0)
        return;
    int written = 0;
    if (step >= 0x10000) {
        uint32_t a = step;
        for (int i = 0; i < n && written < m; i++) {
            for (uint32_t k = a >> 16; k > 0 && written < m; k--, written++)
                if (!emit(src + (ptrdiff_t)i * Bytes))
                    return;
            a = (a & 0xFFFF) + step;
        }
        if (written < m)
            emit(src + (ptrdiff_t)(n - 1) * Bytes);
        return;
    }
    uint32_t a = step;
    int group = 0, counted = 0;
    for (int i = 0; i < n && written < m; i++) {
        counted++;
        if (a >= 0x10000) {
            if (!emit(src + (ptrdiff_t)group * Bytes))
                return;
            written++;
            group += counted;
            counted = 0;
            a &= 0xFFFF;
        }
        a += step;
    }
    if (written < m)
        emit(src + (ptrdiff_t)(group < n ? group : n - 1) * Bytes);
}

template <int Bytes>
void StretchRow(const uint8_t* src, uint8_t* dst, int n, int m, uint32_t step)
{
    StretchWalk<Bytes>(src, n, m, step, [&](const uint8_t* pixel) {
        memcpy(dst, pixel, Bytes);
        dst += Bytes;
        return true;
    });
}

template <int Bytes>
void StretchRowClipped(const uint8_t* src, uint8_t* dst, int n, int m, uint32_t step, int x, int clipLeft,
                       int clipRight)
{
    if (x >= clipRight)
        return;
    StretchWalk<Bytes>(src, n, m, step, [&](const uint8_t* pixel) {
        if (x >= clipLeft)
            memcpy(dst, pixel, Bytes);
        dst += Bytes;
        return ++x < clipRight;
    });
}

}  // namespace

const ReadPixelFn kReadPixel[FORMAT_COUNT] = {ReadPixel<Format8>, ReadPixel<Format16>, ReadPixel<Format16>,
                                              ReadPixel<Format24>, ReadPixel<Format32>};
const StretchRowFn kStretchRow[FORMAT_COUNT] = {StretchRow<1>, StretchRow<2>, StretchRow<2>, StretchRow<3>,
                                                StretchRow<4>};
const StretchRowClippedFn kStretchRowClipped[FORMAT_COUNT] = {StretchRowClipped<1>, StretchRowClipped<2>,
                                                              StretchRowClipped<2>, StretchRowClipped<3>,
                                                              StretchRowClipped<4>};

}  // namespace kx
