// The backend base class: the descriptor and the generic software behaviour of every slot. Clipping and locking
// live here and nowhere else; the blit, drawing, palette (backend_palette.cpp) and image slots are filled in by
// their own files.
#include "backend.h"

#include "frame/frame.h"
#include "kernels/kernel_set.h"
#include "surface/palette.h"
#include "surface/surface_size.h"

using namespace kx;

cSurfaceBackend::cSurfaceBackend()
{
    d = SurfaceDesc{};
    d.flags |= g_process.cpuFeatures & 0xFF;
}

void kx::ForgetAlphaPlane(SurfaceDesc& d)
{
    if (d.flags & SURFACE_OWNS_ALPHA) {
        void* plane = d.alphaBlock;
        FreeAndNull(&plane);
    }
    d.flags &= ~(unsigned long)SURFACE_OWNS_ALPHA;
    d.alphaBlock = d.alphaRowZero = nullptr;
    d.alphaPitch = d.alphaRowStep = 0;
}

cSurfaceBackend::~cSurfaceBackend()
{
    ReleaseSharedPalette(d.palette);
    d.palette = nullptr;
    ForgetAlphaPlane(d);
}

cSurfaceBackend* cSurfaceBackend::MakeScreenInstance() { return nullptr; }
int cSurfaceBackend::IsScreenInstance() { return 0; }
void cSurfaceBackend::EnumDisplayModes(DisplayModeCallback, void*) {}
int cSurfaceBackend::SetDisplayMode(HWND, int, int, int) { return 0; }
void cSurfaceBackend::RestoreDisplayMode(HWND) {}
void cSurfaceBackend::CopyDisplayState(cSurfaceBackend*) {}
int cSurfaceBackend::WaitVerticalBlank() { return 0; }
int cSurfaceBackend::GetScanLine() { return -1; }
int cSurfaceBackend::Resize(int, int) { return 0; }

void cSurfaceBackend::SetDepth(int depth)
{
    d.depth = depth;
    d.formatIndex = FormatIndexOfDepth(depth);
    d.bytesPerPixel = (depth + 7) / 8;
    d.kernels = StandardKernels(d.formatIndex);
}

int cSurfaceBackend::InitFormat(int depth)
{
    SetDepth(depth);
    d.bottomUp = 0;
    if (depth == 8) {
        SharedPalette* palette = DefaultSharedPalette();
        if (!palette)
            return 0;
        ReleaseSharedPalette(d.palette);
        d.palette = palette;
    }
    return 1;
}

int cSurfaceBackend::GetKind() { return SURFACE_KIND_MEMORY; }
int cSurfaceBackend::GetDeviceInfo(void*) { return 0; }
void cSurfaceBackend::SetOrigin(int, int) {}
unsigned long cSurfaceBackend::GetOrigin() { return 0; }
int cSurfaceBackend::IsPositioned() { return 0; }
int cSurfaceBackend::Lock() { return d.pixelBlock != nullptr; }
void cSurfaceBackend::Unlock() {}
int cSurfaceBackend::IsDeviceOnly() { return 0; }
HDC cSurfaceBackend::GetDC() { return nullptr; }
void cSurfaceBackend::ReleaseDC(HDC) {}

void cSurfaceBackend::GetClipRect(int* x, int* y, int* width, int* height)
{
    *x = d.clipLeft;
    *y = d.clipTop;
    *width = d.clipRight - d.clipLeft;
    *height = d.clipBottom - d.clipTop;
}

void cSurfaceBackend::SetClipRect(int x, int y, int width, int height)
{
    // In 64 bits: a host's far-away rectangle must clip to nothing, not wrap around into the surface.
    d.clipLeft = x > 0 ? x : 0;
    d.clipTop = y > 0 ? y : 0;
    long long right = (long long)x + width, bottom = (long long)y + height;
    d.clipRight = ClampToInt(right < d.width ? right : d.width);
    d.clipBottom = ClampToInt(bottom < d.height ? bottom : d.height);
}

void cSurfaceBackend::ResetClipRect() { SetClipRect(0, 0, d.width, d.height); }

static bool InsideClip(const SurfaceDesc& d, int x, int y)
{
    return x >= d.clipLeft && x < d.clipRight && y >= d.clipTop && y < d.clipBottom;
}

static unsigned char* PixelAddress(const SurfaceDesc& d, int x, int y)
{
    return d.rowZero + y * d.rowStep + x * d.bytesPerPixel;
}

// Surfaces with addressable memory are written directly; the others (display surfaces) must be locked around
// the store, and a failed lock means there is nothing to write to.
template <class Store>
static void StoreLocked(cSurfaceBackend* b, Store store)
{
    if (b->d.pixelBlock) {
        store();
    } else if (b->Lock()) {
        store();
        b->Unlock();
    }
}

void cSurfaceBackend::SetPixelIndex(int x, int y, int index)
{
    if (InsideClip(d, x, y))
        StoreLocked(this, [&] { *PixelAddress(d, x, y) = (unsigned char)index; });
}

void cSurfaceBackend::SetPixel(int x, int y, COLORREF colour)
{
    if (InsideClip(d, x, y) && d.kernels)
        StoreLocked(this, [&] { d.kernels->setPixel(&d, x, y, colour); });
}

int cSurfaceBackend::GetPixelRaw(int x, int y, unsigned long* value)
{
    if (!InsideClip(d, x, y) || !d.kernels || !Lock())
        return 0;
    *value = d.kernels->getPixel(&d, x, y);
    Unlock();
    return 1;
}

int cSurfaceBackend::GetPixel(int x, int y, COLORREF* colour)
{
    unsigned long raw;
    if (!GetPixelRaw(x, y, &raw))
        return 0;
    *colour = (d.formatIndex == 0 && d.palette) ? PaletteEntryColour(d.palette, (int)raw) : raw;
    return 1;
}

// Slots whose generic behaviour belongs to the stretch, drawing, text, image and mask code (the blits and the
// whole-surface analyses are in backend_blit.cpp, the solid fill in fill_rect.cpp). Until that code is in the
// library they fail like the empty backend does.
int cSurfaceBackend::BlitFromDevice(int, int, HDC, int, int, int, int, int, int, unsigned long) { return 0; }
int cSurfaceBackend::StretchFromDevice(int, int, int, int, HDC, int, int, int, int, int, int, unsigned long)
{
    return 0;
}
int cSurfaceBackend::FillRectIndex(int, int, int, int, int) { return 0; }
int cSurfaceBackend::DrawText(const char*, int, int, int, unsigned, const RECT*, COLORREF, HFONT, int, int,
                              unsigned long, unsigned long)
{
    return 0;
}
int cSurfaceBackend::DrawTextEx(const char*, int, RECT*, unsigned, COLORREF, HFONT, int, int, unsigned long,
                                unsigned long, int, int, int)
{
    return 0;
}
int cSurfaceBackend::AttachWindow(HWND) { return 1; }
int cSurfaceBackend::IsCompressed() { return 0; }
int cSurfaceBackend::ReadPixels(HANDLE) { return 0; }
int cSurfaceBackend::WritePixels(HANDLE) { return 0; }
void cSurfaceBackend::SetTransparentColour(COLORREF colour)
{
    d.transparentColour = colour;
    d.transparentNative = 0;
    // Black is native 0 in every format (index 0 on 8-bit surfaces, whatever entry 0 holds).
    if (colour == 0)
        return;
    uint32_t r = colour & 0xFF, g = (colour >> 8) & 0xFF, b = (colour >> 16) & 0xFF;
    switch (d.depth) {
    case 8:
        d.transparentNative = (unsigned long)NearestIndex(colour);
        if (d.palette)
            d.transparentColour = PaletteEntryColour(d.palette, (int)d.transparentNative);
        break;
    case 15:
        d.transparentNative = (r >> 3) << 10 | (g >> 3) << 5 | b >> 3;
        d.transparentColour = colour & 0xF8F8F8;
        break;
    case 16:
        d.transparentNative = (r >> 3) << 11 | (g >> 2) << 5 | b >> 3;
        d.transparentColour = colour & 0xF8FCF8;
        break;
    default:
        d.transparentNative = r << 16 | g << 8 | b;
        break;
    }
}
COLORREF cSurfaceBackend::GetTransparentColour() { return d.transparentColour; }
unsigned long cSurfaceBackend::GetTransparentNative() { return d.transparentNative; }
int cSurfaceBackend::BuildMask(MaskRecord*, int) { return 0; }
void cSurfaceBackend::RestoreSurface() {}
void cSurfaceBackend::Reserved68() {}
void cSurfaceBackend::Reserved69() {}
void cSurfaceBackend::Reserved70() {}
