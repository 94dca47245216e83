// The shared palette record of 8-bit surfaces (declared in the SDK header) and the library's internal palette
// helpers: the nearest-colour search, index maps and the registry hooks of the library frame.
#pragma once

#include <windows.h>
#include <stddef.h>
#include <stdint.h>

#include "kalvex2/palette.h"

static_assert(offsetof(SharedPalette, entries) == 4);
#if KX_ABI32
static_assert(offsetof(SharedPalette, inverseTable) == 1028);
static_assert(offsetof(SharedPalette, paletteHandle) == 1032);
static_assert(offsetof(SharedPalette, blackIndex) == 1036);
static_assert(offsetof(SharedPalette, references) == 1040);
static_assert(sizeof(SharedPalette) == 1044);
#endif

namespace kx {

enum { INVERSE_TABLE_SIZE = 32768 };

// The 15-bit cache key: red in the high bits.
inline unsigned ColourKey(unsigned red, unsigned green, unsigned blue)
{
    return ((red >> 3) << 10) | ((green >> 3) << 5) | (blue >> 3);
}

// The nearest-colour search over n entries. A 256-entry search reserves index 0 to black.
int NearestEntry(const PALETTEENTRY* entries, int n, COLORREF colour);

// Whether two palettes give every index the same colour (black and RGB(8,0,0) are one colour above index 0).
bool SamePalettes(const SharedPalette* a, const SharedPalette* b);

// The map that turns indices of source into the nearest indices of target; index 0 stays reserved to source's 0.
// Returns false, and leaves map alone, when the two palettes are the same and no map is needed.
bool MakeIndexMap(const SharedPalette* target, const SharedPalette* source, unsigned char map[256]);

// The colour-to-index rule of 8-bit surfaces: bit 24 marks an index in bits 0-7, anything else is searched.
int ColourToIndex(SharedPalette* palette, COLORREF colour);

// A new reference to the shared palette made from the default 256-colour palette, or null.
SharedPalette* DefaultSharedPalette();
void ReleaseSharedPalette(SharedPalette* palette);

inline COLORREF PaletteEntryColour(const SharedPalette* palette, int index)
{
    const PALETTEENTRY& e = palette->entries[index & 0xFF];
    return RGB(e.peRed, e.peGreen, e.peBlue);
}

// What the registry holds, for tests of its bookkeeping.
struct RegistryCounts {
    int records;          // thread records
    int palettes;         // palettes of the calling thread's record (-1 without a record)
    int orphans;          // palettes kept alive after their thread detached
};
RegistryCounts CountRegistry();

}  // namespace kx

class cApplication;
namespace kx {
// The palette of an application object, or null (mode 3 then uses the default palette).
SharedPalette* ApplicationPalette(cApplication* application);
// A shared palette (with a reference) of a GDI palette's first 256 entries, or of the default 256-colour palette
// when there is no handle or it yields no entries; null when the thread has no registry or no memory.
SharedPalette* PaletteFromHandle(HPALETTE handle);
}  // namespace kx
