// Colour to index: the nearest-colour search, its 15-bit inverse cache, index maps between palettes, and the small
// accessors of a shared palette (GDI handle, entry copies).
#include "surface/palette.h"

#include <limits.h>
#include <string.h>

#include "kalvex2/memory.h"

namespace kx {

int NearestEntry(const PALETTEENTRY* entries, int n, COLORREF colour)
{
    if (n <= 0)
        return 0;
    int r = GetRValue(colour), g = GetGValue(colour), b = GetBValue(colour);
    int first = 0;
    if (n == 256) {
        // Index 0 is the transparent index of 8-bit surfaces: only black itself may land there.
        if ((r | g | b) == 0)
            return 0;
        first = 1;
    }
    int best = first;
    unsigned bestDistance = UINT_MAX;
    for (int i = first; i < n; i++) {
        int dr = entries[i].peRed - r, dg = entries[i].peGreen - g, db = entries[i].peBlue - b;
        unsigned d = (unsigned)(dr * dr + dg * dg + db * db);
        if (d == 0)
            return i;
        if (d <= bestDistance) {  // among equally near entries the last one wins
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

static bool SameColour(const PALETTEENTRY& a, const PALETTEENTRY& b, int index)
{
    auto rgb = [index](const PALETTEENTRY& e) -> unsigned {
        unsigned v = e.peRed | e.peGreen << 8 | e.peBlue << 16;
        return index > 0 && v == 0 ? 8u : v;
    };
    return rgb(a) == rgb(b);
}

bool SamePalettes(const SharedPalette* a, const SharedPalette* b)
{
    // The count matters too: a palette of 16 entries searches differently from one of 256 that starts alike.
    if (a->count != b->count)
        return false;
    for (int i = 0; i < 256; i++)
        if (!SameColour(a->entries[i], b->entries[i], i))
            return false;
    return true;
}

bool MakeIndexMap(const SharedPalette* target, const SharedPalette* source, unsigned char map[256])
{
    if (SamePalettes(target, source))
        return false;
    int rest = target->count - 1;
    for (int i = 0; i < 256; i++) {
        const PALETTEENTRY& e = source->entries[i];
        COLORREF c = RGB(e.peRed, e.peGreen, e.peBlue);
        if (i == 0)
            map[i] = (unsigned char)NearestEntry(target->entries, target->count, c);
        else
            map[i] = rest > 0 ? (unsigned char)(1 + NearestEntry(target->entries + 1, rest, c)) : 0;
    }
    return true;
}

int ColourToIndex(SharedPalette* palette, COLORREF colour)
{
    if (colour & 0x01000000)
        return (int)(colour & 0xFF);
    return FindNearestIndex(palette, colour);
}

}  // namespace kx

using namespace kx;

int FindNearestIndex(SharedPalette* palette, COLORREF colour)
{
    if (!palette || (colour & 0xFFFFFF) == 0)
        return 0;
    return LookupNearestIndex(palette, colour);
}

int LookupNearestIndex(SharedPalette* palette, COLORREF colour)
{
    if (!palette)
        return 0;
    if (!palette->inverseTable)
        return NearestEntry(palette->entries, palette->count, colour);
    unsigned char& cached = palette->inverseTable[ColourKey(GetRValue(colour), GetGValue(colour), GetBValue(colour))];
    if (cached)
        return cached;
    // A cached 0 means "not computed yet", so index 0 is never cached: black is answered before the table, and
    // a colour whose search gives 0 is simply searched again next time.
    int index = NearestEntry(palette->entries, palette->count, colour);
    cached = (unsigned char)index;
    return index;
}

int BuildInverseTable(SharedPalette* palette)
{
    if (!palette)
        return 0;
    if (palette->inverseTable)
        return 1;
    void* table = nullptr;
    if (!CallocRetry(INVERSE_TABLE_SIZE, &table))
        return 0;
    palette->inverseTable = static_cast<unsigned char*>(table);
    // Only the entries the palette has: a short palette's unused zero entries would claim the near-black key.
    for (int i = 0; i < palette->count && i < 256; i++) {
        const PALETTEENTRY& e = palette->entries[i];
        palette->inverseTable[ColourKey(e.peRed, e.peGreen, e.peBlue)] = (unsigned char)i;
    }
    return 1;
}

HPALETTE GetPaletteHandle(SharedPalette* palette)
{
    if (!palette)
        return nullptr;
    if (!palette->paletteHandle) {
        struct {
            WORD version;
            WORD count;
            PALETTEENTRY entries[256];
        } copy;
        copy.version = 0x300;
        copy.count = palette->count;
        memcpy(copy.entries, palette->entries, sizeof copy.entries);
        // The static colours stay the system's; the others must not be collapsed onto them when realised.
        for (int i = 10; i < 246; i++)
            copy.entries[i].peFlags = PC_NOCOLLAPSE;
        palette->paletteHandle = CreatePalette(reinterpret_cast<LOGPALETTE*>(&copy));
    }
    return palette->paletteHandle;
}

SharedPalette* CopyPaletteEntries(SharedPalette* palette, PALETTEENTRY* destination, int first, int count)
{
    // Cut to the entries that exist: reading past them would copy whatever lies after the record.
    if (palette && destination && first >= 0 && first < palette->count && count > 0) {
        int n = palette->count - first < count ? palette->count - first : count;
        memcpy(destination, palette->entries + first, (size_t)n * sizeof(PALETTEENTRY));
    }
    return palette;
}
