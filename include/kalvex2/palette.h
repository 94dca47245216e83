/* Kalvex2 SDK: shared palettes, nearest-colour search, palettes by display mode and the system colour table.
 *
 * Every 8-bit surface refers to a shared palette: a reference-counted 256-entry record that lives in the registry
 * of the thread that made it. Identical palettes of one thread are one object. Palettes the library makes reserve
 * black to index 0 (the transparent index of 8-bit surfaces): any other black entry is stored as RGB(8, 0, 0).
 * A palette lives until its last reference goes, or until the thread that made it detaches from the library. */
#ifndef KALVEX2_PALETTE_H
#define KALVEX2_PALETTE_H

#include <windows.h>
#include "base.h"

class cApplication;

/* The shared palette record: one allocation, fields in this order. */
struct SharedPalette {
    unsigned short version;      /* 0x300 */
    unsigned short count;        /* number of entries, 256 for every palette the library makes */
    PALETTEENTRY entries[256];
    unsigned char* inverseTable; /* 32768-byte cache from a 15-bit colour key to an index; null until built */
    HPALETTE paletteHandle;      /* made on demand; deleted with the palette */
    int blackIndex;              /* the entry nearest to black among entries 1 to 255 */
    int references;
};

/* The identical palette of the calling thread with a reference added, or a new one; null when the thread is not
 * attached to the library or no memory could be had. At most 256 entries of the logical palette are read. */
KX_API SharedPalette* KX_CDECL GetSharedPalette(const LOGPALETTE* palette);
KX_API SharedPalette* KX_CDECL AddPaletteRef(SharedPalette* palette);
/* Drops a reference; returns null once the palette is gone (or was null), the palette otherwise. */
KX_API SharedPalette* KX_CDECL ReleasePalette(SharedPalette* palette);
/* The calling thread's default palette with a reference added, or null. */
KX_API SharedPalette* KX_CDECL GetThreadDefaultPalette();

/* Nearest entry to an RGB colour: black gives 0, any other colour an entry from 1 to 255 of a 256-entry palette;
 * among equally near entries the last one wins. Uses and fills the inverse table when the palette has one. */
KX_API int KX_CDECL FindNearestIndex(SharedPalette* palette, COLORREF colour);
/* The same through the inverse table, without the early answer for black. */
KX_API int KX_CDECL LookupNearestIndex(SharedPalette* palette, COLORREF colour);
/* Builds the inverse table from the palette's own entries; 0 when no memory could be had. */
KX_API int KX_CDECL BuildInverseTable(SharedPalette* palette);
/* The palette's GDI palette (entries 10-245 marked no-collapse), made on first use and owned by the palette. */
KX_API HPALETTE KX_CDECL GetPaletteHandle(SharedPalette* palette);
/* Copies entries first .. first + count - 1, cut to the entries the palette has. Returns the palette. */
KX_API SharedPalette* KX_CDECL CopyPaletteEntries(SharedPalette* palette, PALETTEENTRY* destination, int first,
                                                  int count);

/* Rearranges 256 entries around the twenty static system colours of a palette display (entries 0-9 and
 * 246-255): moves the nearest entries into their places and writes the system colours. map (may be null)
 * receives, for every source index, the index that now holds its colour. Returns 1 when entries were moved. */
KX_API int KX_CDECL ArrangeSystemColours(PALETTEENTRY* destination, const PALETTEENTRY* source, unsigned char* map);
/* A palette arranged for the system, with a reference added (the given palette itself when nothing moved). */
KX_API SharedPalette* KX_CDECL MakeSystemPalette(SharedPalette* palette, unsigned char* map);
/* Copies the palette's entries 10-245 (when a palette is given) into the default palette and makes a GDI palette
 * of it; the caller deletes the handle. */
KX_API HPALETTE KX_CDECL CreateDefaultPaletteHandle(SharedPalette* palette);

/* Palettes by display mode: 1 monochrome, 2 and 5 sixteen colours, 3 the application's palette (the default
 * 256-colour palette without an application); the other modes have none. */
KX_API int KX_CDECL GetModePalette(LOGPALETTE* destination, int mode, cApplication* application);
KX_API COLORREF KX_CDECL GetModePaletteEntry(cApplication* application, int mode, int index);
/* -1 for modes without a palette; a colour 0x01000000 + n gives n. */
KX_API int KX_CDECL FindModeIndex(cApplication* application, int mode, COLORREF colour);

/* The system colours 0 to 28 as the display shows them; the table is refreshed on the first GetSystemColour. */
extern "C" KX_API COLORREF kx_system_colours[29];
extern "C" KX_API int kx_system_colours_valid;
KX_API COLORREF KX_CDECL GetSystemColour(int index);
KX_API int KX_CDECL RefreshSystemColours();            /* 1 */
KX_API int KX_CDECL RefreshSystemColoursIfLoaded();    /* 1 when the table was loaded and is refreshed, else 0 */

#endif
