// Smooth resampling: a separable filter whose window widens with the reduction, applied to 24-bit copies of the
// pixels so that one line filter serves every depth; the results are converted back by ordinary blits.
#include "resample.h"

#include <math.h>
#include <string.h>

#include "kernels/kernel_set.h"
#include "kernels/pixel_formats.h"
#include "surface/palette.h"

namespace kx {

ContributionList::~ContributionList() { FreeAndNull(&block_); }

bool ContributionList::Build(int n, int m)
{
    FreeAndNull(&block_);
    n_ = capacity_ = 0;
    if (n < 1 || m < 1)
        return false;
    double s = (double)n / m;
    double R = s < 1 ? 1 / s : 1, v = s < 1 ? s : 1;
    long long capacity = 2 * (long long)ceil(R) + 1;
    // One index pair and `capacity` weights per destination sample, checked before anything is allocated.
    long long bytes = (long long)n * (2 * (long long)sizeof(int) + capacity * (long long)sizeof(int32_t));
    if (capacity > INT32_MAX / 8 || bytes > INT32_MAX / 2 || !AllocRetry((size_t)bytes, &block_))
        return false;
    n_ = n;
    capacity_ = (int)capacity;
    first_ = static_cast<int*>(block_);
    count_ = first_ + n;
    weights_ = reinterpret_cast<int32_t*>(count_ + n);

    double* raw = nullptr;
    void* rawBlock = nullptr;
    if (!AllocRetry((size_t)capacity_ * sizeof(double), &rawBlock)) {
        FreeAndNull(&block_);
        n_ = capacity_ = 0;
        return false;
    }
    raw = static_cast<double*>(rawBlock);
    for (int j = 0; j < n; j++) {
        double c = j / s;
        long long first = (long long)floor(c - R), last = (long long)ceil(c + R);
        if (first < 0)
            first = 0;
        if (last > m - 1)
            last = m - 1;
        if (last - first + 1 > capacity_) {
            if (first < m)
                first++;
            else
                last--;
        }
        // The window can overshoot the capacity by one sample at most; never let rounding write past it.
        if (last - first + 1 > capacity_)
            last = first + capacity_ - 1;
        int count = 0;
        double sum = 0;
        for (long long k = first; k <= last; k++) {
            double distance = fabs((c - k) * v);
            double t = distance < 1 ? 1 - distance : 0;
            double weight = v * (t + 2 * t * t) / 3;
            // Zero weights at either end are no part of the window.
            if (weight == 0 && (count == 0 || k == last)) {
                if (count == 0)
                    first = k + 1;
                continue;
            }
            raw[count++] = weight;
            sum += weight;
        }
        int32_t* out = weights_ + (size_t)j * capacity_;
        for (int i = 0; i < count; i++)
            out[i] = (int32_t)(sum > 0 ? raw[i] / sum * 65536 : raw[i] * 65536);
        first_[j] = (int)first;
        count_[j] = count;
    }
    FreeAndNull(&rawBlock);
    return true;
}

namespace {

bool IsTransparent(const uint8_t* src, ptrdiff_t srcStep, int k, const TransparencyRule& rule)
{
    if (rule.alpha)
        return rule.alpha[k * rule.alphaStep] == 0;
    const uint8_t* p = src + k * srcStep;
    return p[0] == rule.key[0] && p[1] == rule.key[1] && p[2] == rule.key[2];
}

// The window sample whose colour a transparent sample i lends its weight to: the previous one, or the next when
// the previous is transparent too and i is not the last; the first sample takes the next, or the one after it
// when the next is transparent. Where that neighbour is itself transparent, the nearest opaque sample of the
// window stands in, so that the key colour never bleeds into the result.
int StandIn(const uint8_t* src, ptrdiff_t srcStep, int first, int i, int count, const TransparencyRule& rule)
{
    auto transparent = [&](int at) { return IsTransparent(src, srcStep, first + at, rule); };
    if (count == 1)
        return i;
    int pick;
    if (i == 0) {
        pick = 1;
        if (transparent(1) && count > 2)
            pick = 2;
    } else {
        pick = i - 1;
        if (transparent(i - 1) && i != count - 1)
            pick = i + 1;
    }
    if (!transparent(pick))
        return pick;
    for (int step = 1; step < count; step++) {
        if (i - step >= 0 && !transparent(i - step))
            return i - step;
        if (i + step < count && !transparent(i + step))
            return i + step;
    }
    return i;
}

}  // namespace

void ResampleLine(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep, int channels,
                  const ContributionList& list, const TransparencyRule* rule)
{
    for (int j = 0; j < list.Size(); j++, dst += dstStep) {
        int first = list.First(j), count = list.Count(j);
        const int32_t* weights = list.Weights(j);
        // Weights sum to at most 65536, so 0x8000 + the sum of weight x 255 stays below 2^24.
        uint32_t sum[3] = {0x8000, 0x8000, 0x8000};
        uint32_t transparentWeight = 0;
        for (int i = 0; i < count; i++) {
            int from = i;
            if (rule && IsTransparent(src, srcStep, first + i, *rule)) {
                transparentWeight += (uint32_t)weights[i];
                from = StandIn(src, srcStep, first, i, count, *rule);
            }
            const uint8_t* p = src + (first + from) * srcStep;
            for (int ch = 0; ch < channels; ch++)
                sum[ch] += (uint32_t)weights[i] * p[ch];
        }
        if (rule && transparentWeight > TRANSPARENT_WEIGHT_LIMIT) {
            memcpy(dst, rule->key, (size_t)channels);
            continue;
        }
        for (int ch = 0; ch < channels; ch++)
            dst[ch] = (uint8_t)((sum[ch] < 0xFF0000 ? sum[ch] : 0xFF0000) >> 16);
    }
}

namespace {

// The 24-bit colour that a pixel of the surface's transparent value turns into when its row is converted: what
// the converted rows are compared with (a 15- or 16-bit key keeps only the bits its format stores).
uint32_t TransparentRgb(const SurfaceDesc& d)
{
    uint32_t native = (uint32_t)d.transparentNative;
    switch (d.depth) {
    case 8: return d.palette ? PaletteEntryColour(d.palette, (int)(native & 0xFF)) & 0xFFFFFF : 0;
    case 15: return Format15::ToRgb(native & 0x7FFF);
    case 16: return Format16::ToRgb(native & 0xFFFF);
    default: return Format24::ToRgb(native & 0xFFFFFF);
    }
}

// A new 24-bit memory surface.
cSurfaceBackend* Make24(int width, int height)
{
    cCanvas* proto = Prototypes().memory[FORMAT_24];
    return proto ? proto->backend->MakeInstance(width, height) : nullptr;
}

// One pass along rows (across) or columns: (sx, sy, sw, sh) of src onto the whole of dst, which has src's size
// along the other axis. Both sides go through 24-bit copies made and written back by blits, so any depth works.
bool Pass(cSurfaceBackend* src, int sx, int sy, int sw, int sh, cSurfaceBackend* dst, bool across, bool keep)
{
    int dw = dst->d.width, dh = dst->d.height;
    ContributionList list;
    if (!list.Build(across ? dw : dh, across ? sw : sh))
        return false;
    cSurfaceBackend* in = Make24(sw, sh);
    cSurfaceBackend* out = Make24(dw, dh);
    bool done = false;
    if (in && out && src->Blit(in, 0, 0, sx, sy, sw, sh, 0, 0, 0, 0)) {
        TransparencyRule rule = {};
        uint32_t key = TransparentRgb(src->d);
        rule.key[0] = (uint8_t)(key >> 16);
        rule.key[1] = (uint8_t)(key >> 8);
        rule.key[2] = (uint8_t)key;
        const SurfaceDesc& a = src->d;
        const uint8_t* alpha = a.alphaRowZero ? a.alphaRowZero + (ptrdiff_t)sy * a.alphaRowStep + sx : nullptr;
        const SurfaceDesc& i = in->d;
        const SurfaceDesc& o = out->d;
        if (across) {
            rule.alphaStep = 1;
            for (int y = 0; y < sh; y++) {
                rule.alpha = alpha ? alpha + (ptrdiff_t)y * a.alphaRowStep : nullptr;
                ResampleLine(i.rowZero + (ptrdiff_t)y * i.rowStep, 3, o.rowZero + (ptrdiff_t)y * o.rowStep, 3, 3,
                             list, keep ? &rule : nullptr);
            }
        } else {
            rule.alphaStep = a.alphaRowStep;
            for (int x = 0; x < sw; x++) {
                rule.alpha = alpha ? alpha + x : nullptr;
                ResampleLine(i.rowZero + 3 * x, i.rowStep, o.rowZero + 3 * x, o.rowStep, 3, list,
                             keep ? &rule : nullptr);
            }
        }
        done = out->Blit(dst, 0, 0, 0, 0, dw, dh, 0, 0, 0, 0) != 0;
    }
    if (in)
        in->Destroy(1);
    if (out)
        out->Destroy(1);
    return done;
}

}  // namespace

bool ResampleRect(cSurfaceBackend* src, int sx, int sy, int sw, int sh, cSurfaceBackend* target,
                  bool keepTransparency)
{
    int dw = target->d.width, dh = target->d.height;
    if (dw == sw && dh == sh)
        return src->Blit(target, 0, 0, sx, sy, sw, sh, 0, 0, 0, 0) != 0;
    if (dh == sh)
        return Pass(src, sx, sy, sw, sh, target, true, keepTransparency);
    if (dw == sw)
        return Pass(src, sx, sy, sw, sh, target, false, keepTransparency);
    // Rows first into a surface of the source's format, then its columns.
    cSurfaceBackend* across = src->MakeInstance(dw, sh);
    if (!across)
        return false;
    bool done = Pass(src, sx, sy, sw, sh, across, true, keepTransparency) &&
                Pass(across, 0, 0, dw, sh, target, false, keepTransparency);
    across->Destroy(1);
    return done;
}

bool ResampleAlpha(const SurfaceDesc& src, int sx, int sy, int sw, int sh, SurfaceDesc& target)
{
    int dw = target.width, dh = target.height;
    if (!src.alphaRowZero || !target.alphaRowZero)
        return false;
    const uint8_t* from = src.alphaRowZero + (ptrdiff_t)sy * src.alphaRowStep + sx;
    if (dw == sw && dh == sh) {
        for (int y = 0; y < dh; y++)
            memcpy(target.alphaRowZero + (ptrdiff_t)y * target.alphaRowStep, from + (ptrdiff_t)y * src.alphaRowStep,
                   (size_t)dw);
        return true;
    }
    // Rows first (into a plain block when the columns still have to be done), then columns.
    const uint8_t* rows = from;
    ptrdiff_t rowsStep = src.alphaRowStep;
    void* block = nullptr;
    if (dw != sw) {
        ContributionList list;
        if (!list.Build(dw, sw))
            return false;
        uint8_t* into = target.alphaRowZero;
        ptrdiff_t intoStep = target.alphaRowStep;
        if (dh != sh) {
            if (!AllocRetry((size_t)dw * sh, &block))
                return false;
            into = static_cast<uint8_t*>(block);
            intoStep = dw;
        }
        for (int y = 0; y < sh; y++)
            ResampleLine(from + (ptrdiff_t)y * src.alphaRowStep, 1, into + (ptrdiff_t)y * intoStep, 1, 1, list,
                         nullptr);
        rows = into;
        rowsStep = intoStep;
    }
    bool done = true;
    if (dh != sh) {
        ContributionList list;
        done = list.Build(dh, sh);
        for (int x = 0; done && x < dw; x++)
            ResampleLine(rows + x, rowsStep, target.alphaRowZero + x, target.alphaRowStep, 1, list, nullptr);
    }
    FreeAndNull(&block);
    return done;
}

}  // namespace kx
