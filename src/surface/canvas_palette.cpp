// The palette members of cCanvas. Palette changes are refused on surfaces deeper than 8 bits and reported with
// ERR_UNSUPPORTED; the queries forward to the backend, which answers 0 on such surfaces.
#include "backend.h"

#include "surface/palette.h"

using namespace kx;

static bool IndexedCanvas(const cCanvas* c) { return c->backend->d.depth < 9; }

int cCanvas::SetPalette(SharedPalette* palette, int remap)
{
    if (IndexedCanvas(this) && backend->SetPalette(palette, remap))
        return 1;
    lastError = ERR_UNSUPPORTED;
    return 0;
}

int cCanvas::SetPaletteEntries(const LOGPALETTE* palette, int remap)
{
    if (IndexedCanvas(this) && backend->SetPaletteEntries(palette, remap))
        return 1;
    lastError = ERR_UNSUPPORTED;
    return 0;
}

int cCanvas::SetPaletteFrom(cCanvas* other, int remap)
{
    return SetPalette(other ? other->backend->GetPalette() : nullptr, remap);
}

int cCanvas::SetPaletteFromHandle(HPALETTE palette, int remap)
{
    if (!IndexedCanvas(this)) {
        lastError = ERR_UNSUPPORTED;
        return 0;
    }
    void* block = nullptr;
    if (!CallocRetry(sizeof(LOGPALETTE) + 255 * sizeof(PALETTEENTRY), &block)) {
        lastError = ERR_NO_MEMORY;
        return 0;
    }
    LOGPALETTE* logical = static_cast<LOGPALETTE*>(block);
    logical->palVersion = 0x300;
    logical->palNumEntries = 256;
    // A handle that yields no entries is not a palette: an all-black palette made from it would wipe the picture.
    int result = ::GetPaletteEntries(palette, 0, 256, logical->palPalEntry) != 0 &&
                 backend->SetPaletteEntries(logical, remap);
    FreeAndNull(&block);
    if (!result)
        lastError = ERR_UNSUPPORTED;
    return result;
}

SharedPalette* cCanvas::GetPalette() { return backend->GetPalette(); }

int cCanvas::GetPaletteEntries(PALETTEENTRY* destination, int first, int count)
{
    return backend->GetPaletteEntries(destination, first, count);
}

int cCanvas::NearestIndex(COLORREF colour) { return backend->NearestIndex(colour); }
COLORREF cCanvas::IndexToColour(int index) { return backend->IndexToColour(index); }
int cCanvas::GetBlackIndex() { return backend->GetBlackIndex(); }

void cCanvas::ApplyIndexMap(const unsigned char* map)
{
    if (IndexedCanvas(this))
        backend->ApplyIndexMap(map);
}

void cCanvas::RemapToPaletteOf(cCanvas* other)
{
    if (!other || !IndexedCanvas(this) || !IndexedCanvas(other))
        return;
    SharedPalette* mine = backend->GetPalette();
    SharedPalette* theirs = other->backend->GetPalette();
    unsigned char map[256];
    if (mine && theirs && MakeIndexMap(mine, theirs, map))
        backend->ApplyIndexMap(map);
}
