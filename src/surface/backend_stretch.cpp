// The backend base class's stretching blit: nearest-neighbour scaling between surfaces of one format (row by row
// with the per-format row stretchers), smooth resampling through a temporary (resample.cpp), and every other case
// (another depth, transparency, ink effects, one surface onto itself) as a stretch into a temporary that the
// generic blit then draws. The canvas members that reach the slot are here too.
#include "backend.h"

#include <string.h>

#include "kernels/row_helpers.h"
#include "surface/blit_support.h"
#include "surface/resample.h"

using namespace kx;

namespace {

// Rows of pixels (or of alpha bytes) as the nearest stretch sees them.
struct Plane {
    uint8_t* rowZero;
    ptrdiff_t rowStep;
    int bytes;
    int format;  // which row stretcher: only the pixel size matters
};

struct ClipBox {
    int left, top, right, bottom;
};

Plane PixelPlane(const SurfaceDesc& d) { return Plane{d.rowZero, d.rowStep, d.bytesPerPixel, d.formatIndex}; }
Plane AlphaPlane(const SurfaceDesc& d) { return Plane{d.alphaRowZero, d.alphaRowStep, 1, FORMAT_8}; }

// Nearest-neighbour stretch of (sx, sy, sw, sh) of src onto (dx, dy, dw, dh) of dst. Each source row in turn adds
// ystep = dh / sh (16.16) to an accumulator and produces a destination row for every whole unit in it: the first
// one stretched from the source row, the others copies of the row above. Rows still missing at the end are copies
// of the last one (or, when none was produced, a stretch of the last source row). With a clip box, only pixels
// inside it are written; a repeated row whose predecessor lay outside is stretched afresh.
void StretchNearest(const Plane& dst, int dx, int dy, int dw, int dh, const Plane& src, int sx, int sy, int sw,
                    int sh, const ClipBox* clip)
{
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0)
        return;
    const int bytes = dst.bytes;
    const uint32_t xstep = StretchStep(sw, dw);
    const uint64_t ystep = ((uint64_t)dh << 16) / (uint64_t)sh;
    int left = dx, right = dx + dw;
    if (clip) {
        left = left > clip->left ? left : clip->left;
        right = right < clip->right ? right : clip->right;
    }
    auto destRow = [&](int y) { return dst.rowZero + (ptrdiff_t)(dy + y) * dst.rowStep; };
    auto sourceRow = [&](int r) { return src.rowZero + (ptrdiff_t)(sy + r) * src.rowStep + (ptrdiff_t)sx * bytes; };

    int produced = 0, lastSource = sh - 1;
    bool lastWritten = false;
    // Produces destination row `produced` from source row r: a stretch when fresh, else a copy of the row above.
    auto produce = [&](int r, bool fresh) {
        int y = produced++;
        lastSource = r;
        if (clip && (dy + y < clip->top || dy + y >= clip->bottom)) {
            lastWritten = false;
            return;
        }
        uint8_t* row = destRow(y);
        if (!fresh && lastWritten) {
            memcpy(row + (ptrdiff_t)left * bytes, destRow(y - 1) + (ptrdiff_t)left * bytes,
                   (size_t)(right - left) * bytes);
        } else if (clip) {
            kStretchRowClipped[src.format](sourceRow(r), row + (ptrdiff_t)dx * bytes, sw, dw, xstep, dx, clip->left,
                                           clip->right);
        } else {
            kStretchRow[src.format](sourceRow(r), row + (ptrdiff_t)dx * bytes, sw, dw, xstep);
        }
        lastWritten = true;
    };

    // Nothing below the clip box is written: the walk may end there.
    int end = clip && (long long)clip->bottom - dy < dh ? clip->bottom - dy : dh;
    uint64_t accumulator = ystep;
    for (int r = 0; r < sh && produced < end; r++) {
        for (bool fresh = true; accumulator >= 0x10000 && produced < end; fresh = false) {
            produce(r, fresh);
            accumulator -= 0x10000;
        }
        accumulator += ystep;
    }
    // The truncated step leaves at most one row short for any height below 65536 rows; the loop covers the rest.
    while (produced < end)
        produce(produced == 0 ? sh - 1 : lastSource, produced == 0);
}

}  // namespace

int cSurfaceBackend::StretchBlit(cSurfaceBackend* dst, int dx, int dy, int dw, int dh, int sx, int sy, int sw,
                                 int sh, int mode, int effect, unsigned long parameter, unsigned long flags)
{
    unsigned long blitFlags = (flags & STRETCH_ALPHA) ? BLIT_COPY_ALPHA : 0;
    if (dw == sw && dh == sh)
        return Blit(dst, dx, dy, sx, sy, sw, sh, mode, effect, parameter, blitFlags);
    if (!dst || dst->IsDeviceOnly())
        return 0;
    if (sx < 0 || sy < 0 || sw < 1 || sh < 1 || (long long)sx + sw > d.width || (long long)sy + sh > d.height)
        return 0;
    // The 16.16 column step cannot express a row made more than 65535 times wider.
    if ((long long)dw >= 0x10000LL * sw)
        return 0;
    const SurfaceDesc& t = dst->d;
    RECT visible;
    if (!ClipToClipRect(t, dx, dy, dw, dh, visible))
        return 0;
    long long left = visible.left, top = visible.top, right = visible.right, bottom = visible.bottom;
    bool cut = left != dx || top != dy || right != (long long)dx + dw || bottom != (long long)dy + dh;

    if (flags & (STRETCH_SMOOTH | STRETCH_SMOOTH_TRANSPARENT)) {
        cSurfaceBackend* scaled = MakeInstance(dw, dh);
        if (!scaled)
            return 0;
        bool keep = (flags & STRETCH_SMOOTH_TRANSPARENT) || d.alphaRowZero;
        bool made = ResampleRect(this, sx, sy, sw, sh, scaled, keep);
        if (made && d.alphaRowZero && (mode == 1 || (flags & STRETCH_ALPHA)))
            made = NewAlphaPlane(scaled->d) && ResampleAlpha(d, sx, sy, sw, sh, scaled->d);
        int done = made ? scaled->Blit(dst, dx, dy, 0, 0, dw, dh, mode, effect, parameter, blitFlags) : 0;
        scaled->Destroy(1);
        return done;
    }

    if (d.depth != dst->d.depth || mode != 0 || effect != 0 || dst == this) {
        // Stretch exactly the visible part into a surface of this format, then let the blit convert, skip
        // transparent pixels or apply the effect. A surface stretched onto itself would read rows it has already
        // overwritten, so it goes this way too.
        int w = (int)(right - left), h = (int)(bottom - top);
        cSurfaceBackend* part = MakeInstance(w, h);
        if (!part)
            return 0;
        COLORREF fill = d.depth == 8 ? 0x01000000u | (COLORREF)(d.transparentNative & 0xFF) : d.transparentColour;
        part->FillRect(0, 0, w, h, fill);
        unsigned long partFlags = (mode == 1 || (flags & STRETCH_ALPHA)) ? STRETCH_ALPHA : 0;
        int done = StretchBlit(part, dx - (int)left, dy - (int)top, dw, dh, sx, sy, sw, sh, 0, 0, 0, partFlags) &&
                   part->Blit(dst, (int)left, (int)top, 0, 0, w, h, mode, effect, parameter, blitFlags);
        part->Destroy(1);
        return done;
    }

    LockedPair locks(this, dst);
    if (!locks)
        return 0;
    ClipBox box{t.clipLeft, t.clipTop, t.clipRight, t.clipBottom};
    const ClipBox* clip = cut ? &box : nullptr;
    StretchNearest(PixelPlane(dst->d), dx, dy, dw, dh, PixelPlane(d), sx, sy, sw, sh, clip);
    if ((flags & STRETCH_ALPHA) && d.alphaRowZero && (dst->d.alphaRowZero || NewAlphaPlane(dst->d)))
        StretchNearest(AlphaPlane(dst->d), dx, dy, dw, dh, AlphaPlane(d), sx, sy, sw, sh, clip);
    return 1;
}

// --- the canvas members ---

int cCanvas::StretchBlit(cCanvas* destination, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh,
                         int mode, int effect, unsigned long parameter, unsigned long flags)
{
    if (!destination)
        return 0;
    return backend->StretchBlit(destination->backend, dx - destination->originX, dy - destination->originY, dw, dh,
                                sx - originX, sy - originY, sw, sh, mode, effect, parameter, flags);
}

int cCanvas::StretchDraw(cCanvas* destination, int x, int y, int width, int height, int mode, int effect,
                         unsigned long parameter, unsigned long flags)
{
    return StretchBlit(destination, x, y, width, height, 0, 0, backend->d.width, backend->d.height, mode, effect,
                       parameter, flags);
}

int cCanvas::StretchTo(cCanvas* destination, unsigned long flags)
{
    if (!destination)
        return 0;
    return StretchBlit(destination, 0, 0, destination->backend->d.width, destination->backend->d.height, 0, 0,
                       backend->d.width, backend->d.height, 0, 0, 0, flags);
}
