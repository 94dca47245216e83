// Packed device-independent bitmaps: the bounds every header is held to before a byte of it is used, and
// cDibView, the temporary backend over such a bitmap's rows (it owns nothing and cannot make instances).
#pragma once

#include "backend.h"

#include <stdint.h>

namespace kx {

// What a bounded header describes. The colour table (or the three masks of a bit-field bitmap) follows the
// 40-byte header; the rows follow the table, padded to 4 bytes, bottom-up unless the header's height is negative.
struct DibLayout {
    int width;
    int height;          // rows, always positive
    bool topDown;
    int bitCount;        // 1, 4, 8, 16, 24 or 32
    int depth;           // the surface format the rows are read as: 8, 15, 16, 24, 32 (0 for 1 and 4 bits)
    int colours;         // colour table entries (bit counts up to 8), else 0
    uint32_t tableBytes; // bytes between the 40-byte header and the default start of the rows
    int pitch;           // bytes per row
    uint32_t pixelBytes; // pitch x height
};

// Accepts a header only when every field is in bounds: header size 40; no compression, or bit fields at 16 and
// 32 bits; bit counts 1, 4, 8, 16, 24, 32; at most 2^bits colours (0 meaning all); width > 0; a height other than
// 0 and INT_MIN; rows whose byte count fits in 31 bits. `masks` (red, green, blue) is read for bit fields when
// given; null checks the header alone. Returns 0 or ERR_BAD_FORMAT.
int CheckDibHeader(const BITMAPINFOHEADER* header, const uint32_t* masks, DibLayout* out);

class cDibView : public cSurfaceBackend {
public:
    cDibView() = default;
    void Destroy(unsigned flags) override { DestroyBackend(this, flags); }
    cSurfaceBackend* MakeInstance(int, int) override { return nullptr; }

    // Views the bitmap that starts at `header`; bits null means the rows follow the colour table (or masks).
    // With `palette`, a bitmap of up to 8 bits brings its colour table as the view's shared palette. Returns 0,
    // ERR_BAD_FORMAT (the view stays at depth 0) or ERR_NO_MEMORY (no palette could be made).
    int Over(const BITMAPINFOHEADER* header, unsigned char* bits, bool palette);
};

}  // namespace kx

namespace kx {

// Widens the rows of a 1- or 4-bit bitmap into a new zero-filled 8-bit packed bitmap with the same width and
// signed height (free it with FreeAndNull; null when no memory could be had). Its 256-entry colour table is
// `base` with the bitmap's own colours written over entries 10 onwards; a 4-bit value n becomes 0 for n = 0 and
// n + 10 otherwise, a 1-bit value (most significant bit first) 10 or 11.
BITMAPINFOHEADER* WidenToEightBits(const BITMAPINFOHEADER* header, const unsigned char* rows, const DibLayout& l,
                                   const PALETTEENTRY* base);

// Loads a packed bitmap whose first `available` bytes (header, table and, with null bits, the rows) may be read.
int LoadBoundedDib(cCanvas* canvas, const BITMAPINFOHEADER* header, const unsigned char* bits, unsigned long flags,
                   uint64_t available);

}  // namespace kx
