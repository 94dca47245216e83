// Canvas members for the transparent colour and the optional 8-bit alpha plane (0 = fully transparent) that any
// surface may carry. A plane the library makes is zero-filled, top-down, 4-byte-aligned rows, and owned.
#include "backend.h"
#include "mem_surface.h"

#include <stdint.h>
#include <string.h>

using namespace kx;

void cCanvas::SetTransparentColour(COLORREF colour) { backend->SetTransparentColour(colour); }
COLORREF cCanvas::GetTransparentColour() { return backend->d.transparentColour; }
unsigned long cCanvas::GetTransparentNative() { return backend->d.transparentNative; }

unsigned char* cCanvas::CreateAlphaPlane()
{
    if (IsEmptyBackend(backend))
        return nullptr;
    return NewAlphaPlane(backend->d);
}

unsigned char* kx::NewAlphaPlane(SurfaceDesc& d)
{
    if (d.width <= 0 || d.height <= 0)
        return nullptr;
    ForgetAlphaPlane(d);
    // Rows of the width rounded up to 4; the byte count is checked before anything is allocated.
    uint64_t pitch = ((uint64_t)d.width + 3) & ~(uint64_t)3, bytes = pitch * (uint64_t)d.height;
    void* plane = nullptr;
    if (bytes > INT32_MAX || !CallocRetry((size_t)bytes, &plane))
        return nullptr;
    d.alphaBlock = d.alphaRowZero = static_cast<unsigned char*>(plane);
    d.alphaPitch = d.alphaRowStep = (int)pitch;
    d.flags |= SURFACE_OWNS_ALPHA;
    return d.alphaRowZero;
}

int cCanvas::SetAlphaPlane(const unsigned char* source, int step)
{
    SurfaceDesc& d = backend->d;
    if (!d.alphaRowZero && !CreateAlphaPlane())
        return 0;
    if (step == 0)
        step = d.alphaRowStep;
    int bytes = step < 0 ? -step : step;
    if (bytes > d.alphaPitch)
        bytes = d.alphaPitch;
    unsigned char* row = d.alphaRowZero;
    for (int y = 0; y < d.height; y++, source += step, row += d.alphaRowStep)
        memcpy(row, source, (size_t)bytes);
    return d.height;
}

void cCanvas::AttachAlphaPlane(unsigned char* memory, int step)
{
    SurfaceDesc& d = backend->d;
    if (IsEmptyBackend(backend))
        return;
    ForgetAlphaPlane(d);
    if (!memory)
        return;
    int pitch = step < 0 ? -step : step;
    d.alphaRowZero = memory;
    d.alphaBlock = step < 0 ? memory - (ptrdiff_t)(d.height - 1) * pitch : memory;
    d.alphaPitch = pitch;
    d.alphaRowStep = step;
}

unsigned char* cCanvas::DetachAlphaPlane(int* step)
{
    SurfaceDesc& d = backend->d;
    unsigned char* row0 = d.alphaRowZero;
    if (step)
        *step = d.alphaRowStep;
    if (IsEmptyBackend(backend))
        return row0;
    // The caller owns the plane from here: forget it without freeing.
    d.flags &= ~(unsigned long)SURFACE_OWNS_ALPHA;
    ForgetAlphaPlane(d);
    return row0;
}

cCanvas* cCanvas::NewAlphaCanvas()
{
    SurfaceDesc& d = backend->d;
    if (!d.alphaRowZero)
        return nullptr;
    cGreySurface* view = New<cGreySurface>();
    if (!view)
        return nullptr;
    if (!view->InitFormat(8) || !view->View(d.alphaRowZero, d.width, d.height, d.alphaRowStep)) {
        view->Destroy(1);
        return nullptr;
    }
    cCanvas* canvas = NewCanvas();
    if (!canvas) {
        view->Destroy(1);
        return nullptr;
    }
    AttachBackend(canvas, view);
    return canvas;
}

int cCanvas::GetAlphaRowStep() { return backend->d.alphaRowStep; }
int cCanvas::HasAlphaPlane() { return backend->d.alphaRowZero != nullptr; }
unsigned char* cCanvas::GetAlphaPlane() { return backend->d.alphaRowZero; }
