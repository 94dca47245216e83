// Changing an application's palette: the application, its prototype surface and, on palette displays, every one
// of its windows follow.
#include "records.h"
#include "surface/palette.h"
#include "kalvex2/canvas.h"
#include "kalvex2/frame.h"
#include "kalvex2/palette.h"

namespace kx {

namespace {

// Takes over the caller's reference to `palette`. The host's handle becomes the palette's GDI palette, so that
// windows select the very palette the host realises; a null handle leaves the palette its own (storing null
// would lose a handle the palette made and owns).
void InstallPalette(cApplication* app, SharedPalette* palette, HPALETTE handle)
{
    if (palette != app->palette)
        ReleasePalette(app->palette);
    app->palette = palette;
    app->blackIndex = palette->blackIndex;
    if (handle)
        palette->paletteHandle = handle;
    if (app->prototype)
        app->prototype->SetPalette(palette, 0);
}

bool PaletteMode(const cApplication* app) { return (app->displayMode & 15) == DISPLAY_MODE_256; }

}  // namespace

}  // namespace kx

using namespace kx;

void SetApplicationPalette(cApplication* application, HPALETTE palette)
{
    if (!application)
        return;
    HPALETTE current = application->palette ? application->palette->paletteHandle : nullptr;
    if (palette != current || !application->palette) {
        // Without memory for a new palette the application keeps the one it has.
        SharedPalette* made = PaletteFromHandle(palette);
        if (made)
            InstallPalette(application, made, palette);
    }
    if (!PaletteMode(application) || !application->palette)
        return;
    int index = application->windows.head;
    while (cFrameWindow* record = static_cast<cFrameWindow*>(application->windows.GetNext(&index)))
        SelectFramePalette(record, application->palette);
}

void SetApplicationPaletteEx(cApplication* application, HPALETTE handle, SharedPalette* palette)
{
    if (!application)
        return;
    HPALETTE remembered = application->palette ? application->palette->paletteHandle : nullptr;
    if (!palette || palette != application->palette) {
        SharedPalette* next = palette ? AddPaletteRef(palette) : PaletteFromHandle(handle);
        if (next)
            InstallPalette(application, next, handle);
    }
    if (!PaletteMode(application) || !application->palette)
        return;
    // Only the windows that show the palette being replaced take the new one; a window the host gave another
    // palette keeps it.
    int index = application->windows.head;
    while (cFrameWindow* record = static_cast<cFrameWindow*>(application->windows.GetNext(&index))) {
        if (record->palette == remembered)
            SelectFramePalette(record, application->palette);
    }
}
