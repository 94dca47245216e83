// Smooth resampling for the stretching blit: the contribution lists (which source samples make one destination
// sample, and with what 16.16 weights), the one-line filter, and the passes that scale a rectangle of one surface
// over the whole of another, row by row and column by column in 24-bit colour. The stretch slot itself, and the
// nearest-neighbour path, are in backend_stretch.cpp.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "backend.h"

namespace kx {

// For n destination samples from m source samples: per destination index j, the first source index that
// contributes, how many consecutive ones do, and one 16.16 weight each (their sum is at most 65536).
class ContributionList {
public:
    ContributionList() = default;
    ~ContributionList();
    bool Build(int n, int m);

    int Size() const { return n_; }
    int Capacity() const { return capacity_; }
    int First(int j) const { return first_[j]; }
    int Count(int j) const { return count_[j]; }
    const int32_t* Weights(int j) const { return weights_ + (size_t)j * capacity_; }

private:
    ContributionList(const ContributionList&);
    ContributionList& operator=(const ContributionList&);

    int n_ = 0, capacity_ = 0;
    int* first_ = nullptr;
    int* count_ = nullptr;
    int32_t* weights_ = nullptr;
    void* block_ = nullptr;
};

// How a line tells transparent samples: by a zero alpha byte when alpha is set, else by the 24-bit key.
struct TransparencyRule {
    uint8_t key[3];          // blue, green, red, as the line's pixels hold them
    const uint8_t* alpha;    // alpha of source sample k at alpha[k * alphaStep]
    ptrdiff_t alphaStep;
};

// Above this much transparent weight (of 65536) a sample comes out as exactly the key.
enum { TRANSPARENT_WEIGHT_LIMIT = 0xAFFF };

// One line: destination sample j (at dst + j * dstStep) from the source samples (at src + k * srcStep) of the
// list's entry j, channel by channel (1 or 3 bytes). With a rule, transparent samples lend their weight to a
// neighbour's colour and count towards the transparent weight.
void ResampleLine(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep, int channels,
                  const ContributionList& list, const TransparencyRule* rule);

// Scales (sx, sy, sw, sh) of src, which must lie inside it, over the whole of target (a surface of src's format).
// keepTransparency: transparent source pixels (the source's transparent pixel value, or alpha 0 when src has an
// alpha plane) do not colour the result, and mostly transparent results are exactly the transparent colour.
bool ResampleRect(cSurfaceBackend* src, int sx, int sy, int sw, int sh, cSurfaceBackend* target,
                  bool keepTransparency);

// The same for alpha planes, byte by byte and without the transparency rule; both planes must exist.
bool ResampleAlpha(const SurfaceDesc& src, int sx, int sy, int sw, int sh, SurfaceDesc& target);

}  // namespace kx
