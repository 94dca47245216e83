// The ink routine tables (plain, MMX and SSE2, one row per effect code, per format) and the two ink copies that
// walk a rectangle with them (slots 4 and 6).
#include "kernels/ink_kernels.h"

#include "kernels/ink_effects.h"
#include "kernels/ink_simd.h"

namespace kx {

namespace {

struct InkTable {
    InkRoutines code[INK_CODE_LIMIT];
};

template <class F>
constexpr InkTable PlainInkTable()
{
    InkTable t{};
    t.code[INK_BLEND] = PlainInkRoutines<F, InkBlend>();
    t.code[INK_INVERT] = PlainInkRoutines<F, InkInvert>();
    t.code[INK_XOR] = PlainInkRoutines<F, InkXor>();
    t.code[INK_AND] = PlainInkRoutines<F, InkAnd>();
    t.code[INK_OR] = PlainInkRoutines<F, InkOr>();
    t.code[INK_BLEND_BACKDROP] = PlainInkRoutines<F, InkBlendBackdrop>();
    t.code[INK_AND_NOT] = PlainInkRoutines<F, InkAndNot>();
    t.code[INK_ADD] = PlainInkRoutines<F, InkAddEffect>();
    t.code[INK_GREY] = PlainInkRoutines<F, InkGrey>();
    t.code[INK_SUBTRACT] = PlainInkRoutines<F, InkSubtractEffect>();
    t.code[INK_BLEND_EXCEPT_KEY] = PlainInkRoutines<F, InkBlendExceptKey>();
    return t;
}

// Code 1 differs: 24/32-bit rows and the 32-bit keyed loop run with MMX.
template <class F>
constexpr InkTable MmxInkTable()
{
    InkTable t = PlainInkTable<F>();
    if constexpr (F::kBytes == 3) {
        t.code[INK_BLEND].row = InkBlendRow24Mmx;
    } else if constexpr (F::kBytes == 4) {
        t.code[INK_BLEND].row = InkBlendRow32Mmx;
        t.code[INK_BLEND].keyedRow = InkBlendKeyedRow32Mmx;
    }
    return t;
}

// Effects whose arithmetic vectorises run their rows with SSE2, and their transparent rows too where a pixel fits
// a compare lane.
template <class F, template <class> class E>
constexpr void UseBytesSse2(InkTable& t)
{
    t.code[E<F>::kCode].row = InkBytesRowSse2<F, E>;
    if constexpr (F::kBytes != 3)
        t.code[E<F>::kCode].keyedRow = InkBytesKeyedRowSse2<F, E>;
}

template <class F, template <class> class E>
constexpr void UsePackedSse2(InkTable& t)
{
    t.code[E<F>::kCode].row = InkPackedRowSse2<F, E>;
    t.code[E<F>::kCode].keyedRow = InkPackedKeyedRowSse2<F, E>;
}

template <class F>
constexpr InkTable Sse2InkTable()
{
    InkTable t = PlainInkTable<F>();
    UseBytesSse2<F, InkInvert>(t);
    UseBytesSse2<F, InkXor>(t);
    UseBytesSse2<F, InkAnd>(t);
    UseBytesSse2<F, InkOr>(t);
    UseBytesSse2<F, InkAndNot>(t);
    if constexpr (F::kBytes >= 3) {
        UseBytesSse2<F, InkBlend>(t);
        UseBytesSse2<F, InkAddEffect>(t);
        UseBytesSse2<F, InkSubtractEffect>(t);
    } else if constexpr (F::kBytes == 2) {
        UsePackedSse2<F, InkBlend>(t);
        UsePackedSse2<F, InkAddEffect>(t);
        UsePackedSse2<F, InkSubtractEffect>(t);
    }
    return t;
}

struct InkTableSet {
    InkTable plain, mmx, sse2;
};

template <class F>
constexpr InkTableSet InkTablesOf()
{
    return InkTableSet{PlainInkTable<F>(), MmxInkTable<F>(), Sse2InkTable<F>()};
}

constexpr InkTableSet kInkTables[FORMAT_COUNT] = {InkTablesOf<Format8>(), InkTablesOf<Format15>(),
                                              InkTablesOf<Format16>(), InkTablesOf<Format24>(),
                                              InkTablesOf<Format32>()};

const InkRoutines* RoutinesOf(int formatIndex, int effect, unsigned long flags)
{
    if (!IsInkEffect(effect) || formatIndex < 0 || formatIndex >= FORMAT_COUNT)
        return nullptr;
    const InkTableSet& set = kInkTables[formatIndex];
    const InkTable& table = (flags & KERNEL_CPU_SSE2) ? set.sse2 : (flags & KERNEL_CPU_MMX) ? set.mmx : set.plain;
    return &table.code[effect];
}

// The routines of the call with the context filled (the kernel's share, then the effect's init), or null when
// the effect has no routines.
const InkRoutines* StartInk(InkContext* c, const SurfaceDesc* dst, const SurfaceDesc* src, int formatIndex,
                            int effect, uint32_t parameter)
{
    const InkRoutines* r = RoutinesOf(formatIndex, effect, dst->flags);
    if (!r)
        return nullptr;
    *c = InkContext{};
    c->palette = dst->palette;
    c->parameter = parameter;
    c->transparentColour = (uint32_t)src->transparentColour;
    c->transparentNative = (uint32_t)src->transparentNative;
    r->init(c);
    return r;
}

}  // namespace

const InkRoutines* InkRoutinesFor(int depth, int effect, unsigned long flags)
{
    return RoutinesOf(FormatIndexOfDepth(depth), effect, flags);
}

template <class F>
void CopyOpaqueInkKernel(SurfaceDesc* dst, int dx, int dy, const SurfaceDesc* src, int sx, int sy, int w, int h,
                         int effect, uint32_t parameter)
{
    ExpectCopy<F>(dst, dx, dy, src, sx, sy, w, h);
    InkContext c;
    const InkRoutines* r = StartInk(&c, dst, src, F::kIndex, effect, parameter);
    if (!r)
        return;
    uint8_t* drow = PixelAt(dst, dx, dy, F::kBytes);
    const uint8_t* srow = PixelAt(src, sx, sy, F::kBytes);
    for (int j = 0; j < h; j++, drow += dst->rowStep, srow += src->rowStep)
        r->row(&c, srow, drow, w);
}

// Without an alpha plane, source pixels equal to the source's transparent value (over the whole pixel) leave the
// destination; with one, the alpha bytes decide and the transparent value is not looked at.
template <class F>
void CopyTransparentInkKernel(SurfaceDesc* dst, int dx, int dy, const SurfaceDesc* src, int sx, int sy, int w,
                              int h, int effect, uint32_t parameter)
{
    ExpectCopy<F>(dst, dx, dy, src, sx, sy, w, h);
    InkContext c;
    const InkRoutines* r = StartInk(&c, dst, src, F::kIndex, effect, parameter);
    if (!r)
        return;
    uint8_t* drow = PixelAt(dst, dx, dy, F::kBytes);
    const uint8_t* srow = PixelAt(src, sx, sy, F::kBytes);
    if (src->alphaRowZero) {
        const uint8_t* arow = AlphaAt(src, sx, sy);
        for (int j = 0; j < h; j++, drow += dst->rowStep, srow += src->rowStep, arow += src->alphaRowStep)
            r->alphaRow(&c, srow, drow, arow, w);
        return;
    }
    uint32_t key = (uint32_t)src->transparentNative & PixelMask<F>();
    for (int j = 0; j < h; j++, drow += dst->rowStep, srow += src->rowStep)
        r->keyedRow(&c, srow, drow, w, key);
}

#define KX_INK_KERNELS(F)                                                                                          \
    template void CopyOpaqueInkKernel<F>(SurfaceDesc*, int, int, const SurfaceDesc*, int, int, int, int, int,      \
                                         uint32_t);                                                                \
    template void CopyTransparentInkKernel<F>(SurfaceDesc*, int, int, const SurfaceDesc*, int, int, int, int, int, \
                                              uint32_t);
KX_INK_KERNELS(Format8)
KX_INK_KERNELS(Format15)
KX_INK_KERNELS(Format16)
KX_INK_KERNELS(Format24)
KX_INK_KERNELS(Format32)
#undef KX_INK_KERNELS

}  // namespace kx
