// The shared palette record of 8-bit surfaces. Reference-counted and shared through a per-thread registry;
// surfaces hold one reference in their descriptor.
#pragma once

#include <windows.h>
#include <stddef.h>
#include <stdint.h>

#include "kalvex2/base.h"

struct SharedPalette {
    uint16_t version;          // 0x300
    uint16_t count;            // 256 for every palette the library makes
    PALETTEENTRY entries[256];
    uint8_t* inverseTable;     // 32768-byte cache from a 15-bit colour key to an index; null until first built
    HPALETTE paletteHandle;
    int blackIndex;
    int references;
};
static_assert(offsetof(SharedPalette, entries) == 4);
#if KX_ABI32
static_assert(offsetof(SharedPalette, inverseTable) == 1028);
static_assert(sizeof(SharedPalette) == 1044);
#endif

namespace kx {

// A new reference to the shared palette made from the default 256-colour palette, or null.
SharedPalette* DefaultSharedPalette();
void ReleaseSharedPalette(SharedPalette* palette);

inline COLORREF PaletteEntryColour(const SharedPalette* palette, int index)
{
    const PALETTEENTRY& e = palette->entries[index & 0xFF];
    return RGB(e.peRed, e.peGreen, e.peBlue);
}

}  // namespace kx
