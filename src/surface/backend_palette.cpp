// The palette slots of the backend base class. They work on surfaces of at most 8 bits (one byte per pixel) and
// fail on deeper ones; pixels are touched only through the descriptor, inside Lock/Unlock.
#include "backend.h"

#include <string.h>

#include "surface/palette.h"

using namespace kx;

static bool Indexed(const SurfaceDesc& d)
{
    return d.depth >= 1 && d.depth <= 8;
}

void cSurfaceBackend::RemapFromPalette(SharedPalette* palette)
{
    unsigned char map[256];
    if (Indexed(d) && d.palette && palette && palette != d.palette && MakeIndexMap(d.palette, palette, map))
        ApplyIndexMap(map);
}

void cSurfaceBackend::ApplyIndexMap(const unsigned char* map)
{
    if (!map || !Indexed(d) || d.width <= 0 || d.height <= 0 || !Lock())
        return;
    if (d.rowZero) {
        for (int y = 0; y < d.height; y++) {
            unsigned char* p = d.rowZero + (ptrdiff_t)y * d.rowStep;
            for (int x = 0; x < d.width; x++)
                p[x] = map[p[x]];
        }
    }
    Unlock();
}

int cSurfaceBackend::SetPalette(SharedPalette* palette, int remap)
{
    // An 8-bit surface always keeps a palette: its pixels mean nothing without one.
    if (!Indexed(d) || !palette)
        return 0;
    if (palette == d.palette)
        return 1;
    if (remap && d.width > 0 && d.height > 0) {
        if (!d.palette)
            return 0;
        // The picture keeps its colours: each pixel moves to the new palette's nearest entry.
        unsigned char map[256];
        if (MakeIndexMap(palette, d.palette, map))
            ApplyIndexMap(map);
    }
    AddPaletteRef(palette);
    ReleasePalette(d.palette);
    d.palette = palette;
    return 1;
}

int cSurfaceBackend::SetPaletteEntries(const LOGPALETTE* palette, int remap)
{
    if (!Indexed(d))
        return 0;
    SharedPalette* shared = GetSharedPalette(palette);
    if (!shared)
        return 0;
    int result = SetPalette(shared, remap);
    ReleasePalette(shared);
    return result;
}

int cSurfaceBackend::SetPaletteFrom(cSurfaceBackend* other, int remap)
{
    if (!other || !Indexed(other->d))
        return 0;
    SharedPalette* palette = other->GetPalette();
    return palette ? SetPalette(palette, remap) : 0;
}

int cSurfaceBackend::GetPaletteEntries(PALETTEENTRY* destination, int first, int count)
{
    if (!Indexed(d) || !d.palette)
        return 0;
    int entries = d.palette->count;
    if (!destination)
        return entries;
    if (first < 0 || first >= entries || count <= 0)
        return 0;
    int n = entries - first < count ? entries - first : count;
    memcpy(destination, d.palette->entries + first, (size_t)n * sizeof(PALETTEENTRY));
    return count;
}

SharedPalette* cSurfaceBackend::GetPalette() { return d.palette; }

int cSurfaceBackend::GetLogPalette(LOGPALETTE* out)
{
    if (!Indexed(d) || !d.palette)
        return 0;
    int count = d.palette->count;
    if (out) {
        out->palVersion = d.palette->version;
        out->palNumEntries = (WORD)count;
        memcpy(out->palPalEntry, d.palette->entries, (size_t)count * sizeof(PALETTEENTRY));
    }
    return count;
}

int cSurfaceBackend::NearestIndex(COLORREF colour)
{
    if (!Indexed(d) || !d.palette)
        return 0;
    return ColourToIndex(d.palette, colour);
}

COLORREF cSurfaceBackend::IndexToColour(int index)
{
    if (!Indexed(d) || !d.palette || index < 0 || index >= d.palette->count)
        return 0;
    return PaletteEntryColour(d.palette, index);
}

int cSurfaceBackend::GetBlackIndex()
{
    if (!Indexed(d))
        return 0;
    return d.palette ? d.palette->blackIndex : 4;
}
