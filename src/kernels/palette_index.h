// How 8-bit kernels turn an RGB value into a palette index, and a palette index into an RGB value. Every 8-bit
// kernel goes through these, so that the choice of search (cached or not) is made in palette_index.cpp alone.
#pragma once

#include <stdint.h>

#include "surface/palette.h"

namespace kx {

// The colour of a palette entry as an RGB value.
inline uint32_t KernelEntryColour(const SharedPalette* palette, uint32_t index)
{
    const PALETTEENTRY& e = palette->entries[index & 0xFF];
    return (uint32_t)e.peRed | (uint32_t)e.peGreen << 8 | (uint32_t)e.peBlue << 16;
}

// The plain nearest-colour search over the 256 entries: black gives index 0; any other colour is matched against
// entries 1 to 255 by the sum of squared differences, an exact match ending the search at once and, among
// equally near entries, the last one winning. Bits 24-31 of the colour are ignored.
int KernelSearchIndex(const SharedPalette* palette, uint32_t colour);

// Pixel access: a colour with bit 24 set is the index in its low byte, any other is searched for.
int KernelColourToIndex(SharedPalette* palette, uint32_t colour);

// Blended colours: the index the palette's colour cache gives, searching when it has none.
int KernelBlendIndex(SharedPalette* palette, uint32_t colour);

}  // namespace kx

namespace kx {

// The index the palette's colour cache gives, or the plain search's answer when it has none - without adding
// that answer to the cache.
int KernelPeekIndex(const SharedPalette* palette, uint32_t colour);

}  // namespace kx
