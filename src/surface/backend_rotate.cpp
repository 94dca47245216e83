// The backend base class's mirrors and rotations: rectangles mirrored in place, and whole surfaces turned into
// another surface by quarter turns or by any angle (nearest or bilinear sampling), the alpha plane following its
// pixels. The canvas members that reach these slots, and the rotated size, are in canvas_rotate.cpp.
#include "backend.h"

#include <math.h>
#include <string.h>

#include <algorithm>

#include "kernels/kernel_access.h"
#include "kernels/kernel_set.h"
#include "kernels/pixel_formats.h"
#include "surface/blit_support.h"
#include "surface/palette.h"
#include "surface/rotation.h"

using namespace kx;

namespace {

// --- mirrors ---

// A rectangle wholly outside the surface is refused before it is clipped to the clip rectangle; false when
// nothing is left. In 64 bits: a far-away host rectangle must clip to nothing, not wrap around into the surface.
bool ClipMirror(const SurfaceDesc& d, int& x, int& y, int& width, int& height)
{
    long long left = x, top = y, right = left + width, bottom = top + height;
    if (left >= d.width || right <= 0 || top >= d.height || bottom <= 0)
        return false;
    RECT r;
    if (!ClipToClipRect(d, left, top, right - left, bottom - top, r))
        return false;
    x = r.left;
    y = r.top;
    width = r.right - r.left;
    height = r.bottom - r.top;
    return true;
}

uint8_t* AlphaRow(const SurfaceDesc& d, int x, int y) { return d.alphaRowZero + (ptrdiff_t)y * d.alphaRowStep + x; }

// Row i trades places with row h - 1 - i, rowBytes bytes of each.
void SwapRows(uint8_t* top, ptrdiff_t rowStep, size_t rowBytes, int h)
{
    uint8_t* bottom = top + (ptrdiff_t)(h - 1) * rowStep;
    for (int i = 0; i < h / 2; i++, top += rowStep, bottom -= rowStep)
        std::swap_ranges(top, top + rowBytes, bottom);
}

// --- quarter turns ---

// Clockwise, source pixel (x, y) lands on (h - 1 - y, x) of the h x w destination; otherwise on (y, w - 1 - x).
void TurnQuarter(uint8_t* dstRowZero, ptrdiff_t dstStep, const uint8_t* srcRowZero, ptrdiff_t srcStep, int w, int h,
                 int bytes, bool clockwise)
{
    for (int y = 0; y < h; y++) {
        const uint8_t* from = srcRowZero + (ptrdiff_t)y * srcStep;
        for (int x = 0; x < w; x++, from += bytes) {
            int tx = clockwise ? h - 1 - y : y, ty = clockwise ? x : w - 1 - x;
            memcpy(dstRowZero + (ptrdiff_t)ty * dstStep + (ptrdiff_t)tx * bytes, from, (size_t)bytes);
        }
    }
}

// --- any angle ---

// Where destination pixel (X, Y) samples the source: u = w/2 + (X - W/2) cos - (Y - H/2) sin and
// v = h/2 + (X - W/2) sin + (Y - H/2) cos. Cosine and sine have single precision, so for whole degrees and sides
// below 2^20 every term and sum is exact in double precision: walking a row by adding them gives the same values.
struct Sampling {
    Turn turn;
    int srcW, srcH, dstW, dstH;
    int quality;
    uint32_t fill;  // native
    bool keepFill;  // the caller's flag: pixels of the fill colour are not blended
};

// Nearest integer, halves to the even neighbour; independent of the processor's rounding mode.
double RoundHalfEven(double value)
{
    double whole = floor(value), rest = value - whole;
    if (rest > 0.5 || (rest == 0.5 && fmod(whole, 2.0) != 0))
        whole += 1;
    return whole;
}

// A surface's pixels as the sampler sees them: native values read from the source and written to the destination,
// colours per channel for blending, and the test against the fill colour.
template <class F>
struct PixelPlane {
    const SurfaceDesc* src;
    const SurfaceDesc* dst;
    uint32_t fill;

    uint32_t Read(int x, int y) const { return F::Load(PixelAt(src, x, y, F::kBytes)); }
    void Write(int x, int y, uint32_t native) const { F::Store(PixelAt(dst, x, y, F::kBytes), native); }
    uint32_t Colour(uint32_t native) const
    {
        if constexpr (F::kIndexed)
            return PaletteEntryColour(src->palette, (int)native);
        else
            return F::ToRgb(native);
    }
    bool IsFill(uint32_t native) const
    {
        if constexpr (F::kIndexed)
            return native == fill;
        else
            return F::ToRgb(native) == F::ToRgb(fill);
    }
    uint32_t Blend(const uint32_t n[4], const double weight[4]) const
    {
        uint32_t rgb = 0;
        for (int shift = 0; shift < 24; shift += 8) {
            double sum = ((Colour(n[0]) >> shift) & 0xFF) * weight[0] + 0.5;
            for (int i = 1; i < 4; i++)
                sum += ((Colour(n[i]) >> shift) & 0xFF) * weight[i];
            rgb |= (uint32_t)sum << shift;
        }
        if constexpr (F::kIndexed)
            return (uint32_t)FindNearestIndex(dst->palette, rgb);
        else
            return F::ToNative(rgb);
    }
};

// The alpha planes of the two surfaces: one channel, no fill colour to keep.
struct AlphaPlane {
    const SurfaceDesc* src;
    const SurfaceDesc* dst;
    uint32_t fill;

    uint32_t Read(int x, int y) const { return *AlphaRow(*src, x, y); }
    void Write(int x, int y, uint32_t value) const { *AlphaRow(*dst, x, y) = (uint8_t)value; }
    bool IsFill(uint32_t value) const { return value == fill; }
    uint32_t Blend(const uint32_t n[4], const double weight[4]) const
    {
        double sum = n[0] * weight[0] + 0.5;
        for (int i = 1; i < 4; i++)
            sum += n[i] * weight[i];
        return (uint32_t)sum;
    }
};

template <class Plane>
uint32_t SampleNearest(const Plane& p, const Sampling& s, double u, double v)
{
    double x = RoundHalfEven(u), y = RoundHalfEven(v);
    if (x < 0 || y < 0 || x >= s.srcW || y >= s.srcH)
        return s.fill;
    return p.Read((int)x, (int)y);
}

// Neighbours below and to the right that lie outside the source, or (with the flag) have the fill colour, lend
// the pixel's own value instead.
template <class Plane>
uint32_t SampleBilinear(const Plane& p, const Sampling& s, double u, double v)
{
    if (u < 0 || v < 0 || u >= s.srcW || v >= s.srcH)
        return s.fill;
    int iu = (int)u, iv = (int)v;
    uint32_t c00 = p.Read(iu, iv);
    if (s.keepFill && p.IsFill(c00))
        return c00;
    double fu = u - iu, fv = v - iv;
    double w11 = fu * fv, w01 = fv - w11, w10 = fu - w11, w00 = 1 - fv - w10;
    bool right = iu + 1 < s.srcW, below = iv + 1 < s.srcH;
    auto neighbour = [&](bool inside, int x, int y) {
        if (!inside)
            return c00;
        uint32_t c = p.Read(x, y);
        return s.keepFill && p.IsFill(c) ? c00 : c;
    };
    const uint32_t n[4] = {c00, neighbour(right && below, iu + 1, iv + 1), neighbour(below, iu, iv + 1),
                           neighbour(right, iu + 1, iv)};
    const double weight[4] = {w00, w11, w01, w10};
    return p.Blend(n, weight);
}

template <class Plane>
void RotatePlane(const Plane& p, const Sampling& s)
{
    const double c = s.turn.cosA, sn = s.turn.sinA;
    const double left = -s.dstW / 2.0;
    for (int y = 0; y < s.dstH; y++) {
        double dy = y - s.dstH / 2.0;
        double u = s.srcW / 2.0 + left * c - dy * sn;
        double v = s.srcH / 2.0 + left * sn + dy * c;
        for (int x = 0; x < s.dstW; x++, u += c, v += sn)
            p.Write(x, y, s.quality ? SampleBilinear(p, s, u, v) : SampleNearest(p, s, u, v));
    }
}

template <class F>
void RotatePixels(SurfaceDesc& dst, const SurfaceDesc& src, const Sampling& s)
{
    RotatePlane(PixelPlane<F>{&src, &dst, s.fill}, s);
}

using RotatePixelsFn = void (*)(SurfaceDesc& dst, const SurfaceDesc& src, const Sampling& s);
const RotatePixelsFn kRotatePixels[FORMAT_COUNT] = {RotatePixels<Format8>, RotatePixels<Format15>,
                                                    RotatePixels<Format16>, RotatePixels<Format24>,
                                                    RotatePixels<Format32>};

uint32_t FillNative(cSurfaceBackend* dst, COLORREF fill)
{
    switch (dst->d.formatIndex) {
    case FORMAT_8: return (uint32_t)dst->NearestIndex(fill);
    case FORMAT_15: return Format15::ToNative(fill);
    case FORMAT_16: return Format16::ToNative(fill);
    case FORMAT_24: return Format24::ToNative(fill);
    default: return Format32::ToNative(fill);
    }
}

// The checks every turn into another surface makes: it exists, can be written in memory and has this depth.
bool CanTurnInto(const cSurfaceBackend* src, cSurfaceBackend* dst)
{
    return dst && !dst->IsDeviceOnly() && src->d.depth != 0 && dst->d.depth == src->d.depth &&
           src->d.formatIndex >= FORMAT_8 && src->d.formatIndex < FORMAT_COUNT;
}

}  // namespace

int cSurfaceBackend::MirrorHorizontal(int x, int y, int width, int height)
{
    if (!ClipMirror(d, x, y, width, height))
        return 0;
    if (width == 1)
        return 1;
    if (!d.kernels || !d.kernels->mirrorRows || !Lock())
        return 0;
    d.kernels->mirrorRows(&d, x, y, d.rowStep, width, height);
    if (d.alphaRowZero)
        for (int j = 0; j < height; j++) {
            uint8_t* row = AlphaRow(d, x, y + j);
            std::reverse(row, row + width);
        }
    Unlock();
    return 1;
}

int cSurfaceBackend::MirrorVertical(int x, int y, int width, int height)
{
    if (!ClipMirror(d, x, y, width, height))
        return 0;
    if (height == 1)
        return 1;
    if (d.bytesPerPixel < 1 || !Lock())
        return 0;
    SwapRows(PixelAt(&d, x, y, d.bytesPerPixel), d.rowStep, (size_t)width * d.bytesPerPixel, height);
    if (d.alphaRowZero)
        SwapRows(AlphaRow(d, x, y), d.alphaRowStep, (size_t)width, height);
    Unlock();
    return 1;
}

int cSurfaceBackend::Rotate90(cSurfaceBackend* dst, int clockwise)
{
    // The destination is written whole, so it must measure exactly the turned size.
    if (!CanTurnInto(this, dst) || dst->d.width != d.height || dst->d.height != d.width)
        return 0;
    // A surface turned into itself (a square one) must not read what it has already written.
    if (dst == this || IsCompressed()) {
        cSurfaceBackend* copy = CopyOfRect(this, 0, 0, d.width, d.height);
        if (!copy)
            return 0;
        int done = copy->Rotate90(dst, clockwise);
        copy->Destroy(1);
        return done;
    }
    LockedPair locks(this, dst);
    if (!locks)
        return 0;
    TurnQuarter(dst->d.rowZero, dst->d.rowStep, d.rowZero, d.rowStep, d.width, d.height, d.bytesPerPixel,
                clockwise != 0);
    // A destination that cannot get a plane stays without one: its pixels are turned, its alpha is not.
    if (d.alphaRowZero && (dst->d.alphaRowZero || NewAlphaPlane(dst->d)))
        TurnQuarter(dst->d.alphaRowZero, dst->d.alphaRowStep, d.alphaRowZero, d.alphaRowStep, d.width, d.height, 1,
                    clockwise != 0);
    return 1;
}

int cSurfaceBackend::Rotate(cSurfaceBackend* dst, double angle, int quality, COLORREF fill, int flag)
{
    if (angle == 0 || angle == 180) {
        if (!Blit(dst, 0, 0, 0, 0, d.width, d.height, BLIT_OPAQUE, 0, 0, BLIT_COPY_ALPHA))
            return 0;
        if (angle == 180) {
            dst->MirrorHorizontal(0, 0, d.width, d.height);
            dst->MirrorVertical(0, 0, d.width, d.height);
        }
        return 1;
    }
    if (!isfinite(angle) || !CanTurnInto(this, dst))
        return 0;
    // Every destination pixel is written from pixels around it in the source: one surface cannot be both.
    if (dst == this || IsCompressed()) {
        cSurfaceBackend* copy = CopyOfRect(this, 0, 0, d.width, d.height);
        if (!copy)
            return 0;
        int done = copy->Rotate(dst, angle, quality, fill, flag);
        copy->Destroy(1);
        return done;
    }
    if (d.depth == 8 && (!d.palette || !dst->d.palette))
        return 0;
    Sampling s{TurnOf(angle), d.width, d.height, dst->d.width, dst->d.height, quality, 0, false};
    s.keepFill = flag != 0 && !d.alphaRowZero;
    s.fill = FillNative(dst, fill);
    // Blended 8-bit pixels go through the destination palette's colour cache; without one they are searched.
    if (quality && d.depth == 8)
        BuildInverseTable(dst->d.palette);
    {
        LockedPair locks(this, dst);
        if (!locks)
            return 0;
        kRotatePixels[d.formatIndex](dst->d, d, s);
    }
    if (d.alphaRowZero && (dst->d.alphaRowZero || NewAlphaPlane(dst->d))) {
        s.fill = 0;
        s.keepFill = false;
        RotatePlane(AlphaPlane{&d, &dst->d, 0}, s);
    }
    return 1;
}
