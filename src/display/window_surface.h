// The window surface: a backend that draws into a device context (a window's client area or whole window, the
// screen, or a context a host lends). It has no addressable pixels, so kernels cannot write it; copies into and out
// of it go through the system's BitBlt and StretchBlt.
#pragma once

#include "surface/backend.h"

namespace kx {

class cWindowSurface : public cSurfaceBackend {
public:
    cWindowSurface() = default;
    ~cWindowSurface() { DetachDC(); }

    // Null when no device context can be had. A given context is used, not owned; null means the screen's.
    static cWindowSurface* CreateOnDC(HDC dc);
    // Owns GetWindowDC (whole window) or GetDC (client area) of the window.
    static cWindowSurface* CreateOnWindow(HWND window, int wholeWindow);
    void AttachDC(HDC dc);
    void DetachDC();

    void Destroy(unsigned flags) override { DestroyBackend(this, flags); }
    cSurfaceBackend* MakeInstance(int, int) override { return nullptr; }
    int InitFormat(int) override { return 1; }
    int GetKind() override { return SURFACE_KIND_WINDOW; }
    void SetOrigin(int x, int y) override;
    unsigned long GetOrigin() override;
    int IsPositioned() override { return 1; }
    int IsDeviceOnly() override { return 1; }
    HDC GetDC() override { return dc_; }
    void ReleaseDC(HDC) override {}
    void GetClipRect(int* x, int* y, int* width, int* height) override;
    void SetClipRect(int x, int y, int width, int height) override;
    void ResetClipRect() override {}
    void SetPixelIndex(int x, int y, int index) override;
    void SetPixel(int x, int y, COLORREF colour) override;
    int GetPixelRaw(int, int, unsigned long*) override { return 0; }
    int GetPixel(int, int, COLORREF*) override { return 0; }
    int BlitFromDevice(int dx, int dy, HDC source, int sx, int sy, int width, int height, int mode, int effect,
                       unsigned long parameter) override;
    int Blit(cSurfaceBackend* destination, int dx, int dy, int sx, int sy, int width, int height, int mode,
             int effect, unsigned long parameter, unsigned long flags) override;
    int MoveRect(int, int, int, int, int, int) override { return 0; }
    int StretchFromDevice(int dx, int dy, int dw, int dh, HDC source, int sx, int sy, int sw, int sh, int mode,
                          int effect, unsigned long parameter) override;
    int StretchBlit(cSurfaceBackend* destination, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh,
                    int mode, int effect, unsigned long parameter, unsigned long flags) override;
    int MirrorHorizontal(int, int, int, int) override { return 0; }
    int MirrorVertical(int, int, int, int) override { return 0; }
    int FillRectIndex(int, int, int, int, int) override { return 0; }
    int FillRect(int, int, int, int, COLORREF) override { return 0; }
    int DrawText(const char*, int, int, int, unsigned, const RECT*, COLORREF, HFONT, int, int, unsigned long,
                 unsigned long) override
    {
        return 0;
    }
    int DrawTextEx(const char*, int, RECT*, unsigned, COLORREF, HFONT, int, int, unsigned long, unsigned long, int,
                   int, int) override
    {
        return 0;
    }
    int ReplaceColour(COLORREF, COLORREF) override { return 0; }
    int SetPaletteEntries(const LOGPALETTE*, int) override { return 0; }

private:
    HDC dc_ = nullptr;
    HWND window_ = nullptr;
    int ownsDC_ = 0;
    int originX_ = 0;
    int originY_ = 0;
};

}  // namespace kx
