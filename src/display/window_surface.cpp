// Window surfaces: every pixel operation is the system's, on the held device context.
#include "window_surface.h"

namespace kx {

cWindowSurface* cWindowSurface::CreateOnDC(HDC dc)
{
    cWindowSurface* s = New<cWindowSurface>();
    if (!s)
        return nullptr;
    if (dc) {
        s->dc_ = dc;
    } else {
        s->dc_ = ::GetDC(nullptr);
        s->ownsDC_ = 1;
    }
    if (!s->dc_) {
        s->Destroy(1);
        return nullptr;
    }
    return s;
}

cWindowSurface* cWindowSurface::CreateOnWindow(HWND window, int wholeWindow)
{
    cWindowSurface* s = New<cWindowSurface>();
    if (!s)
        return nullptr;
    s->window_ = window;
    s->dc_ = wholeWindow ? ::GetWindowDC(window) : ::GetDC(window);
    s->ownsDC_ = 1;
    if (!s->dc_) {
        s->Destroy(1);
        return nullptr;
    }
    return s;
}

void cWindowSurface::AttachDC(HDC dc)
{
    DetachDC();
    dc_ = dc;
}

void cWindowSurface::DetachDC()
{
    if (ownsDC_ && dc_) {
        ::ReleaseDC(window_, dc_);
        ownsDC_ = 0;
        window_ = nullptr;
    }
    dc_ = nullptr;
}

void cWindowSurface::SetOrigin(int x, int y)
{
    originX_ = x;
    originY_ = y;
    if (dc_)
        SetWindowOrgEx(dc_, x, y, nullptr);
}

unsigned long cWindowSurface::GetOrigin()
{
    return (unsigned long)originY_ << 16 | (unsigned long)(originX_ & 0xFFFF);
}

void cWindowSurface::GetClipRect(int* x, int* y, int* width, int* height)
{
    RECT box;
    int kind = dc_ ? GetClipBox(dc_, &box) : ERROR;
    if (kind == SIMPLEREGION || kind == COMPLEXREGION) {
        *x = box.left;
        *y = box.top;
        *width = box.right - box.left;
        *height = box.bottom - box.top;
    } else {
        *x = *y = 0;
        *width = *height = 0x7FFF;
    }
}

void cWindowSurface::SetClipRect(int x, int y, int width, int height)
{
    if (dc_)
        IntersectClipRect(dc_, x, y, x + width, y + height);
}

void cWindowSurface::SetPixelIndex(int x, int y, int index)
{
    if (dc_)
        ::SetPixel(dc_, x, y, (COLORREF)index);
}

void cWindowSurface::SetPixel(int x, int y, COLORREF colour)
{
    if (dc_)
        ::SetPixel(dc_, x, y, colour);
}

int cWindowSurface::BlitFromDevice(int dx, int dy, HDC source, int sx, int sy, int width, int height, int, int,
                                   unsigned long)
{
    return dc_ && source && BitBlt(dc_, dx, dy, width, height, source, sx, sy, SRCCOPY) ? 1 : 0;
}

int cWindowSurface::StretchFromDevice(int dx, int dy, int dw, int dh, HDC source, int sx, int sy, int sw, int sh,
                                      int, int, unsigned long)
{
    return dc_ && source && StretchBlt(dc_, dx, dy, dw, dh, source, sx, sy, sw, sh, SRCCOPY) ? 1 : 0;
}

// The destination's origin as its GetOrigin packs it: x in the low 16 bits, y in the high 16 bits (both signed).
static void AddOrigin(cSurfaceBackend* destination, int* dx, int* dy)
{
    if (!destination->IsPositioned())
        return;
    unsigned long origin = destination->GetOrigin();
    *dx += (short)(origin & 0xFFFF);
    *dy += (short)(origin >> 16);
}

int cWindowSurface::Blit(cSurfaceBackend* destination, int dx, int dy, int sx, int sy, int width, int height,
                         int mode, int effect, unsigned long parameter, unsigned long)
{
    if (!destination->IsDeviceOnly())
        return dc_ ? destination->BlitFromDevice(dx, dy, dc_, sx, sy, width, height, mode, effect, parameter) : 0;
    HDC target = destination->GetDC();
    AddOrigin(destination, &dx, &dy);
    int done = target && dc_ && BitBlt(target, dx, dy, width, height, dc_, sx + originX_, sy + originY_, SRCCOPY);
    destination->ReleaseDC(target);
    return done ? 1 : 0;
}

int cWindowSurface::StretchBlit(cSurfaceBackend* destination, int dx, int dy, int dw, int dh, int sx, int sy,
                                int sw, int sh, int mode, int effect, unsigned long parameter, unsigned long)
{
    if (!destination->IsDeviceOnly())
        return dc_ ? destination->StretchFromDevice(dx, dy, dw, dh, dc_, sx, sy, sw, sh, mode, effect, parameter)
                   : 0;
    HDC target = destination->GetDC();
    AddOrigin(destination, &dx, &dy);
    int done = target && dc_ &&
               StretchBlt(target, dx, dy, dw, dh, dc_, sx + originX_, sy + originY_, sw, sh, SRCCOPY);
    destination->ReleaseDC(target);
    return done ? 1 : 0;
}

}  // namespace kx
