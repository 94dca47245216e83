// Canvas members that reach the blit slots and the whole-surface analyses: host positions become backend
// positions by subtracting each canvas's own origin. Cropping and the overlap test live here because no backend
// slot carries them.
#include "backend.h"

#include "kernels/kernel_access.h"
#include "surface/native_pixel.h"

using namespace kx;

int cCanvas::Blit(cCanvas* destination, int dx, int dy, int sx, int sy, int width, int height, int mode, int effect,
                  unsigned long parameter, unsigned long flags)
{
    if (!destination)
        return 0;
    return backend->Blit(destination->backend, dx - destination->originX, dy - destination->originY, sx - originX,
                         sy - originY, width, height, mode, effect, parameter, flags);
}

int cCanvas::Draw(cCanvas* destination, int x, int y, int mode, int effect, unsigned long parameter,
                  unsigned long flags)
{
    return Blit(destination, x, y, 0, 0, backend->d.width, backend->d.height, mode, effect, parameter, flags);
}

int cCanvas::CopyTo(cCanvas* destination)
{
    return Blit(destination, 0, 0, 0, 0, backend->d.width, backend->d.height, BLIT_OPAQUE, 0, 0, BLIT_COPY_ALPHA);
}

int cCanvas::MoveRect(int sx, int sy, int dx, int dy, int width, int height)
{
    return backend->MoveRect(sx, sy, dx, dy, width, height);
}

int cCanvas::BlitCallback(cCanvas* destination, int dx, int dy, int sx, int sy, int width, int height, int mode,
                          PixelColourFn function, void* user)
{
    if (!destination)
        return 0;
    return backend->BlitCallback(destination->backend, dx - destination->originX, dy - destination->originY,
                                 sx - originX, sy - originY, width, height, mode, function, user);
}

int cCanvas::DrawCallback(cCanvas* destination, PixelColourFn function, void* user, int mode)
{
    if (!destination)
        return 0;
    return backend->BlitCallback(destination->backend, 0, 0, 0, 0, backend->d.width, backend->d.height, mode,
                                 function, user);
}

int cCanvas::ApplyFilter(cCanvas* destination, int dx, int dy, int sx, int sy, int width, int height,
                         int kernelWidth, int kernelHeight, int centreX, int centreY, FilterFn function, void* user)
{
    if (!destination)
        return 0;
    return backend->ApplyFilter(destination->backend, dx - destination->originX, dy - destination->originY,
                                sx - originX, sy - originY, width, height, kernelWidth, kernelHeight, centreX,
                                centreY, centreX, centreY, function, user);
}

int cCanvas::IsBlank() { return backend->IsBlank(); }

int cCanvas::ReplaceColour(COLORREF newColour, COLORREF oldColour)
{
    return backend->ReplaceColour(newColour, oldColour);
}

int cCanvas::GetContentRect(RECT* out) { return backend->GetContentRect(out); }

int cCanvas::CropToContent(RECT* out)
{
    cSurfaceBackend* old = backend;
    if (!old->GetContentRect(out))
        return 0;
    int width = out->right - out->left, height = out->bottom - out->top;
    if (width <= 0 || height < 1 || (width == old->d.width && height == old->d.height))
        return 0;
    cSurfaceBackend* cropped = old->MakeInstance(width, height);
    if (!cropped)
        return 0;
    // A backend whose pixels could not be copied would replace the picture with garbage: keep the old one.
    if (!old->Blit(cropped, 0, 0, out->left, out->top, width, height, BLIT_OPAQUE, 0, 0, BLIT_COPY_ALPHA)) {
        cropped->Destroy(1);
        return 0;
    }
    AttachBackend(this, cropped);
    return 1;
}

int cCanvas::CropToContent()
{
    RECT content;
    return CropToContent(&content);
}

namespace {

// Moves both rectangles' near edge inwards until it lies inside both surfaces, and their far edge likewise.
bool ClipToBoth(long long& a, long long& b, long long& length, int limitA, int limitB)
{
    long long cut = 0;
    if (-a > cut)
        cut = -a;
    if (-b > cut)
        cut = -b;
    a += cut;
    b += cut;
    length -= cut;
    if (a + length > limitA)
        length = limitA - a;
    if (b + length > limitB)
        length = limitB - b;
    return length > 0;
}

}  // namespace

int cCanvas::OverlapsOpaque(cCanvas* other, int otherX, int otherY, int x, int y, int width, int height)
{
    if (!other)
        return 0;
    cSurfaceBackend* self = backend;
    cSurfaceBackend* them = other->backend;
    SurfaceDesc& a = self->d;
    SurfaceDesc& b = them->d;
    // Surfaces that cannot be compared are taken to collide.
    if (a.bytesPerPixel != b.bytesPerPixel)
        return 1;
    long long ax = x, ay = y, bx = otherX, by = otherY, w = width, h = height;
    if (!ClipToBoth(ax, bx, w, a.width, b.width) || !ClipToBoth(ay, by, h, a.height, b.height))
        return 0;
    if (!self->Lock())
        return 1;
    if (them != self && !them->Lock()) {
        self->Unlock();
        return 1;
    }
    int bytes = a.bytesPerPixel, found = 0;
    for (int j = 0; j < (int)h && !found; j++) {
        const uint8_t* pa = PixelAt(&a, (int)ax, (int)ay + j, bytes);
        const uint8_t* pb = PixelAt(&b, (int)bx, (int)by + j, bytes);
        for (int i = 0; i < (int)w; i++, pa += bytes, pb += bytes) {
            if (LoadNativePixel(pa, bytes) != a.transparentNative &&
                LoadNativePixel(pb, bytes) != b.transparentNative) {
                found = 1;
                break;
            }
        }
    }
    if (them != self)
        them->Unlock();
    self->Unlock();
    return found;
}
