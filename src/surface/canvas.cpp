// cCanvas: the exported 16-byte surface object. It owns one backend and forwards each member to one backend slot,
// host coordinates turned into backend coordinates by subtracting the origin. Blitting, drawing, palettes and
// images have their own files; this one holds lifetime, creation, geometry, position, clipping and pixel access.
#include "backend.h"

#include "display/window_surface.h"

#include "frame/frame.h"
#include "kernels/kernel_set.h"
#include "surface/palette.h"

using namespace kx;

cCanvas::cCanvas() : backend(EmptyBackend()), originX(0), originY(0), lastError(0) {}

cCanvas::cCanvas(const cCanvas& source) : backend(EmptyBackend()), originX(0), originY(0), lastError(0)
{
    CreateCopy(const_cast<cCanvas*>(&source), -1, -1);
}

cCanvas::~cCanvas() { Release(); }

void cCanvas::Release()
{
    if (!IsEmptyBackend(backend)) {
        cSurfaceBackend* old = backend;
        backend = EmptyBackend();
        old->Destroy(1);
    }
}

int cCanvas::IsValid() { return !IsEmptyBackend(backend); }
unsigned long cCanvas::GetError() { return lastError; }

cSurfaceBackend* GetBackend(cCanvas* canvas) { return canvas->backend; }

cSurfaceBackend* AttachBackend(cCanvas* canvas, cSurfaceBackend* newBackend)
{
    canvas->Release();
    if (newBackend)
        canvas->backend = newBackend;
    return newBackend;
}

cCanvas* NewCanvas() { return New<cCanvas>(); }

void DeleteCanvas(cCanvas* canvas) { Delete(canvas); }

void ReleaseCanvas(cCanvas* canvas) { canvas->Release(); }

// --- creation ---

int cCanvas::CreateLike(int width, int height, cCanvas* prototype)
{
    Release();
    cSurfaceBackend* made = prototype->backend->MakeInstance(width > 1 ? width : 1, height > 1 ? height : 1);
    lastError = made ? STATUS_OK : ERR_NO_MEMORY;
    AttachBackend(this, made);
    return made != nullptr;
}

void cCanvas::CreateCopy(cCanvas* source, int width, int height)
{
    cSurfaceBackend* from = source->backend;
    cSurfaceBackend* made = nullptr;
    if (!IsEmptyBackend(from)) {
        int copied = 0;
        if (width == -1) {
            made = from->MakeInstance(from->d.width, from->d.height);
            if (made)
                copied = from->Blit(made, 0, 0, 0, 0, from->d.width, from->d.height, 0, 0, 0, 2);
        } else {
            made = from->MakeInstance(width, height);
            if (made)
                copied = from->StretchBlit(made, 0, 0, made->d.width, made->d.height, 0, 0, from->d.width,
                                           from->d.height, 0, 0, 0, 4);
        }
        if (!made) {
            lastError = ERR_NO_MEMORY;
        } else if (!copied) {
            // A surface whose pixels could not be copied is no copy: its memory holds whatever was there.
            made->Destroy(1);
            made = nullptr;
            lastError = ERR_UNSUPPORTED;
        }
    }
    // The source may be this very canvas: its backend is released only after the copy has been made.
    AttachBackend(this, made);
}

int cCanvas::CreateOnDC(HDC dc)
{
    Release();
    cSurfaceBackend* made = cWindowSurface::CreateOnDC(dc);
    lastError = made ? STATUS_OK : ERR_NO_MEMORY;
    AttachBackend(this, made);
    return made != nullptr;
}

int cCanvas::CreateOnWindow(HWND window, int wholeWindow)
{
    Release();
    cSurfaceBackend* made = cWindowSurface::CreateOnWindow(window, wholeWindow);
    lastError = made ? STATUS_OK : ERR_NO_MEMORY;
    AttachBackend(this, made);
    return made != nullptr;
}

int cCanvas::CreateScreen()
{
    lastError = STATUS_OK;
    Release();
    if (DirectDrawModeInForce())
        AttachBackend(this, Prototypes().ddraw->backend->MakeScreenInstance());
    return IsValid();
}

// --- geometry and information ---

int cCanvas::GetWidth() { return backend->d.width; }
int cCanvas::GetHeight() { return backend->d.height; }
int cCanvas::GetDepth() { return backend->d.depth; }

int cCanvas::GetInfo(int* width, int* height, int* depth)
{
    *width = backend->d.width;
    *height = backend->d.height;
    *depth = backend->d.depth;
    return IsValid();
}

int cCanvas::IsPalettised() { return backend->d.depth < 9; }

int cCanvas::GetDeviceClass()
{
    switch (backend->GetKind()) {
    case SURFACE_KIND_DIB:
    case SURFACE_KIND_DDRAW: return 1;
    case SURFACE_KIND_DIB_KEPT_DC: return 2;
    case SURFACE_KIND_DDRAW_SYSTEM: return 3;
    default: return 0;
    }
}

int cCanvas::GetDirectDrawClass()
{
    int kind = backend->GetKind();
    return kind == SURFACE_KIND_DDRAW || kind == SURFACE_KIND_DDRAW_SYSTEM ? 2 : 0;
}

int cCanvas::GetDeviceInfo(void* record) { return backend->GetDeviceInfo(record); }

// --- position and clipping ---

void cCanvas::SetPosition(int x, int y)
{
    originX = x;
    originY = y;
    if (backend->IsPositioned())
        backend->SetOrigin(x, y);
}

void cCanvas::MoveBy(int dx, int dy) { SetPosition(originX + dx, originY + dy); }

void cCanvas::GetPosition(int* xy)
{
    xy[0] = originX;
    xy[1] = originY;
}

void cCanvas::GetPositionXY(int* x, int* y)
{
    *x = originX;
    *y = originY;
}

void cCanvas::GetClipRect(int* x, int* y, int* width, int* height)
{
    backend->GetClipRect(x, y, width, height);
    *x += originX;
    *y += originY;
}

void cCanvas::SetClipRect(int x, int y, int width, int height)
{
    backend->SetClipRect(x - originX, y - originY, width, height);
}

void cCanvas::ResetClipRect() { backend->ResetClipRect(); }

// --- pixel access ---

unsigned char* cCanvas::Lock()
{
    backend->Lock();
    return backend->d.rowZero;
}

void cCanvas::Unlock() { backend->Unlock(); }
int cCanvas::GetRowStep() { return backend->d.rowStep; }

void cCanvas::SetPixel(int x, int y, COLORREF colour) { backend->SetPixel(x - originX, y - originY, colour); }

void cCanvas::SetPixelRGB(int x, int y, int red, int green, int blue)
{
    SetPixel(x, y, (red & 0xFF) | (green & 0xFF) << 8 | (blue & 0xFF) << 16);
}

void cCanvas::SetPixelIndex(int x, int y, int index) { backend->SetPixelIndex(x - originX, y - originY, index); }

int cCanvas::GetPixel(int x, int y, COLORREF* colour) { return backend->GetPixel(x - originX, y - originY, colour); }

int cCanvas::GetPixelRGB(int x, int y, unsigned char* red, unsigned char* green, unsigned char* blue)
{
    COLORREF c;
    if (!GetPixel(x, y, &c))
        return 0;
    *red = (unsigned char)c;
    *green = (unsigned char)(c >> 8);
    *blue = (unsigned char)(c >> 16);
    return 1;
}

int cCanvas::GetPixelRaw(int x, int y, unsigned long* value)
{
    return backend->GetPixelRaw(x - originX, y - originY, value);
}

static unsigned char* FastAddress(const SurfaceDesc& d, int x, int y)
{
    return d.rowZero + y * d.rowStep + x * d.bytesPerPixel;
}

void cCanvas::SetPixelFast(int x, int y, COLORREF c)
{
    const SurfaceDesc& d = backend->d;
    unsigned char* p = FastAddress(d, x, y);
    switch (d.depth) {
    case 8: *p = (unsigned char)backend->NearestIndex(c); break;
    case 15:
        *(uint16_t*)p = (uint16_t)(((c & 0xF80000) >> 19) | ((c & 0xF800) >> 6) | ((c & 0xF8) << 7));
        break;
    case 16:
        *(uint16_t*)p = (uint16_t)(((c & 0xF80000) >> 19) | ((c & 0xFC00) >> 5) | ((c & 0xF8) << 8));
        break;
    case 24:
    case 32:
        // The fourth byte of a 32-bit pixel is left as it was.
        p[0] = (unsigned char)(c >> 16);
        p[1] = (unsigned char)(c >> 8);
        p[2] = (unsigned char)c;
        break;
    default: break;
    }
}

void cCanvas::SetPixelIndexFast(int x, int y, int index)
{
    if (backend->d.depth == 8)
        *FastAddress(backend->d, x, y) = (unsigned char)index;
}

COLORREF cCanvas::GetPixelFast(int x, int y)
{
    const SurfaceDesc& d = backend->d;
    const unsigned char* p = FastAddress(d, x, y);
    switch (d.depth) {
    case 8: return d.palette ? PaletteEntryColour(d.palette, *p) : 0;
    case 15: {
        uint32_t v = *(const uint16_t*)p;
        return ((v & 0x1F) << 19) | ((v & 0x3E0) << 6) | ((v & 0x7C00) >> 7);
    }
    case 16: {
        uint32_t v = *(const uint16_t*)p;
        return ((v & 0x1F) << 19) | ((v & 0x7E0) << 5) | ((v & 0xF800) >> 8);
    }
    case 24:
    case 32: return p[2] | p[1] << 8 | p[0] << 16;
    default: return 0;
    }
}

int cCanvas::GetPixelIndexFast(int x, int y)
{
    return backend->d.depth == 8 ? *FastAddress(backend->d, x, y) : 0;
}

// --- devices and display ---

HDC cCanvas::GetDC() { return backend->GetDC(); }
void cCanvas::ReleaseDC(HDC dc) { backend->ReleaseDC(dc); }

HRGN cCanvas::ClipDC(HDC dc)
{
    HRGN saved = CreateRectRgn(0, 0, 0, 0);
    if (saved && GetClipRgn(dc, saved) != 1) {
        DeleteObject(saved);
        saved = nullptr;
    }
    int x, y, w, h;
    x = y = w = h = 0;
    GetClipRect(&x, &y, &w, &h);
    IntersectClipRect(dc, x, y, x + w, y + h);
    return saved;
}

void cCanvas::UnclipDC(HDC dc, HRGN saved)
{
    SelectClipRgn(dc, saved);
    if (saved)
        DeleteObject(saved);
}

void cCanvas::EnumDisplayModes(DisplayModeCallback callback, void* user) { backend->EnumDisplayModes(callback, user); }

int cCanvas::SetDisplayMode(HWND window, int width, int height, int depth)
{
    return backend->SetDisplayMode(window, width, height, depth);
}

void cCanvas::RestoreDisplayMode(HWND window) { backend->RestoreDisplayMode(window); }

void cCanvas::CopyDisplayState(cCanvas* other)
{
    if (GetDeviceClass() == other->GetDeviceClass() && GetDirectDrawClass() == other->GetDirectDrawClass())
        backend->CopyDisplayState(other->backend);
}

int cCanvas::IsScreenInstance() { return backend->IsScreenInstance(); }
int cCanvas::WaitVerticalBlank() { return backend->WaitVerticalBlank(); }
int cCanvas::AttachWindow(HWND window) { return backend->AttachWindow(window); }
void cCanvas::RestoreSurface() { backend->RestoreSurface(); }
void cCanvas::Reserved1() { backend->Reserved68(); }
void cCanvas::Reserved2() { backend->Reserved69(); }
void cCanvas::Reserved3() { backend->Reserved70(); }
