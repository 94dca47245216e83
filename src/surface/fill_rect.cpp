// Solid rectangle fills in software: the backend base class's FillRect slot and the canvas member that reaches it.
// Display back-ends with a faster path of their own override the slot; the GDI shapes are not here.
#include "backend.h"
#include "blit_support.h"

#include "kernels/kernel_set.h"
#include "kernels/palette_index.h"

using namespace kx;

int cSurfaceBackend::FillRect(int x, int y, int width, int height, COLORREF colour)
{
    if (!d.kernels || !d.kernels->fill)
        return 0;
    RECT r;
    if (!ClipToClipRect(d, x, y, width, height, r))
        return 0;
    // 8-bit surfaces take an index: bit 24 marks a colour that already is one.
    uint32_t value = d.depth <= 8 ? (uint32_t)KernelColourToIndex(d.palette, colour) : (uint32_t)colour;
    if (!Lock())
        return 0;
    d.kernels->fill(&d, r.left, r.top, d.rowStep, r.right - r.left, r.bottom - r.top, value);
    Unlock();
    return 1;
}

int cCanvas::FillRect(int x, int y, int width, int height, COLORREF colour)
{
    return backend->FillRect(x - originX, y - originY, width, height, colour);
}
