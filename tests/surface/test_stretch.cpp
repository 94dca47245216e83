// Stretching blits: nearest-neighbour scaling, smooth resampling with its contribution lists and transparency rule,
// alpha planes, the path through a temporary for other depths, transparency and effects, refused requests, and
// the callers that scale (CreateCopy to another size, CreateIcon of a larger surface). Expected pixels come from
// small models written here from the rules (which source row and column land where, the filter's formula in
// double), never from the library's own code. Every destination is larger than the target rectangle and must
// stay untouched outside it.
#include <gtest/gtest.h>

#include "memory_prototype.h"

#include <math.h>
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "../kernels/reference_ink.h"
#include "kalvex2/canvas.h"
#include "kalvex2/frame.h"
#include "kernels/ink_kernels.h"
#include "kernels/palette_index.h"
#include "kernels/row_helpers.h"
#include "surface/backend.h"
#include "surface/resample.h"

using namespace kx;

namespace {

class LibraryEnvironment : public ::testing::Environment {
public:
    void SetUp() override { InitLibrary(); }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new LibraryEnvironment);

const int kDepths[] = {8, 15, 16, 24, 32};
const uint32_t kMarker = 0;  // a raw value the patterns never take
const COLORREF kMagenta = RGB(255, 0, 255);

// A memory canvas of the depth; raw values (indices on 8-bit surfaces) in backend coordinates.
struct Surface {
    cCanvas c;
    int depth;
    Surface(int depth_, int w, int h) : depth(depth_) { EXPECT_TRUE(c.CreateLike(w, h, Prototype(depth))); }
    cSurfaceBackend* b() { return GetBackend(&c); }
    int W() { return c.GetWidth(); }
    int H() { return c.GetHeight(); }
    void Set(int x, int y, uint32_t v)
    {
        if (depth == 8)
            b()->SetPixelIndex(x, y, (int)v);
        else
            b()->SetPixel(x, y, v);
    }
    // Read past the clip rectangle too: indices on 8-bit surfaces, colours elsewhere.
    uint32_t Get(int x, int y)
    {
        SurfaceDesc& d = b()->d;
        EXPECT_TRUE(x >= 0 && y >= 0 && x < d.width && y < d.height) << x << "," << y;
        return (uint32_t)d.kernels->getPixel(&d, x, y) & (depth == 8 ? 0xFF : 0xFFFFFF);
    }
    COLORREF Colour(int x, int y)
    {
        uint32_t v = Get(x, y);
        return depth == 8 ? KernelEntryColour(b()->d.palette, v) : v;
    }
    void Fill(uint32_t v)
    {
        for (int y = 0; y < H(); y++)
            for (int x = 0; x < W(); x++)
                Set(x, y, v);
    }
    // Values every format stores exactly, different at every position, never the marker.
    void Pattern(int seed = 0)
    {
        for (int y = 0; y < H(); y++)
            for (int x = 0; x < W(); x++)
                Set(x, y, PatternValue(x, y, seed));
    }
    uint32_t PatternValue(int x, int y, int seed) const
    {
        if (depth == 8)
            return 1 + (x * 7 + y * 31 + seed * 101) % 255;
        return RGB((x * 8 + seed * 40) & 0xF8, (y * 8 + seed * 20) & 0xFC, (x * 24 + y * 40 + 8) & 0xF8);
    }
    std::vector<uint32_t> Pixels()
    {
        std::vector<uint32_t> all;
        for (int y = 0; y < H(); y++)
            for (int x = 0; x < W(); x++)
                all.push_back(Get(x, y));
        return all;
    }
    uint8_t Alpha(int x, int y)
    {
        const SurfaceDesc& d = b()->d;
        return d.alphaRowZero[(ptrdiff_t)y * d.alphaRowStep + x];
    }
};

// --- which source row and column land on each destination pixel of the nearest stretch ---

// Destination row j of a stretch of sh rows to dh: every source row r adds dh/sh (16.16, truncated) and has made
// floor((r + 1) x step) rows by its end, so row j is the first r that reaches j + 1 rows. Rows still missing
// repeat the last row made, or take the last source row when none was.
std::vector<int> RowSources(int sh, int dh)
{
    uint64_t step = ((uint64_t)dh << 16) / (uint64_t)sh;
    std::vector<int> rows;
    for (int j = 0; j < dh; j++) {
        uint64_t r = step ? ((((uint64_t)j + 1) << 16) + step - 1) / step - 1 : (uint64_t)sh;
        if (r < (uint64_t)sh)
            rows.push_back((int)r);
        else
            rows.push_back(rows.empty() ? sh - 1 : rows.back());
    }
    return rows;
}

std::vector<int> ColumnSources(int sw, int dw) { return ref::StretchIndices(sw, dw, StretchStep(sw, dw)); }

TEST(StretchModel, RowsOfTheWorkedExamples)
{
    EXPECT_EQ(RowSources(2, 5), (std::vector<int>{0, 0, 1, 1, 1}));  // step 163840: 2 rows, then 3
    EXPECT_EQ(RowSources(3, 1), (std::vector<int>{2}));              // step 21845: only the last row, at the end
    EXPECT_EQ(RowSources(5, 2), (std::vector<int>{2, 2}));
    EXPECT_EQ(ColumnSources(2, 5), (std::vector<int>{0, 0, 1, 1, 1}));
    EXPECT_EQ(ColumnSources(5, 2), (std::vector<int>{0, 3}));
}

struct NearestCase {
    int sw, sh, dw, dh;
};
const NearestCase kNearestCases[] = {
    {1, 2, 1, 5}, {1, 3, 1, 1}, {2, 1, 5, 1}, {5, 1, 2, 1}, {3, 4, 7, 9}, {7, 5, 3, 2},
    {4, 4, 9, 3}, {6, 3, 6, 8}, {5, 6, 2, 6}, {1, 1, 4, 4}, {9, 7, 1, 1}, {2, 3, 11, 13},
};

// Destination pixel (x, y) of a stretch of src's (sx, sy, sw, sh) onto (dx, dy, dw, dh): the source value, or
// `outside` when the pixel is not in the target rectangle.
uint32_t NearestExpected(Surface& src, int sx, int sy, const NearestCase& c, int dx, int dy, int x, int y,
                         uint32_t outside)
{
    if (x < dx || y < dy || x >= dx + c.dw || y >= dy + c.dh)
        return outside;
    std::vector<int> rows = RowSources(c.sh, c.dh), cols = ColumnSources(c.sw, c.dw);
    return src.Get(sx + cols[x - dx], sy + rows[y - dy]);
}

TEST(NearestStretch, PixelsOfEveryDepthAndSize)
{
    for (int depth : kDepths) {
        for (const NearestCase& c : kNearestCases) {
            Surface src(depth, c.sw + 3, c.sh + 2);
            src.Pattern(1);
            Surface dst(depth, c.dw + 5, c.dh + 4);
            dst.Fill(kMarker);
            const int sx = 2, sy = 1, dx = 2, dy = 3;
            ASSERT_EQ(src.c.StretchBlit(&dst.c, dx, dy, c.dw, c.dh, sx, sy, c.sw, c.sh, 0, 0, 0, 0), 1)
                << depth << " bits, " << c.sw << "x" << c.sh << " to " << c.dw << "x" << c.dh;
            for (int y = 0; y < dst.H(); y++)
                for (int x = 0; x < dst.W(); x++)
                    ASSERT_EQ(dst.Get(x, y), NearestExpected(src, sx, sy, c, dx, dy, x, y, kMarker))
                        << depth << " bits, " << c.sw << "x" << c.sh << " to " << c.dw << "x" << c.dh << " at "
                        << x << "," << y;
        }
    }
}

// The clip-honouring walk writes what an unclipped stretch would, cut to the clip and the surface afterwards.
TEST(NearestStretch, ClippedStretchIsTheUnclippedOneCut)
{
    struct ClipCase {
        int dx, dy, dw, dh, sw, sh;
        int clipX, clipY, clipW, clipH;  // clipW < 0: the whole surface
    };
    const ClipCase cases[] = {
        {0, 0, 3, 5, 2, 2, 0, 1, -1, 0},    // the skipped row 0 is what row 1 would have copied
        {-3, -2, 8, 13, 3, 5, 0, 0, -1, 0}, // over the top left corner of the surface
        {2, 1, 7, 5, 3, 5, 3, 2, 4, 2},     // clip inside the target
        {-1, 4, 15, 9, 3, 5, 0, 0, -1, 0},  // over three edges
        {1, 1, 4, 12, 4, 3, 2, 3, 1, 1},    // one pixel
        {4, -6, 3, 20, 6, 7, 0, 5, 10, 3},  // shrinking columns, enlarging rows, clip band
        {3, 3, 2, 1, 5, 9, 0, 0, 4, 4},     // 9 rows to 1, cut at the right
    };
    for (int depth : kDepths) {
        for (const ClipCase& c : cases) {
            Surface src(depth, 8, 10);
            src.Pattern(2);
            // Unclipped, onto a surface that holds the whole target rectangle at (20, 20).
            Surface whole(depth, c.dw + 40, c.dh + 40);
            whole.Fill(kMarker);
            ASSERT_EQ(src.c.StretchBlit(&whole.c, 20, 20, c.dw, c.dh, 1, 1, c.sw, c.sh, 0, 0, 0, 0), 1);
            Surface cut(depth, 10, 10);
            cut.Fill(kMarker);
            if (c.clipW >= 0)
                cut.c.SetClipRect(c.clipX, c.clipY, c.clipW, c.clipH);
            ASSERT_EQ(src.c.StretchBlit(&cut.c, c.dx, c.dy, c.dw, c.dh, 1, 1, c.sw, c.sh, 0, 0, 0, 0), 1);
            int right = c.clipW < 0 ? 10 : c.clipX + c.clipW, bottom = c.clipW < 0 ? 10 : c.clipY + c.clipH;
            for (int y = 0; y < 10; y++) {
                for (int x = 0; x < 10; x++) {
                    bool inClip = x >= (c.clipW < 0 ? 0 : c.clipX) && y >= (c.clipW < 0 ? 0 : c.clipY) &&
                                  x < right && y < bottom;
                    bool inRect = x >= c.dx && y >= c.dy && x < c.dx + c.dw && y < c.dy + c.dh;
                    uint32_t expected = inClip && inRect ? whole.Get(x - c.dx + 20, y - c.dy + 20) : kMarker;
                    ASSERT_EQ(cut.Get(x, y), expected) << depth << " bits, case at " << c.dx << "," << c.dy
                                                       << " pixel " << x << "," << y;
                }
            }
        }
    }
}

// Equal sizes are a blit, with the blit's own clipping of the source (which the scaling path refuses instead).
TEST(StretchBlit, EqualSizesAreABlit)
{
    struct Case {
        int dx, dy, sx, sy, w, h, mode;
    };
    const Case cases[] = {{1, 2, 0, 0, 5, 4, 0}, {-2, 3, 1, 1, 6, 6, 0}, {2, 2, -1, -2, 7, 7, 1}, {0, 0, 3, 3, 9, 9, 1}};
    for (int depth : kDepths) {
        for (const Case& c : cases) {
            Surface src(depth, 7, 6);
            src.Pattern(3);
            src.c.SetTransparentColour(src.Colour(0, 0));
            src.Set(2, 2, depth == 8 ? src.b()->d.transparentNative : src.Colour(0, 0));
            Surface viaStretch(depth, 9, 9), viaBlit(depth, 9, 9);
            viaStretch.Pattern(4);
            viaBlit.Pattern(4);
            int stretched = src.c.StretchBlit(&viaStretch.c, c.dx, c.dy, c.w, c.h, c.sx, c.sy, c.w, c.h, c.mode, 0, 0,
                                              0);
            int blitted = src.c.Blit(&viaBlit.c, c.dx, c.dy, c.sx, c.sy, c.w, c.h, c.mode, 0, 0, 0);
            EXPECT_EQ(stretched, blitted);
            EXPECT_EQ(stretched, 1);
            EXPECT_EQ(viaStretch.Pixels(), viaBlit.Pixels()) << depth << " bits";
        }
    }
}

// --- contribution lists ---

struct RefList {
    int first, count;
    std::vector<int32_t> weights;
};

// The filter's formula in double, one destination sample at a time.
RefList ReferenceContributions(int n, int m, int j)
{
    double s = (double)n / m;
    double R = s < 1 ? 1 / s : 1, v = s < 1 ? s : 1;
    int capacity = 2 * (int)ceil(R) + 1;
    double c = j / s;
    int first = std::max(0, (int)floor(c - R)), last = std::min(m - 1, (int)ceil(c + R));
    if (last - first + 1 > capacity) {
        if (first < m)
            first++;
        else
            last--;
    }
    std::vector<double> w;
    for (int k = first; k <= last; k++) {
        double t = fabs((c - k) * v) < 1 ? 1 - fabs((c - k) * v) : 0;
        w.push_back(v * (t + 2 * t * t) / 3);
    }
    while (!w.empty() && w.front() == 0) {
        w.erase(w.begin());
        first++;
    }
    if (!w.empty() && w.back() == 0)
        w.pop_back();
    double sum = 0;
    for (double x : w)
        sum += x;
    RefList out{first, (int)w.size(), {}};
    for (double x : w)
        out.weights.push_back((int32_t)(x / sum * 65536));
    return out;
}

TEST(ContributionLists, MatchTheFormulaInDouble)
{
    const int sizes[][2] = {{2, 4}, {4, 2}, {1, 7}, {7, 1}, {3, 10}, {10, 3}, {5, 5}, {13, 4},
                            {4, 13}, {100, 37}, {37, 100}, {2, 5}, {5, 2}, {3, 640}, {1, 1}};
    for (const auto& size : sizes) {
        int n = size[0], m = size[1];
        ContributionList list;
        ASSERT_TRUE(list.Build(n, m));
        ASSERT_EQ(list.Size(), n);
        for (int j = 0; j < n; j++) {
            RefList expected = ReferenceContributions(n, m, j);
            ASSERT_EQ(list.First(j), expected.first) << n << " from " << m << ", sample " << j;
            ASSERT_EQ(list.Count(j), expected.count) << n << " from " << m << ", sample " << j;
            ASSERT_LE(list.Count(j), list.Capacity());
            ASSERT_GE(list.First(j), 0);
            ASSERT_LE(list.First(j) + list.Count(j), m);
            int64_t sum = 0;
            for (int i = 0; i < expected.count; i++) {
                EXPECT_EQ(list.Weights(j)[i], expected.weights[i]) << n << " from " << m << ", sample " << j;
                sum += list.Weights(j)[i];
            }
            EXPECT_LE(sum, 65536);
            EXPECT_GT(sum, 65536 - list.Count(j) - 1);
        }
    }
}

TEST(ContributionLists, FourToTwoUsesWindowsOfUpToFiveSamples)
{
    ContributionList list;
    ASSERT_TRUE(list.Build(2, 4));
    EXPECT_EQ(list.Capacity(), 5);
    // Sample 0 centres on source 0 (the window's left half is cut off), sample 1 on source 2: 1..3 once the zero
    // weights at both ends are dropped.
    EXPECT_EQ(list.First(0), 0);
    EXPECT_EQ(list.Count(0), 2);
    EXPECT_EQ(list.First(1), 1);
    EXPECT_EQ(list.Count(1), 3);
    for (int j = 0; j < 2; j++) {
        int sum = 0;
        for (int i = 0; i < list.Count(j); i++)
            sum += list.Weights(j)[i];
        EXPECT_LE(sum, 65536);
    }
}

// --- smooth resampling against a per-pixel model ---

struct Rgb {
    int c[3];  // red, green, blue
};

Rgb ToRgb(COLORREF v) { return Rgb{{(int)(v & 0xFF), (int)((v >> 8) & 0xFF), (int)((v >> 16) & 0xFF)}}; }
COLORREF FromRgb(const Rgb& p) { return RGB(p.c[0], p.c[1], p.c[2]); }

// What a colour becomes once stored at the depth.
COLORREF Stored(int depth, COLORREF v, SharedPalette* palette)
{
    switch (depth) {
    case 8: return KernelEntryColour(palette, (uint32_t)KernelColourToIndex(palette, v));
    case 15: return v & 0xF8F8F8;
    case 16: return v & 0xF8FCF8;
    default: return v & 0xFFFFFF;
    }
}

// One pass along rows (across) or columns of a grid of colours, with the reference contributions.
std::vector<std::vector<COLORREF>> ModelPass(const std::vector<std::vector<COLORREF>>& in, int n, bool across,
                                             int depth, SharedPalette* palette)
{
    int h = (int)in.size(), w = (int)in[0].size();
    int m = across ? w : h;
    std::vector<std::vector<COLORREF>> out(across ? h : n, std::vector<COLORREF>(across ? n : w));
    for (int j = 0; j < n; j++) {
        RefList list = ReferenceContributions(n, m, j);
        for (int line = 0; line < (across ? h : w); line++) {
            uint32_t sum[3] = {0x8000, 0x8000, 0x8000};
            for (int i = 0; i < list.count; i++) {
                int k = list.first + i;
                Rgb p = ToRgb(across ? in[line][k] : in[k][line]);
                for (int ch = 0; ch < 3; ch++)
                    sum[ch] += (uint32_t)list.weights[i] * (uint32_t)p.c[ch];
            }
            Rgb r;
            for (int ch = 0; ch < 3; ch++)
                r.c[ch] = (int)(std::min<uint32_t>(sum[ch], 0xFF0000) >> 16);
            (across ? out[line][j] : out[j][line]) = Stored(depth, FromRgb(r), palette);
        }
    }
    return out;
}

TEST(SmoothStretch, EveryDepthMatchesThePerPixelModel)
{
    const NearestCase cases[] = {{7, 3, 3, 3}, {4, 5, 4, 11}, {6, 5, 13, 3}, {5, 4, 2, 2}, {3, 3, 8, 7}};
    for (int depth : kDepths) {
        for (const NearestCase& c : cases) {
            Surface src(depth, c.sw + 2, c.sh + 2);
            // Colours away from black, so that no conversion turns a dark result into the non-black 1.
            for (int y = 0; y < src.H(); y++)
                for (int x = 0; x < src.W(); x++)
                    src.Set(x, y, depth == 8 ? 1 + (x * 37 + y * 91) % 254
                                             : RGB(64 + (x * 53 + y * 17) % 180, 64 + (x * 29 + y * 71) % 180,
                                                   64 + (x * 11 + y * 97) % 180) & (depth == 16 ? 0xF8FCF8 : 0xF8F8F8));
            std::vector<std::vector<COLORREF>> grid(c.sh, std::vector<COLORREF>(c.sw));
            for (int y = 0; y < c.sh; y++)
                for (int x = 0; x < c.sw; x++)
                    grid[y][x] = src.Colour(1 + x, 1 + y);
            SharedPalette* palette = src.b()->d.palette;
            if (c.dw != c.sw)
                grid = ModelPass(grid, c.dw, true, depth, palette);
            if (c.dh != c.sh)
                grid = ModelPass(grid, c.dh, false, depth, palette);

            Surface dst(depth, c.dw + 4, c.dh + 3);
            dst.Fill(kMarker);
            COLORREF marker = dst.Colour(0, 0);
            ASSERT_EQ(src.c.StretchBlit(&dst.c, 2, 1, c.dw, c.dh, 1, 1, c.sw, c.sh, 0, 0, 0, STRETCH_SMOOTH), 1);
            for (int y = 0; y < dst.H(); y++) {
                for (int x = 0; x < dst.W(); x++) {
                    bool inside = x >= 2 && y >= 1 && x < 2 + c.dw && y < 1 + c.dh;
                    ASSERT_EQ(dst.Colour(x, y), inside ? grid[y - 1][x - 2] : marker)
                        << depth << " bits, " << c.sw << "x" << c.sh << " to " << c.dw << "x" << c.dh << " at "
                        << x << "," << y;
                }
            }
        }
    }
}

// --- the transparency rule ---

// Grey opaque pixels and transparent ones: the result is exactly the key where the window is more than 0xAFFF
// transparent, and elsewhere a grey no darker or lighter than the window's opaque pixels - the key never bleeds.
TEST(SmoothStretch, TransparentPixelsDoNotColourTheResult)
{
    const NearestCase cases[] = {{9, 1, 4, 1}, {4, 1, 2, 1}, {7, 1, 3, 1}, {3, 1, 8, 1}, {16, 1, 5, 1}};
    for (int depth : {15, 24, 32}) {
        for (bool byAlpha : {false, true}) {
            for (const NearestCase& c : cases) {
                const int rows = 24;
                Surface src(depth, c.sw, rows);
                src.c.SetTransparentColour(kMagenta);
                if (byAlpha) {
                    ASSERT_NE(src.c.CreateAlphaPlane(), nullptr);
                }
                // Row r is a different mix: bit i of a mixed number says whether pixel i is transparent.
                std::vector<std::vector<bool>> clear(rows, std::vector<bool>(c.sw));
                for (int y = 0; y < rows; y++) {
                    uint32_t bits = (uint32_t)y * 2654435761u >> 7;
                    for (int x = 0; x < c.sw; x++) {
                        clear[y][x] = y == 0 ? x < c.sw / 2 : ((bits >> (x % 24)) & 1) != 0;
                        int grey = 64 + ((x * 40 + y * 24) % 160 & 0xF8);
                        if (byAlpha) {
                            // Transparent by alpha: a colour far from grey that must not show.
                            src.Set(x, y, clear[y][x] ? RGB(0, 248, 0) : RGB(grey, grey, grey));
                            src.b()->d.alphaRowZero[(ptrdiff_t)y * src.b()->d.alphaRowStep + x] = clear[y][x] ? 0 : 255;
                        } else {
                            src.Set(x, y, clear[y][x] ? kMagenta : RGB(grey, grey, grey));
                        }
                    }
                }
                COLORREF key = src.Colour(0, 0);  // the key as the surface stores it
                if (byAlpha)
                    key = Stored(depth, kMagenta, nullptr);
                Surface dst(depth, c.dw + 2, rows + 2);
                dst.Fill(kMarker);
                COLORREF marker = dst.Colour(0, 0);
                ASSERT_EQ(src.c.StretchBlit(&dst.c, 1, 1, c.dw, rows, 0, 0, c.sw, rows, 0, 0, 0,
                                            byAlpha ? STRETCH_SMOOTH : STRETCH_SMOOTH_TRANSPARENT),
                          1);
                for (int y = 0; y < rows; y++) {
                    for (int j = 0; j < c.dw; j++) {
                        RefList list = ReferenceContributions(c.dw, c.sw, j);
                        int64_t transparentWeight = 0;
                        int lo = 255, hi = 0;
                        for (int i = 0; i < list.count; i++) {
                            int k = list.first + i;
                            if (clear[y][k]) {
                                transparentWeight += list.weights[i];
                            } else {
                                int grey = (int)(src.Colour(k, y) & 0xFF);
                                lo = std::min(lo, grey);
                                hi = std::max(hi, grey);
                            }
                        }
                        COLORREF got = dst.Colour(1 + j, 1 + y);
                        if (transparentWeight > 0xAFFF) {
                            ASSERT_EQ(got, key) << depth << " bits, row " << y << " sample " << j;
                            continue;
                        }
                        Rgb p = ToRgb(got);
                        ASSERT_EQ(p.c[0], p.c[2]) << depth << " bits, row " << y << " sample " << j;
                        ASSERT_EQ(p.c[0], p.c[1]);
                        ASSERT_GE(p.c[0], (lo - 1) & (depth == 15 ? 0xF8 : 0xFF));
                        ASSERT_LE(p.c[0], hi);
                    }
                }
                for (int x = 0; x < dst.W(); x++) {
                    EXPECT_EQ(dst.Colour(x, 0), marker);
                    EXPECT_EQ(dst.Colour(x, rows + 1), marker);
                }
            }
        }
    }
}

TEST(SmoothStretch, MostlyTransparentWindowsInBothDirectionsGiveTheExactKey)
{
    for (int depth : kDepths) {
        // A picture transparent but for its middle column band, shrunk in both directions.
        Surface src(depth, 12, 10);
        src.Pattern(5);
        src.c.SetTransparentColour(depth == 8 ? src.c.IndexToColour(7) : RGB(8, 16, 24));
        for (int y = 0; y < 10; y++)
            for (int x = 0; x < 6; x++)
                src.Set(x, y, depth == 8 ? src.b()->d.transparentNative : RGB(8, 16, 24));
        uint32_t keyRaw = src.Get(0, 0);
        Surface dst(depth, 8, 8);
        dst.Fill(kMarker);
        ASSERT_EQ(src.c.StretchBlit(&dst.c, 1, 1, 4, 5, 0, 0, 12, 10, 0, 0, 0, STRETCH_SMOOTH_TRANSPARENT), 1);
        // Columns 0 and 1 of the result gather source columns 0..4 only.
        for (int y = 1; y < 6; y++) {
            EXPECT_EQ(dst.Get(1, y), keyRaw) << depth << " bits, row " << y;
            EXPECT_EQ(dst.Get(2, y), keyRaw) << depth << " bits, row " << y;
            EXPECT_NE(dst.Get(4, y), keyRaw) << depth << " bits, row " << y;
        }
        // Transparent copy of the same: the key pixels leave the destination alone.
        Surface over(depth, 8, 8);
        over.Fill(kMarker);
        ASSERT_EQ(src.c.StretchBlit(&over.c, 1, 1, 4, 5, 0, 0, 12, 10, 1, 0, 0, STRETCH_SMOOTH_TRANSPARENT), 1);
        for (int y = 0; y < 8; y++)
            for (int x = 0; x < 8; x++)
                if (x < 3 || x >= 5 || y < 1 || y >= 6) {
                    EXPECT_EQ(over.Get(x, y), kMarker) << depth << " bits at " << x << "," << y;
                }
    }
}

// --- alpha planes ---

TEST(StretchAlpha, PlanesAreScaledWithFlagBitTwo)
{
    const NearestCase c{5, 3, 9, 7};
    for (int depth : kDepths) {
        Surface src(depth, 7, 5);
        src.Pattern(6);
        ASSERT_NE(src.c.CreateAlphaPlane(), nullptr);
        for (int y = 0; y < 5; y++)
            for (int x = 0; x < 7; x++)
                src.b()->d.alphaRowZero[(ptrdiff_t)y * src.b()->d.alphaRowStep + x] = (uint8_t)(1 + x * 36 + y * 5);

        // Nearest: the plane follows the pixels; outside the target the new plane is clear.
        Surface with(depth, 12, 10);
        with.Fill(kMarker);
        ASSERT_EQ(src.c.StretchBlit(&with.c, 2, 1, c.dw, c.dh, 1, 1, c.sw, c.sh, 0, 0, 0, STRETCH_ALPHA), 1);
        ASSERT_TRUE(with.c.HasAlphaPlane());
        std::vector<int> rows = RowSources(c.sh, c.dh), cols = ColumnSources(c.sw, c.dw);
        for (int y = 0; y < 10; y++)
            for (int x = 0; x < 12; x++) {
                bool inside = x >= 2 && y >= 1 && x < 2 + c.dw && y < 1 + c.dh;
                ASSERT_EQ(with.Alpha(x, y), inside ? src.Alpha(1 + cols[x - 2], 1 + rows[y - 1]) : 0)
                    << depth << " bits at " << x << "," << y;
                ASSERT_EQ(with.Get(x, y), NearestExpected(src, 1, 1, c, 2, 1, x, y, kMarker));
            }

        // Without the flag the destination gets no plane.
        Surface without(depth, 12, 10);
        ASSERT_EQ(src.c.StretchBlit(&without.c, 2, 1, c.dw, c.dh, 1, 1, c.sw, c.sh, 0, 0, 0, 0), 1);
        EXPECT_FALSE(without.c.HasAlphaPlane());

        // Smooth: the plane is resampled byte by byte, rows first, without the transparency rule.
        Surface smooth(depth, 12, 10);
        ASSERT_EQ(src.c.StretchBlit(&smooth.c, 2, 1, c.dw, c.dh, 1, 1, c.sw, c.sh, 0, 0, 0,
                                    STRETCH_SMOOTH | STRETCH_ALPHA),
                  1);
        ASSERT_TRUE(smooth.c.HasAlphaPlane());
        std::vector<std::vector<COLORREF>> grid(c.sh, std::vector<COLORREF>(c.sw));
        for (int y = 0; y < c.sh; y++)
            for (int x = 0; x < c.sw; x++)
                grid[y][x] = src.Alpha(1 + x, 1 + y) * 0x010101u;  // a grey per alpha byte: three equal channels
        grid = ModelPass(ModelPass(grid, c.dw, true, 24, nullptr), c.dh, false, 24, nullptr);
        for (int y = 0; y < 10; y++)
            for (int x = 0; x < 12; x++) {
                bool inside = x >= 2 && y >= 1 && x < 2 + c.dw && y < 1 + c.dh;
                ASSERT_EQ(smooth.Alpha(x, y), inside ? (uint8_t)(grid[y - 1][x - 2] & 0xFF) : 0)
                    << depth << " bits at " << x << "," << y;
            }
    }
}

// --- requests that draw nothing ---

TEST(StretchBlit, RefusedRequestsDrawNothing)
{
    struct Case {
        const char* what;
        int dx, dy, dw, dh, sx, sy, sw, sh;
        bool emptyClip;
    };
    const Case cases[] = {
        {"source left of the surface", 0, 0, 8, 8, -1, 0, 3, 3, false},
        {"source above the surface", 0, 0, 8, 8, 0, -1, 3, 3, false},
        {"source past the right edge", 0, 0, 8, 8, 4, 0, 3, 3, false},
        {"source past the bottom edge", 0, 0, 8, 8, 0, 4, 3, 3, false},
        {"source of width 0", 0, 0, 8, 8, 0, 0, 0, 3, false},
        {"source of negative height", 0, 0, 8, 8, 0, 0, 3, -2, false},
        {"destination of width 0", 0, 0, 0, 8, 0, 0, 3, 3, false},
        {"destination of negative height", 0, 0, 8, -4, 0, 0, 3, 3, false},
        {"destination wholly outside", 10, 0, 8, 8, 0, 0, 3, 3, false},
        {"destination far away", INT32_MAX - 3, INT32_MAX - 3, 8, 8, 0, 0, 3, 3, false},
        {"empty clip", 0, 0, 8, 8, 0, 0, 3, 3, true},
        {"a row widened 65536 times", -5, 0, 0x10000, 2, 0, 0, 1, 1, false},
    };
    for (unsigned long flags : {0ul, (unsigned long)STRETCH_SMOOTH}) {
        for (int depth : kDepths) {
            Surface src(depth, 6, 6);
            src.Pattern(7);
            for (const Case& c : cases) {
                Surface dst(depth, 10, 10);
                dst.Pattern(8);
                if (c.emptyClip)
                    dst.c.SetClipRect(2, 2, 0, 5);
                std::vector<uint32_t> before = dst.Pixels();
                for (int mode : {0, 1})
                    EXPECT_EQ(src.c.StretchBlit(&dst.c, c.dx, c.dy, c.dw, c.dh, c.sx, c.sy, c.sw, c.sh, mode, 0, 0,
                                                flags),
                              0)
                        << c.what << ", " << depth << " bits, flags " << flags;
                EXPECT_EQ(dst.Pixels(), before) << c.what;
            }
            EXPECT_EQ(src.c.StretchBlit(nullptr, 0, 0, 8, 8, 0, 0, 3, 3, 0, 0, 0, flags), 0);
            EXPECT_EQ(src.b()->StretchBlit(nullptr, 0, 0, 8, 8, 0, 0, 3, 3, 0, 0, 0, flags), 0);
            EXPECT_EQ(src.c.StretchDraw(nullptr, 0, 0, 8, 8, 0, 0, 0, flags), 0);
            EXPECT_EQ(src.c.StretchTo(nullptr, flags), 0);
            cCanvas empty;
            EXPECT_EQ(src.c.StretchTo(&empty, flags), 0);
            EXPECT_EQ(empty.StretchTo(&src.c, flags), 0);
        }
    }
}

// --- other depths, transparency and effects through a temporary ---

TEST(StretchBlit, TransparentCopyKeepsTheKeyPixelsOut)
{
    const NearestCase c{4, 3, 10, 7};
    for (int depth : kDepths) {
        Surface src(depth, 6, 5);
        src.Pattern(9);
        src.c.SetTransparentColour(src.Colour(2, 2));
        uint32_t key = depth == 8 ? src.b()->d.transparentNative : src.Colour(2, 2);
        src.Set(2, 2, key);
        src.Set(3, 1, key);
        src.Set(1, 3, key);
        uint32_t keyRaw = src.Get(2, 2);
        Surface dst(depth, 14, 11);
        dst.Pattern(10);
        std::vector<uint32_t> before = dst.Pixels();
        dst.c.SetClipRect(1, 0, 12, 9);  // cuts the target on three sides
        ASSERT_EQ(src.c.StretchBlit(&dst.c, -1, 3, c.dw, c.dh, 1, 1, c.sw, c.sh, 1, 0, 0, 0), 1) << depth;
        for (int y = 0; y < 11; y++)
            for (int x = 0; x < 14; x++) {
                uint32_t stretched = NearestExpected(src, 1, 1, c, -1, 3, x, y, kMarker);
                bool drawn = x >= 1 && x < 13 && y < 9 && !(x < -1 || y < 3 || x >= -1 + c.dw || y >= 3 + c.dh) &&
                             stretched != keyRaw;
                ASSERT_EQ(dst.Get(x, y), drawn ? stretched : before[(size_t)y * 14 + x])
                    << depth << " bits at " << x << "," << y;
            }
    }
}

TEST(StretchBlit, OtherDepthsAndEffectsEqualAStretchThenABlit)
{
    const NearestCase c{5, 4, 9, 3};
    for (int from : kDepths) {
        for (int to : kDepths) {
            for (int effect : {0, (int)INK_INVERT}) {
                Surface src(from, 7, 6);
                src.Pattern(11);
                // The model: the same stretch within the source's depth, then an ordinary blit.
                Surface same(from, c.dw, c.dh);
                ASSERT_EQ(src.c.StretchBlit(&same.c, 0, 0, c.dw, c.dh, 2, 1, c.sw, c.sh, 0, 0, 0, 0), 1);
                Surface expected(to, 12, 8), got(to, 12, 8);
                expected.Pattern(12);
                got.Pattern(12);
                got.c.SetClipRect(0, 0, 12, 5);
                expected.c.SetClipRect(0, 0, 12, 5);
                ASSERT_EQ(same.c.Blit(&expected.c, 4, 3, 0, 0, c.dw, c.dh, 0, effect, 0, 0), 1);
                ASSERT_EQ(src.c.StretchBlit(&got.c, 4, 3, c.dw, c.dh, 2, 1, c.sw, c.sh, 0, effect, 0, 0), 1)
                    << from << " to " << to << " bits, effect " << effect;
                EXPECT_EQ(got.Pixels(), expected.Pixels()) << from << " to " << to << " bits, effect " << effect;
            }
        }
    }
}

// A surface stretched onto an overlapping part of itself reads the picture as it was before the first store.
TEST(StretchBlit, OntoItselfReadsTheOriginalPicture)
{
    for (int depth : kDepths) {
        for (unsigned long flags : {0ul, (unsigned long)STRETCH_SMOOTH}) {
            Surface self(depth, 12, 12), copy(depth, 12, 12);
            self.Pattern(13);
            copy.Pattern(13);
            Surface expected(depth, 12, 12);
            expected.Pattern(13);
            ASSERT_EQ(copy.c.StretchBlit(&expected.c, 2, 1, 9, 10, 0, 0, 5, 6, 0, 0, 0, flags), 1);
            ASSERT_EQ(self.c.StretchBlit(&self.c, 2, 1, 9, 10, 0, 0, 5, 6, 0, 0, 0, flags), 1);
            EXPECT_EQ(self.Pixels(), expected.Pixels()) << depth << " bits, flags " << flags;
        }
    }
}

// --- canvas members and the callers that scale ---

TEST(StretchCanvas, MembersConvertHostPositions)
{
    Surface src(24, 4, 3);
    src.Pattern(14);
    Surface direct(24, 12, 12), viaMembers(24, 12, 12);
    direct.Fill(kMarker);
    viaMembers.Fill(kMarker);
    viaMembers.c.SetPosition(3, -2);
    ASSERT_EQ(direct.b() != nullptr, true);
    ASSERT_EQ(src.b()->StretchBlit(direct.b(), 1, 4, 7, 5, 0, 0, 4, 3, 0, 0, 0, 0), 1);
    ASSERT_EQ(src.c.StretchDraw(&viaMembers.c, 4, 2, 7, 5, 0, 0, 0, 0), 1);
    EXPECT_EQ(viaMembers.Pixels(), direct.Pixels());

    // A source rectangle in host coordinates: the source canvas's origin is subtracted.
    Surface part(24, 12, 12), partDirect(24, 12, 12);
    part.Fill(kMarker);
    partDirect.Fill(kMarker);
    src.c.SetPosition(10, 20);
    ASSERT_EQ(src.c.StretchBlit(&part.c, 0, 0, 5, 5, 11, 21, 2, 2, 0, 0, 0, 0), 1);
    ASSERT_EQ(src.b()->StretchBlit(partDirect.b(), 0, 0, 5, 5, 1, 1, 2, 2, 0, 0, 0, 0), 1);
    EXPECT_EQ(part.Pixels(), partDirect.Pixels());
    src.c.SetPosition(0, 0);

    // StretchTo: the whole source over the destination's size at host (0, 0), like CopyTo.
    Surface all(24, 9, 7), allDirect(24, 9, 7);
    all.Fill(kMarker);
    allDirect.Fill(kMarker);
    ASSERT_EQ(src.c.StretchTo(&all.c, 0), 1);
    ASSERT_EQ(src.b()->StretchBlit(allDirect.b(), 0, 0, 9, 7, 0, 0, 4, 3, 0, 0, 0, 0), 1);
    EXPECT_EQ(all.Pixels(), allDirect.Pixels());
    all.Fill(kMarker);
    allDirect.Fill(kMarker);
    all.c.SetPosition(-4, 5);
    ASSERT_EQ(src.c.StretchTo(&all.c, 0), 1);
    ASSERT_EQ(src.b()->StretchBlit(allDirect.b(), 4, -5, 9, 7, 0, 0, 4, 3, 0, 0, 0, 0), 1);
    EXPECT_EQ(all.Pixels(), allDirect.Pixels());
}

TEST(StretchCallers, CreateCopyToAnotherSizeStretchesPixelsAndAlpha)
{
    for (int depth : kDepths) {
        Surface src(depth, 5, 4);
        src.Pattern(15);
        ASSERT_NE(src.c.CreateAlphaPlane(), nullptr);
        for (int y = 0; y < 4; y++)
            for (int x = 0; x < 5; x++)
                src.b()->d.alphaRowZero[(ptrdiff_t)y * src.b()->d.alphaRowStep + x] = (uint8_t)(10 + x + 16 * y);
        cCanvas copy;
        copy.CreateCopy(&src.c, 8, 3);
        ASSERT_TRUE(copy.IsValid()) << depth;
        ASSERT_EQ(copy.GetWidth(), 8);
        ASSERT_EQ(copy.GetHeight(), 3);
        ASSERT_TRUE(copy.HasAlphaPlane());
        std::vector<int> rows = RowSources(4, 3), cols = ColumnSources(5, 8);
        cSurfaceBackend* b = GetBackend(&copy);
        for (int y = 0; y < 3; y++)
            for (int x = 0; x < 8; x++) {
                unsigned long v = 0;
                ASSERT_TRUE(b->GetPixelRaw(x, y, &v));
                ASSERT_EQ(depth == 32 ? v & 0xFFFFFF : v, src.Get(cols[x], rows[y])) << depth << " at " << x << "," << y;
                ASSERT_EQ(b->d.alphaRowZero[(ptrdiff_t)y * b->d.alphaRowStep + x], src.Alpha(cols[x], rows[y]));
            }
    }
}

TEST(StretchCallers, IconOfALargerSurfaceIsScaledDownKeepingTransparency)
{
    // 8 x 4: the left half is the key colour, the right half red. Scaled into a 4 x 4 icon it becomes 4 x 2 at
    // row 1; the smooth stretch keeps the left half transparent.
    Surface src(24, 8, 4);
    src.c.SetTransparentColour(kMagenta);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 8; x++)
            src.Set(x, y, x < 4 ? kMagenta : RGB(200, 0, 0));
    HICON icon = src.c.CreateIcon(4, 4, kMagenta, nullptr);
    ASSERT_NE(icon, nullptr);
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    // The mask: rows of 16 bits, the leftmost pixel in the top bit; set where the icon is transparent.
    uint8_t mask[8] = {};
    ASSERT_EQ(GetBitmapBits(info.hbmMask, sizeof mask, mask), (LONG)sizeof mask);
    const uint8_t expected[4] = {0xF0, 0xC0, 0xC0, 0xF0};
    for (int y = 0; y < 4; y++)
        EXPECT_EQ(mask[2 * y] & 0xF0, expected[y]) << "row " << y;
    // The visible pixels are red.
    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = 4;
    bi.bmiHeader.biHeight = -4;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    uint32_t pixels[16] = {};
    ASSERT_EQ(GetDIBits(dc, info.hbmColor, 0, 4, pixels, &bi, DIB_RGB_COLORS), 4);
    for (int y = 1; y < 3; y++)
        for (int x = 2; x < 4; x++)
            EXPECT_EQ(pixels[y * 4 + x] & 0xFFFFFF, 0xC80000u) << x << "," << y;
    DeleteDC(dc);
    DeleteObject(info.hbmMask);
    DeleteObject(info.hbmColor);
    DestroyIcon(icon);
}

}  // namespace
