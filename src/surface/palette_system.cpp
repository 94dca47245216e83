// Palettes for the system: arranging a palette around the twenty static colours of a 256-colour palette display,
// the default palette's GDI handle, and the palettes of the display modes.
#include "surface/palette.h"

#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include "frame/frame.h"
#include "kalvex2/application.h"

namespace kx {
namespace {

int Distance1(const PALETTEENTRY& a, const PALETTEENTRY& b)
{
    return abs(a.peRed - b.peRed) + abs(a.peGreen - b.peGreen) + abs(a.peBlue - b.peBlue);
}

bool SameRgb(const PALETTEENTRY& a, const PALETTEENTRY& b)
{
    return a.peRed == b.peRed && a.peGreen == b.peGreen && a.peBlue == b.peBlue;
}

// Nearest entry in [from, to) by the sum of absolute differences; the first of equal ones wins and an exact match
// stops the search.
int NearestL1(const PALETTEENTRY* e, int from, int to, const PALETTEENTRY& want, int* bestDistance, int best)
{
    for (int i = from; i < to && *bestDistance != 0; i++) {
        int d = Distance1(e[i], want);
        if (d < *bestDistance) {
            *bestDistance = d;
            best = i;
        }
    }
    return best;
}

// Index bookkeeping while entries move. A pixel of source index a must end on the entry that holds a's colour,
// even when that colour is moved twice (a low system colour takes it from 20, then a high one takes it from
// there), so the positions of the colours are followed rather than the map's slots swapped.
struct Moves {
    unsigned char at[256];      // which source index's colour is at each position
    unsigned char pos[256];     // where each source index's colour is
    unsigned char follow[256];  // source index whose colour a pixel of this index keeps (a duplicate elsewhere)

    Moves()
    {
        for (int i = 0; i < 256; i++)
            at[i] = pos[i] = follow[i] = (unsigned char)i;
    }

    void Swap(int i, int j)
    {
        unsigned char a = at[i], b = at[j];
        at[i] = b;
        at[j] = a;
        pos[a] = (unsigned char)j;
        pos[b] = (unsigned char)i;
    }

    unsigned char Final(int a) const
    {
        // A chain of duplicates ends within 256 steps unless two system slots point at each other; both lose their
        // colours then and the pixel stays where it was.
        int s = a;
        for (int steps = 0; follow[s] != s; steps++) {
            if (steps == 256)
                return pos[a];
            s = follow[s];
        }
        return pos[s];
    }
};

// Puts the entry found nearest to the system colour of slot i into slot i, or, when entry i's colour also lives
// elsewhere, lets i's pixels use that other entry instead.
void Place(PALETTEENTRY* e, Moves& m, int i, int found)
{
    // The duplicate is looked for first among the entries that keep their colours (10-245).
    int k = -1;
    for (int n = 0; n < 256 && k < 0; n++) {
        int c = (n + 10) & 0xFF;
        if (c != i && SameRgb(e[c], e[i]))
            k = c;
    }
    if (k >= 0) {
        m.follow[m.at[i]] = m.at[k];
        return;
    }
    PALETTEENTRY a = e[i], b = e[found];
    e[i].peRed = b.peRed, e[i].peGreen = b.peGreen, e[i].peBlue = b.peBlue;
    e[found].peRed = a.peRed, e[found].peGreen = a.peGreen, e[found].peBlue = a.peBlue;
    m.Swap(i, found);
}

const PALETTEENTRY* ModeEntries(cApplication* application, int mode, int* count, WORD* version)
{
    switch (mode) {
    case DISPLAY_MODE_MONO:
        *count = g_monoPalette.count;
        *version = g_monoPalette.version;
        return g_monoPalette.entries;
    case DISPLAY_MODE_16:
    case DISPLAY_MODE_16_ALT:
        *count = g_systemPalette16.count;
        *version = g_systemPalette16.version;
        return g_systemPalette16.entries;
    case DISPLAY_MODE_256:
        if (SharedPalette* p = ApplicationPalette(application)) {
            *count = p->count;
            *version = p->version;
            return p->entries;
        }
        *count = g_defaultPalette256.count;
        *version = g_defaultPalette256.version;
        return g_defaultPalette256.entries;
    default: return nullptr;
    }
}

}  // namespace

SharedPalette* ApplicationPalette(cApplication* application)
{
    return application ? application->palette : nullptr;
}

SharedPalette* PaletteFromHandle(HPALETTE handle)
{
    LogPalette256 logical = {};
    logical.version = 0x300;
    logical.count = 256;
    // A handle that yields no entries is no palette: an all-black one would make every colour black.
    if (!handle || ::GetPaletteEntries(handle, 0, 256, logical.entries) == 0)
        return GetSharedPalette(reinterpret_cast<const LOGPALETTE*>(&g_defaultPalette256));
    return GetSharedPalette(reinterpret_cast<const LOGPALETTE*>(&logical));
}

}  // namespace kx

using namespace kx;

int ArrangeSystemColours(PALETTEENTRY* destination, const PALETTEENTRY* source, unsigned char* map)
{
    if (!destination || !source)
        return 0;
    PALETTEENTRY* e = destination;
    if (destination != source)
        memmove(e, source, 256 * sizeof(PALETTEENTRY));
    const PALETTEENTRY* system = g_defaultPalette256.entries;
    Moves moves;
    bool changed = false;

    for (int i = 0; i < 10; i++) {
        int d = INT_MAX;
        int found = NearestL1(e, i, 256, system[i], &d, i);
        if (found != i) {
            Place(e, moves, i, found);
            changed = true;
        }
    }
    for (int j = 246; j < 256; j++) {
        int d = INT_MAX;
        int found = NearestL1(e, j, 256, system[j], &d, j);
        if (d != 0)
            found = NearestL1(e, 10, 246, system[j], &d, found);
        if (found != j) {
            Place(e, moves, j, found);
            changed = true;
        }
    }

    for (int i = 0; i < 256; i++) {
        PALETTEENTRY& x = e[i];
        if (i < 10 || i >= 246) {
            x = system[i];
            x.peFlags = 0;
        } else {
            x.peFlags = PC_NOCOLLAPSE;
            // Near-black belongs to index 0 alone.
            if (x.peRed < 8 && x.peGreen < 8 && x.peBlue < 8)
                x.peRed = 8, x.peGreen = 0, x.peBlue = 0;
        }
    }
    if (map)
        for (int a = 0; a < 256; a++)
            map[a] = moves.Final(a);
    return changed;
}

SharedPalette* MakeSystemPalette(SharedPalette* palette, unsigned char* map)
{
    if (!palette)
        return nullptr;
    struct {
        WORD version;
        WORD count;
        PALETTEENTRY entries[256];
    } arranged = {0x300, 256, {}};
    ArrangeSystemColours(arranged.entries, palette->entries, map);
    bool same = true;
    for (int i = 0; i < 256 && same; i++)
        same = SameRgb(arranged.entries[i], palette->entries[i]);
    if (same)
        return AddPaletteRef(palette);
    SharedPalette* made = GetSharedPalette(reinterpret_cast<LOGPALETTE*>(&arranged));
    return made ? made : AddPaletteRef(palette);
}

HPALETTE CreateDefaultPaletteHandle(SharedPalette* palette)
{
    if (palette) {
        for (int i = 10; i < 246; i++) {
            g_defaultPalette256.entries[i] = palette->entries[i];
            g_defaultPalette256.entries[i].peFlags = PC_NOCOLLAPSE;
        }
    }
    return CreatePalette(reinterpret_cast<LOGPALETTE*>(&g_defaultPalette256));
}

int GetModePalette(LOGPALETTE* destination, int mode, cApplication* application)
{
    int count;
    WORD version;
    const PALETTEENTRY* entries = ModeEntries(application, mode, &count, &version);
    if (!entries)
        return 0;
    if (!destination)
        return count;
    destination->palVersion = version;
    destination->palNumEntries = (WORD)count;
    for (int i = 0; i < count; i++) {
        destination->palPalEntry[i] = entries[i];
        destination->palPalEntry[i].peFlags = 0;
    }
    return count;
}

COLORREF GetModePaletteEntry(cApplication* application, int mode, int index)
{
    int count;
    WORD version;
    const PALETTEENTRY* entries = ModeEntries(application, mode, &count, &version);
    if (!entries || index < 0 || index >= count)
        return 0;
    return RGB(entries[index].peRed, entries[index].peGreen, entries[index].peBlue);
}

int FindModeIndex(cApplication* application, int mode, COLORREF colour)
{
    if (mode == DISPLAY_MODE_24 || mode == DISPLAY_MODE_15 || mode == DISPLAY_MODE_HI16 || mode == DISPLAY_MODE_32)
        return -1;
    if ((colour & 0xFFFF0000) == 0x01000000)
        return (int)(colour & 0xFFFF);
    int count;
    WORD version;
    const PALETTEENTRY* entries = ModeEntries(application, mode, &count, &version);
    if (!entries)
        return -1;
    if (mode == DISPLAY_MODE_256 && count == 256) {
        // The static colours answer exactly before any search, so a system colour keeps its system index.
        PALETTEENTRY want = {GetRValue(colour), GetGValue(colour), GetBValue(colour), 0};
        for (int i = 0; i < 10; i++)
            if (SameRgb(entries[i], want))
                return i;
        for (int i = 246; i < 256; i++)
            if (SameRgb(entries[i], want))
                return i;
    }
    return NearestEntry(entries, count, colour);
}
