// Bringing an application's palette into one of its windows: the window's own DC (so that GDI drawing and
// presentation map colours through it) and the window's drawing surface.
#include "records.h"
#include "kalvex2/canvas.h"
#include "kalvex2/palette.h"
#include "surface/backend.h"

namespace kx {

void SelectFramePalette(cFrameWindow* record, SharedPalette* palette)
{
    if (!record || !palette)
        return;
    HPALETTE handle = palette->paletteHandle;
    // While a full-screen DirectDraw mode is in force the display's palette belongs to DirectDraw; no window
    // record has a way to ask for realisation then, so the DC is left alone.
    if (handle && record->ownDC && !DirectDrawModeInForce()) {
        HPALETTE before = SelectPalette(record->ownDC, handle, FALSE);
        // The DC's palette from before the library's first selection is what goes back when the window is
        // released; later selections only replace one library palette by another.
        if (before && !record->previousPalette)
            record->previousPalette = before;
        record->palette = handle;
    }
    if (record->drawingSurface)
        record->drawingSurface->SetPalette(palette, 0);
}

}  // namespace kx
