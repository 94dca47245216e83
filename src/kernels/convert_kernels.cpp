// The conversion row tables (five source formats by five destination formats, plain and SSE2) and slot 11.
#include "kernels/convert_kernels.h"

#include "kernels/convert_pixels.h"
#include "kernels/kernel_access.h"

namespace kx {

namespace {

using RowTable = ConvertRowFn[FORMAT_COUNT][FORMAT_COUNT];

template <class S>
constexpr void FillRowsFrom(RowTable& t)
{
    t[S::kIndex][0] = ConvertRow<S, Format8>;
    t[S::kIndex][1] = ConvertRow<S, Format15>;
    t[S::kIndex][2] = ConvertRow<S, Format16>;
    t[S::kIndex][3] = ConvertRow<S, Format24>;
    t[S::kIndex][4] = ConvertRow<S, Format32>;
}

struct RowTables {
    RowTable plain, sse2;
};

constexpr RowTables MakeRowTables()
{
    RowTables r{};
    FillRowsFrom<Format8>(r.plain);
    FillRowsFrom<Format15>(r.plain);
    FillRowsFrom<Format16>(r.plain);
    FillRowsFrom<Format24>(r.plain);
    FillRowsFrom<Format32>(r.plain);
    for (int s = 0; s < FORMAT_COUNT; s++)
        for (int d = 0; d < FORMAT_COUNT; d++)
            r.sse2[s][d] = r.plain[s][d];
    r.sse2[FORMAT_15][FORMAT_32] = Convert15To32Sse2;
    r.sse2[FORMAT_16][FORMAT_32] = Convert16To32Sse2;
    r.sse2[FORMAT_32][FORMAT_15] = Convert32To15Sse2;
    r.sse2[FORMAT_32][FORMAT_16] = Convert32To16Sse2;
    return r;
}

constexpr RowTables kRows = MakeRowTables();

// Every palette index in the destination's form, once per call rather than once per pixel.
template <class D>
void FillNatives(ConvertContext* c, const SharedPalette* palette)
{
    for (uint32_t i = 0; i < 256; i++) {
        uint32_t colour = KernelEntryColour(palette, i);
        c->natives[i] = NativeFromColour<D>(colour, colour != 0);
    }
}

}  // namespace

ConvertRowFn ConvertRowFor(int sourceDepth, int destinationDepth, unsigned long flags)
{
    const RowTable& t = (flags & KERNEL_CPU_SSE2) ? kRows.sse2 : kRows.plain;
    return t[FormatIndexOfDepth(sourceDepth)][FormatIndexOfDepth(destinationDepth)];
}

template <class F>
void ConvertKernel(SurfaceDesc* dst, int dx, int dy, int dstRowBytes, const SurfaceDesc* src, int sx, int sy, int w,
                   int h)
{
    int to = FormatIndexOfDepth(dst->depth);
    KX_KERNEL_EXPECT(dst && dst->rowZero && src && src->rowZero && src->bytesPerPixel == F::kBytes);
    KX_KERNEL_EXPECT(InsideSurface(dst, dx, dy, w, h) && InsideSurface(src, sx, sy, w, h));
    KX_KERNEL_EXPECT(dstRowBytes == w * dst->bytesPerPixel);
    KX_KERNEL_EXPECT(to != FORMAT_8 || dst->palette);
    (void)dstRowBytes;
    ConvertRowFn row = ConvertRowFor(src->depth, dst->depth, dst->flags);
    // The natives table is only needed (and only filled) for an 8-bit source.
    ConvertContext c;
    c.palette = to == FORMAT_8 ? dst->palette : src->palette;
    if constexpr (F::kIndexed) {
        KX_KERNEL_EXPECT(src->palette);
        switch (to) {
        case FORMAT_15: FillNatives<Format15>(&c, src->palette); break;
        case FORMAT_16: FillNatives<Format16>(&c, src->palette); break;
        case FORMAT_24: FillNatives<Format24>(&c, src->palette); break;
        case FORMAT_32: FillNatives<Format32>(&c, src->palette); break;
        default: break;
        }
    }
    uint8_t* drow = PixelAt(dst, dx, dy, dst->bytesPerPixel);
    const uint8_t* srow = PixelAt(src, sx, sy, F::kBytes);
    for (int j = 0; j < h; j++, drow += dst->rowStep, srow += src->rowStep)
        row(&c, srow, drow, w);
}

template void ConvertKernel<Format8>(SurfaceDesc*, int, int, int, const SurfaceDesc*, int, int, int, int);
template void ConvertKernel<Format15>(SurfaceDesc*, int, int, int, const SurfaceDesc*, int, int, int, int);
template void ConvertKernel<Format16>(SurfaceDesc*, int, int, int, const SurfaceDesc*, int, int, int, int);
template void ConvertKernel<Format24>(SurfaceDesc*, int, int, int, const SurfaceDesc*, int, int, int, int);
template void ConvertKernel<Format32>(SurfaceDesc*, int, int, int, const SurfaceDesc*, int, int, int, int);

}  // namespace kx
