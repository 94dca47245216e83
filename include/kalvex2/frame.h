/* Kalvex2 SDK: the library frame - initialisation, build number, display modes, processor features. */
#ifndef KALVEX2_FRAME_H
#define KALVEX2_FRAME_H

#include <windows.h>
#include "base.h"

/* Colour formats of a display (and of an application's prototype surface). */
enum DisplayMode {
    DISPLAY_MODE_DETECTED = 0, /* as a request: the display detected at load */
    DISPLAY_MODE_MONO = 1,
    DISPLAY_MODE_16 = 2,
    DISPLAY_MODE_256 = 3,
    DISPLAY_MODE_24 = 4,
    DISPLAY_MODE_16_ALT = 5,
    DISPLAY_MODE_15 = 6,
    DISPLAY_MODE_HI16 = 7,
    DISPLAY_MODE_32 = 8
};

/* Processor feature word; surfaces copy it into the low byte of their descriptor's flags. */
enum {
    CPU_MMX = 1,
    CPU_SSE = 2,
    CPU_SSE2 = 4,
    CPU_EXT31 = 8,
    CPU_EXT30 = 16
};

/* Reference-counted; the library calls them itself at load and unload, hosts may add balanced pairs. */
KX_API void KX_CDECL InitLibrary();
KX_API void KX_CDECL TermLibrary();
KX_API void KX_CDECL AttachThreadPalettes();
KX_API void KX_CDECL DetachThreadPalettes();
KX_API int KX_CDECL GetLibraryBuild();
/* The virtual screen (all monitors) where the system knows it, else (0, 0, screen width, screen height). */
KX_API RECT* KX_CDECL GetDesktopRect(RECT* out);

#endif
