// The backend base class's copies between surfaces: the clipped, locked blit with transparency, alpha planes and
// ink effects, the path between pixel formats, callback blits, the neighbourhood filter and the edge smoothing built
// on it, the move inside one surface, and the whole-surface analyses (blank test, colour replacement, content
// rectangle). Per-pixel work belongs to the kernel sets; this file validates, clips, locks and picks the slot.
#include "backend.h"

#include <string.h>

#include "kernels/ink_kernels.h"
#include "kernels/kernel_access.h"
#include "kernels/kernel_set.h"
#include "surface/blit_support.h"
#include "surface/native_pixel.h"
#include "surface/palette.h"

using namespace kx;

namespace {

struct BlitRect {
    int dx, dy, sx, sy, w, h;
};

// Clips the source rectangle to the source's extent and the destination rectangle to the destination's clip
// rectangle, moving the other corner along. In 64 bits: a far-away host position must clip to nothing, not wrap.
bool ClipBlit(const SurfaceDesc& src, const SurfaceDesc& dst, BlitRect& r)
{
    long long dx = r.dx, dy = r.dy, sx = r.sx, sy = r.sy, w = r.w, h = r.h;
    if (sx < 0) {
        dx -= sx;
        w += sx;
        sx = 0;
    }
    if (sx + w > src.width)
        w = src.width - sx;
    if (sy < 0) {
        dy -= sy;
        h += sy;
        sy = 0;
    }
    if (sy + h > src.height)
        h = src.height - sy;
    if (dx < dst.clipLeft) {
        sx += dst.clipLeft - dx;
        w -= dst.clipLeft - dx;
        dx = dst.clipLeft;
    }
    if (dx + w > dst.clipRight)
        w = dst.clipRight - dx;
    if (dy < dst.clipTop) {
        sy += dst.clipTop - dy;
        h -= dst.clipTop - dy;
        dy = dst.clipTop;
    }
    if (dy + h > dst.clipBottom)
        h = dst.clipBottom - dy;
    if (w <= 0 || h <= 0)
        return false;
    r = BlitRect{(int)dx, (int)dy, (int)sx, (int)sy, (int)w, (int)h};
    return true;
}

bool Overlaps(const BlitRect& r)
{
    return r.dx < r.sx + r.w && r.sx < r.dx + r.w && r.dy < r.sy + r.h && r.sy < r.dy + r.h;
}

// The RGB colour of a pixel of a locked surface (8-bit: its palette entry).
COLORREF ReadColour(const SurfaceDesc& s, int x, int y)
{
    unsigned long raw = s.kernels->getPixel(const_cast<SurfaceDesc*>(&s), x, y);
    return s.depth == 8 ? PaletteEntryColour(s.palette, (int)raw) : (COLORREF)raw;
}

// Moves a rectangle inside one block of rows, in the order that never reads a byte after overwriting it.
void MoveBlock(uint8_t* rowZero, int rowStep, int bytes, int sx, int sy, int dx, int dy, int w, int h)
{
    size_t rowBytes = (size_t)w * bytes;
    for (int i = 0; i < h; i++) {
        int row = dy > sy ? h - 1 - i : i;
        memmove(rowZero + (ptrdiff_t)(dy + row) * rowStep + (ptrdiff_t)dx * bytes,
                rowZero + (ptrdiff_t)(sy + row) * rowStep + (ptrdiff_t)sx * bytes, rowBytes);
    }
}

// Copies the rectangle's alpha bytes, giving the destination a plane when it has none. A destination that cannot
// get one stays without: its pixels are copied, its alpha is not.
void CopyAlphaRect(SurfaceDesc& dst, int dx, int dy, const SurfaceDesc& src, int sx, int sy, int w, int h)
{
    if (!src.alphaRowZero || (!dst.alphaRowZero && !NewAlphaPlane(dst)))
        return;
    for (int y = 0; y < h; y++)
        memcpy(dst.alphaRowZero + (ptrdiff_t)(dy + y) * dst.alphaRowStep + dx,
               src.alphaRowZero + (ptrdiff_t)(sy + y) * src.alphaRowStep + sx, (size_t)w);
}

// 8-bit kernels that produce colours look them up in the destination palette's inverse table.
bool InverseTableReady(const SurfaceDesc& s) { return s.depth != 8 || (s.palette && BuildInverseTable(s.palette)); }

}  // namespace

cSurfaceBackend* kx::CopyOfRect(cSurfaceBackend* src, int sx, int sy, int w, int h)
{
    cSurfaceBackend* copy = src->MakeInstance(w, h);
    if (!copy)
        return nullptr;
    if (copy->d.depth == src->d.depth) {
        copy->d.transparentColour = src->d.transparentColour;
        copy->d.transparentNative = src->d.transparentNative;
    }
    if (!src->Blit(copy, 0, 0, sx, sy, w, h, 0, 0, 0, BLIT_COPY_ALPHA)) {
        copy->Destroy(1);
        return nullptr;
    }
    return copy;
}

namespace {

// --- edge smoothing ---

// Mean of the 3 x 3 block, weights 1 2 1 / 2 12 2 / 1 2 1 (total 24) per channel, truncating; a neighbour whose
// source pixel is the key colour lends the centre's colour instead of its own.
COLORREF SmoothedMean(const COLORREF* dst, const COLORREF* src, COLORREF key)
{
    static const unsigned kWeight[9] = {1, 2, 1, 2, 12, 2, 1, 2, 1};
    unsigned r = 0, g = 0, b = 0;
    for (int i = 0; i < 9; i++) {
        COLORREF c = src[i] != key ? dst[i] : dst[4];
        r += (c & 0xFF) * kWeight[i];
        g += ((c >> 8) & 0xFF) * kWeight[i];
        b += ((c >> 16) & 0xFF) * kWeight[i];
    }
    return (r / 24) | (g / 24) << 8 | (b / 24) << 16;
}

// Only pixels just outside the shape, with shape on both sides along no axis, are softened.
bool KeepsCentre(const COLORREF* src, COLORREF key)
{
    return src[4] != key || (src[1] == key && src[7] == key) || (src[3] == key && src[5] == key);
}

COLORREF KX_CDECL EdgeFilter(COLORREF* dst, COLORREF* src, void* user)
{
    COLORREF key = (COLORREF)(uintptr_t)user;
    return KeepsCentre(src, key) ? dst[4] : SmoothedMean(dst, src, key);
}

// Black destination pixels stand for the backdrop colour; black source pixels are the shape's outside.
COLORREF KX_CDECL BackdropFilter(COLORREF* dst, COLORREF* src, void* user)
{
    COLORREF backdrop = (COLORREF)(uintptr_t)user, block[9];
    for (int i = 0; i < 9; i++)
        block[i] = dst[i] ? dst[i] : backdrop;
    return KeepsCentre(src, 0) ? block[4] : SmoothedMean(block, src, 0);
}

int SmoothEdges(cSurfaceBackend* src, cSurfaceBackend* dst, int dx, int dy, int effect, unsigned long parameter)
{
    cSurfaceBackend* from = src;
    cSurfaceBackend* copy = nullptr;
    if (src->IsCompressed()) {
        copy = CopyOfRect(src, 0, 0, src->d.width, src->d.height);
        if (!copy)
            return 0;
        from = copy;
    }
    FilterFn filter = EdgeFilter;
    void* user = (void*)(uintptr_t)src->d.transparentColour;
    if (effect == INK_BLEND_BACKDROP && parameter != 0) {
        filter = BackdropFilter;
        user = (void*)(uintptr_t)(parameter & 0xFFFFFF);
    }
    int done = from->ApplyFilter(dst, dx, dy, 0, 0, from->d.width, from->d.height, 3, 3, 1, 1, 1, 1, filter, user);
    if (copy)
        copy->Destroy(1);
    return done;
}

// --- between pixel formats ---

int ConvertBlit(cSurfaceBackend* src, cSurfaceBackend* dst, const BlitRect& r, int mode, int effect,
                unsigned long parameter, unsigned long flags)
{
    if (src->IsCompressed()) {
        cSurfaceBackend* copy = CopyOfRect(src, r.sx, r.sy, r.w, r.h);
        if (!copy)
            return 0;
        int done = ConvertBlit(copy, dst, BlitRect{r.dx, r.dy, 0, 0, r.w, r.h}, mode, effect, parameter, flags);
        copy->Destroy(1);
        return done;
    }
    if (mode != 0 || effect != 0 || (flags & BLIT_SMOOTH_EDGES)) {
        // Convert first, into the destination's format, then do the rest as a blit within one format. The
        // temporary carries the source's transparent colour so that transparent pixels stay transparent.
        cSurfaceBackend* temp = dst->MakeInstance(r.w, r.h);
        if (!temp)
            return 0;
        temp->SetTransparentColour(src->GetTransparentColour());
        int done = ConvertBlit(src, temp, BlitRect{0, 0, r.sx, r.sy, r.w, r.h}, 0, 0, 0, BLIT_COPY_ALPHA) &&
                   temp->Blit(dst, r.dx, r.dy, 0, 0, r.w, r.h, mode, effect, parameter, flags);
        temp->Destroy(1);
        return done;
    }
    const BlitKernelSet* kernels = src->d.kernels;
    if (!kernels || !kernels->convert || !InverseTableReady(src->d) || !InverseTableReady(dst->d))
        return 0;
    LockedPair locks(src, dst);
    if (!locks)
        return 0;
    kernels->convert(&dst->d, r.dx, r.dy, r.w * dst->d.bytesPerPixel, &src->d, r.sx, r.sy, r.w, r.h);
    if (flags & BLIT_COPY_ALPHA)
        CopyAlphaRect(dst->d, r.dx, r.dy, src->d, r.sx, r.sy, r.w, r.h);
    return 1;
}

}  // namespace

// --- the backend slots ---

int cSurfaceBackend::Blit(cSurfaceBackend* dst, int dx, int dy, int sx, int sy, int width, int height, int mode,
                          int effect, unsigned long parameter, unsigned long flags)
{
    if (mode < 0 || mode > 1 || effect < 0 || effect >= INK_CODE_LIMIT)
        return 0;
    if (effect == INK_BLEND && parameter == 0)
        effect = 0;
    if (!dst || dst->IsDeviceOnly())
        return 0;
    BlitRect r{dx, dy, sx, sy, width, height};
    if (!ClipBlit(d, dst->d, r))
        return 0;
    // A blend that gives the destination all the weight leaves it as it is.
    if (effect == INK_BLEND && parameter >= 128)
        return 1;
    if (d.depth != dst->d.depth)
        return ConvertBlit(this, dst, r, mode, effect, parameter, flags);

    if (dst == this && Overlaps(r)) {
        if (mode == 0 && effect == 0 && !(flags & BLIT_SMOOTH_EDGES)) {
            if (!Lock())
                return 0;
            MoveBlock(d.rowZero, d.rowStep, d.bytesPerPixel, r.sx, r.sy, r.dx, r.dy, r.w, r.h);
            if ((flags & BLIT_COPY_ALPHA) && d.alphaRowZero)
                MoveBlock(d.alphaRowZero, d.alphaRowStep, 1, r.sx, r.sy, r.dx, r.dy, r.w, r.h);
            Unlock();
            return 1;
        }
        // Read everything before anything is written: the kernels run over two distinct surfaces.
        cSurfaceBackend* copy = CopyOfRect(this, r.sx, r.sy, r.w, r.h);
        if (!copy)
            return 0;
        int done = copy->Blit(dst, r.dx, r.dy, 0, 0, r.w, r.h, mode, effect, parameter, flags);
        copy->Destroy(1);
        return done;
    }

    const BlitKernelSet* kernels = d.kernels;
    if (!kernels)
        return 0;
    CopyKernelFn copy = nullptr;
    CopyInkKernelFn ink = nullptr;
    if (effect == 0)
        copy = mode == 1 ? kernels->copyTransparent : kernels->copyOpaque;
    else if (IsInkEffect(effect))
        ink = mode == 1 ? kernels->copyTransparentInk : kernels->copyOpaqueInk;
    if (!copy && !ink)
        return 0;
    if (dst->d.depth == 8 && !dst->d.palette)
        return 0;
    if ((effect != 0 || d.alphaRowZero) && !InverseTableReady(dst->d))
        return 0;
    {
        LockedPair locks(this, dst);
        if (!locks)
            return 0;
        if (copy)
            copy(&dst->d, r.dx, r.dy, &d, r.sx, r.sy, r.w, r.h);
        else
            ink(&dst->d, r.dx, r.dy, &d, r.sx, r.sy, r.w, r.h, effect, (uint32_t)parameter);
        if (mode == 0 && (flags & BLIT_COPY_ALPHA))
            CopyAlphaRect(dst->d, r.dx, r.dy, d, r.sx, r.sy, r.w, r.h);
    }
    // The smoothing pass takes the whole source at the position the caller asked for, before clipping.
    if (flags & BLIT_SMOOTH_EDGES)
        return SmoothEdges(this, dst, dx, dy, effect, parameter);
    return 1;
}

int cSurfaceBackend::MoveRect(int sx, int sy, int dx, int dy, int width, int height)
{
    if (width < 1 || height < 1 || sx < 0 || sy < 0 || dx < 0 || dy < 0)
        return 0;
    if ((long long)sx + width > d.width || (long long)dx + width > d.width || (long long)sy + height > d.height ||
        (long long)dy + height > d.height)
        return 0;
    if (!Lock())
        return 0;
    MoveBlock(d.rowZero, d.rowStep, d.bytesPerPixel, sx, sy, dx, dy, width, height);
    Unlock();
    return 1;
}

int cSurfaceBackend::BlitCallback(cSurfaceBackend* dst, int dx, int dy, int sx, int sy, int width, int height,
                                  int mode, PixelColourFn callback, void* user)
{
    if (width < 1 || height < 1 || !callback || !dst || dst->IsDeviceOnly() || dst->d.depth != d.depth)
        return 0;
    BlitRect r{dx, dy, sx, sy, width, height};
    if (!ClipBlit(d, dst->d, r))
        return 0;
    if (IsCompressed() || (dst == this && Overlaps(r))) {
        cSurfaceBackend* copy = CopyOfRect(this, r.sx, r.sy, r.w, r.h);
        if (!copy)
            return 0;
        int done = copy->BlitCallback(dst, r.dx, r.dy, 0, 0, r.w, r.h, mode, callback, user);
        copy->Destroy(1);
        return done;
    }
    CallbackKernelFn kernel = d.kernels ? (mode == 1 ? d.kernels->callbackTransparent : d.kernels->callbackOpaque)
                                        : nullptr;
    if (!kernel || !InverseTableReady(dst->d))
        return 0;
    LockedPair locks(this, dst);
    if (!locks)
        return 0;
    kernel(&dst->d, r.dx, r.dy, &d, r.sx, r.sy, r.w, r.h, callback, user);
    return 1;
}

int cSurfaceBackend::ApplyFilter(cSurfaceBackend* dst, int dx, int dy, int sx, int sy, int width, int height,
                                 int kernelWidth, int kernelHeight, int centreX, int centreY, int marginX,
                                 int marginY, FilterFn callback, void* user)
{
    if (!callback || !dst || dst->IsDeviceOnly() || dst->d.depth != d.depth)
        return 0;
    if (!d.kernels || !d.kernels->getPixel || !dst->d.kernels || !dst->d.kernels->getPixel ||
        !dst->d.kernels->setPixel)
        return 0;
    if (d.depth == 8 && (!d.palette || !InverseTableReady(dst->d)))
        return 0;
    BlitRect r{dx, dy, sx, sy, width, height};
    if (!ClipBlit(d, dst->d, r) || kernelWidth <= 0 || kernelHeight <= 0 || marginX < 0 || marginY < 0)
        return 0;

    // Both neighbourhoods are read from snapshots taken before the first store: the filter sees the destination
    // as it was (also where source and destination are one surface), and every window of the walk lies inside
    // the snapshot. Destination positions off the surface take its nearest pixel, never unwritten memory.
    long long areaW = (long long)r.w + kernelWidth + 2LL * marginX;
    long long areaH = (long long)r.h + kernelHeight + 2LL * marginY;
    long long blockCount = (long long)kernelWidth * kernelHeight;
    const long long kLimit = INT32_MAX / 16;
    if (areaW > kLimit || areaH > kLimit || areaW * areaH > kLimit || blockCount > kLimit)
        return 0;
    size_t area = (size_t)(areaW * areaH), block = (size_t)blockCount;
    void* memory = nullptr;
    if (!AllocRetry((2 * area + 2 * block) * sizeof(COLORREF), &memory))
        return 0;
    COLORREF* savedDst = static_cast<COLORREF*>(memory);
    COLORREF* savedSrc = savedDst + area;
    COLORREF* dstBlock = savedSrc + area;
    COLORREF* srcBlock = dstBlock + block;
    int result = 0;
    {
        LockedPair locks(this, dst);
        if (locks) {
            const SurfaceDesc& dd = dst->d;
            int dstLeft = r.dx - centreX - marginX, dstTop = r.dy - centreY - marginY;
            int srcLeft = r.sx - centreX - marginX, srcTop = r.sy - centreY - marginY;
            for (int j = 0; j < (int)areaH; j++) {
                int py = dstTop + j, qy = srcTop + j;
                py = py < 0 ? 0 : py >= dd.height ? dd.height - 1 : py;
                for (int i = 0; i < (int)areaW; i++) {
                    int px = dstLeft + i, qx = srcLeft + i;
                    px = px < 0 ? 0 : px >= dd.width ? dd.width - 1 : px;
                    savedDst[(size_t)j * areaW + i] = ReadColour(dd, px, py);
                    bool inside = qx >= d.clipLeft && qx < d.clipRight && qy >= d.clipTop && qy < d.clipBottom;
                    savedSrc[(size_t)j * areaW + i] = inside ? ReadColour(d, qx, qy) : d.transparentColour;
                }
            }
            int walkW = r.w + 2 * marginX, walkH = r.h + 2 * marginY;
            for (int j = 0; j < walkH; j++) {
                int y = r.dy - marginY + j;
                for (int i = 0; i < walkW; i++) {
                    int x = r.dx - marginX + i;
                    for (int ky = 0; ky < kernelHeight; ky++) {
                        size_t from = (size_t)(j + ky) * areaW + i;
                        memcpy(dstBlock + (size_t)ky * kernelWidth, savedDst + from, kernelWidth * sizeof(COLORREF));
                        memcpy(srcBlock + (size_t)ky * kernelWidth, savedSrc + from, kernelWidth * sizeof(COLORREF));
                    }
                    COLORREF colour = callback(dstBlock, srcBlock, user);
                    if (x >= dd.clipLeft && x < dd.clipRight && y >= dd.clipTop && y < dd.clipBottom)
                        dd.kernels->setPixel(&dst->d, x, y, colour);
                }
            }
            result = 1;
        }
    }
    FreeAndNull(&memory);
    return result;
}

int cSurfaceBackend::IsBlank()
{
    if (!Lock())
        return 0;
    int blank = 1;
    for (int y = 0; y < d.height && blank; y++) {
        if (d.alphaRowZero) {
            const uint8_t* row = d.alphaRowZero + (ptrdiff_t)y * d.alphaRowStep;
            for (int x = 0; x < d.width && blank; x++)
                blank = row[x] == 0;
        } else {
            const uint8_t* p = PixelAt(&d, 0, y, d.bytesPerPixel);
            for (int x = 0; x < d.width && blank; x++, p += d.bytesPerPixel)
                blank = LoadNativePixel(p, d.bytesPerPixel) == d.transparentNative;
        }
    }
    Unlock();
    return blank;
}

int cSurfaceBackend::ReplaceColour(COLORREF newColour, COLORREF oldColour)
{
    if (d.width < 1 || d.height < 1 || !d.kernels || !d.kernels->replaceColour)
        return 0;
    uint32_t replacement = newColour, original = oldColour;
    if (d.depth == 8) {
        if (!d.palette)
            return 0;
        replacement = (uint32_t)ColourToIndex(d.palette, newColour);
        original = (uint32_t)ColourToIndex(d.palette, oldColour);
    }
    if (!Lock())
        return 0;
    d.kernels->replaceColour(&d, 0, 0, d.width, d.height, d.width * d.bytesPerPixel, replacement, original);
    Unlock();
    return 1;
}

int cSurfaceBackend::GetContentRect(RECT* out)
{
    if (!out || (d.width <= 2 && d.height <= 2))
        return 0;
    if (!Lock())
        return 0;
    int left = d.width, top = d.height, right = -1, bottom = -1;
    for (int y = 0; y < d.height; y++) {
        const uint8_t* alpha = d.alphaRowZero ? d.alphaRowZero + (ptrdiff_t)y * d.alphaRowStep : nullptr;
        const uint8_t* p = PixelAt(&d, 0, y, d.bytesPerPixel);
        for (int x = 0; x < d.width; x++, p += d.bytesPerPixel) {
            bool counts = alpha ? alpha[x] != 0 : LoadNativePixel(p, d.bytesPerPixel) != d.transparentNative;
            if (counts) {
                left = x < left ? x : left;
                right = x > right ? x : right;
                top = y < top ? y : top;
                bottom = y;
            }
        }
    }
    Unlock();
    if (right < 0) {
        // Nothing counts: an inverted rectangle, which every caller reads as empty.
        *out = RECT{d.width - 1, d.height - 1, 1, 1};
    } else {
        *out = RECT{left, top, right + 1, bottom + 1};
    }
    return 1;
}
