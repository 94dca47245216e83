// The 8-bit kernels' colour-to-index step, the one place where kernels meet the palette code's search and its
// colour cache. A surface without a palette has nothing to search: everything lands on index 0.
#include "kernels/palette_index.h"

namespace kx {

int KernelSearchIndex(const SharedPalette* palette, uint32_t colour)
{
    return palette ? NearestEntry(palette->entries, 256, colour & 0xFFFFFF) : 0;
}

int KernelColourToIndex(SharedPalette* palette, uint32_t colour)
{
    if (colour & 0x01000000)
        return colour & 0xFF;
    return palette ? FindNearestIndex(palette, colour & 0xFFFFFF) : 0;
}

int KernelBlendIndex(SharedPalette* palette, uint32_t colour)
{
    return palette ? LookupNearestIndex(palette, colour & 0xFFFFFF) : 0;
}

}  // namespace kx

namespace kx {

int KernelPeekIndex(const SharedPalette* palette, uint32_t colour)
{
    if (palette && palette->inverseTable) {
        unsigned char cached =
            palette->inverseTable[ColourKey(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF)];
        if (cached)
            return cached;
    }
    return KernelSearchIndex(palette, colour);
}

}  // namespace kx
