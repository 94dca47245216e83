// The 8-bit kernels' colour-to-index step. Until the palette code's cached search (FindNearestIndex and
// LookupNearestIndex) is in the library, both cached routes run the exact search: same answers as the cache gives
// for a palette without an inverse table, and the one place to switch over.
#include "kernels/palette_index.h"

namespace kx {

int KernelSearchIndex(const SharedPalette* palette, uint32_t colour)
{
    int red = colour & 0xFF, green = (colour >> 8) & 0xFF, blue = (colour >> 16) & 0xFF;
    // Black is reserved to index 0, which 8-bit surfaces use as their transparent index; no other colour maps there.
    if ((colour & 0xFFFFFF) == 0)
        return 0;
    int best = 1;
    uint32_t bestDistance = UINT32_MAX;
    for (int i = 1; i < 256; i++) {
        const PALETTEENTRY& e = palette->entries[i];
        int dr = e.peRed - red, dg = e.peGreen - green, db = e.peBlue - blue;
        uint32_t distance = (uint32_t)(dr * dr + dg * dg + db * db);
        if (distance == 0)
            return i;
        if (distance <= bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

int KernelColourToIndex(SharedPalette* palette, uint32_t colour)
{
    if (colour & 0x01000000)
        return colour & 0xFF;
    return KernelSearchIndex(palette, colour);
}

int KernelBlendIndex(SharedPalette* palette, uint32_t colour) { return KernelSearchIndex(palette, colour); }

}  // namespace kx
