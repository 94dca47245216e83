// Mirrors and rotations on fenced surfaces of every format: the rows (and alpha rows) of each surface sit between
// canary bytes - before the first row, between rows and after the last - so that a write outside the surface shows.
// Expected pixels come from per-pixel models written here from the rules: where a mirrored or turned pixel goes,
// where a rotated pixel samples the source and how four neighbours are blended.
#include <gtest/gtest.h>

#include <limits.h>
#include <math.h>
#include <string.h>

#include <random>
#include <vector>

#include "core/alloc.h"
#include "frame/frame.h"
#include "surface/backend.h"
#include "surface/palette.h"

using namespace kx;

namespace {

// The test program is not the library: no DllMain attaches its thread to the palette registry.
struct PaletteEnvironment : testing::Environment {
    void SetUp() override { AttachThreadPalettes(); }
    void TearDown() override { DetachThreadPalettes(); }
};
testing::Environment* const g_palettes = testing::AddGlobalTestEnvironment(new PaletteEnvironment);

const int kDepths[] = {8, 15, 16, 24, 32};
const uint8_t kCanary = 0xA7;
const int kLead = 16, kGap = 5, kTail = 16;

uint32_t NativeMask(int depth)
{
    switch (depth) {
    case 8: return 0xFF;
    case 15: return 0x7FFF;
    case 16: return 0xFFFF;
    case 24: return 0xFFFFFF;
    default: return 0xFFFFFFFF;
    }
}

// Rows of `pitch` bytes with kGap canary bytes after each row's pixels, kLead before and kTail after the block.
struct FencedRows {
    std::vector<uint8_t> memory;
    int rowBytes = 0, pitch = 0, rows = 0;
    bool bottomUp = false;

    void Make(int bytes, int h, bool up)
    {
        rowBytes = bytes;
        pitch = bytes + kGap;
        rows = h;
        bottomUp = up;
        memory.assign(kLead + (size_t)pitch * h + kTail, kCanary);
        for (int y = 0; y < h; y++)
            memset(memory.data() + kLead + (size_t)y * pitch, 0, (size_t)bytes);
    }
    uint8_t* RowZero() { return memory.data() + kLead + (bottomUp ? (size_t)(rows - 1) * pitch : 0); }
    int Step() const { return bottomUp ? -pitch : pitch; }
    bool CanariesIntact() const
    {
        for (size_t i = 0; i < memory.size(); i++) {
            size_t inBlock = i - kLead;
            bool pixel = i >= (size_t)kLead && inBlock < (size_t)pitch * rows && (int)(inBlock % pitch) < rowBytes;
            if (!pixel && memory[i] != kCanary)
                return false;
        }
        return true;
    }
};

// A surface of the standard kernels over fenced memory of its own; its instances are fenced too.
class FencedSurface : public cSurfaceBackend {
public:
    FencedSurface(int depth, int w, int h, bool bottomUp)
    {
        InitFormat(depth);
        d.width = w;
        d.height = h;
        rows_.Make(w * d.bytesPerPixel, h, bottomUp);
        d.pixelBlock = rows_.memory.data() + kLead;
        d.rowZero = rows_.RowZero();
        d.pitch = rows_.pitch;
        d.rowStep = rows_.Step();
        d.bottomUp = bottomUp;
        ResetClipRect();
    }
    void Destroy(unsigned flags) override { DestroyBackend(this, flags); }
    cSurfaceBackend* MakeInstance(int w, int h) override
    {
        FencedSurface* s = New<FencedSurface>(d.depth, w, h, d.bottomUp != 0);
        if (s && d.palette) {
            ReleaseSharedPalette(s->d.palette);
            s->d.palette = AddPaletteRef(d.palette);
        }
        return s;
    }

    // An alpha plane in fenced memory that stays the test's.
    void AttachFencedAlpha(bool bottomUp)
    {
        alpha_.Make(d.width, d.height, bottomUp);
        d.alphaBlock = alpha_.memory.data() + kLead;
        d.alphaRowZero = alpha_.RowZero();
        d.alphaPitch = alpha_.pitch;
        d.alphaRowStep = alpha_.Step();
    }
    bool HasAlpha() const { return d.alphaRowZero != nullptr; }
    bool CanariesIntact() const { return rows_.CanariesIntact() && (alpha_.memory.empty() || alpha_.CanariesIntact()); }

    uint32_t Get(int x, int y) const
    {
        const uint8_t* p = d.rowZero + (ptrdiff_t)y * d.rowStep + x * d.bytesPerPixel;
        uint32_t v = 0;
        memcpy(&v, p, (size_t)d.bytesPerPixel);
        return v;
    }
    void Put(int x, int y, uint32_t v)
    {
        memcpy(d.rowZero + (ptrdiff_t)y * d.rowStep + x * d.bytesPerPixel, &v, (size_t)d.bytesPerPixel);
    }
    uint8_t Alpha(int x, int y) const { return d.alphaRowZero[(ptrdiff_t)y * d.alphaRowStep + x]; }
    void PutAlpha(int x, int y, uint8_t v) { d.alphaRowZero[(ptrdiff_t)y * d.alphaRowStep + x] = v; }

    std::vector<uint32_t> Pixels() const
    {
        std::vector<uint32_t> all;
        for (int y = 0; y < d.height; y++)
            for (int x = 0; x < d.width; x++)
                all.push_back(Get(x, y));
        return all;
    }
    std::vector<uint32_t> AlphaValues() const
    {
        std::vector<uint32_t> all;
        for (int y = 0; y < d.height; y++)
            for (int x = 0; x < d.width; x++)
                all.push_back(Alpha(x, y));
        return all;
    }
    void Randomise(uint32_t seed)
    {
        std::mt19937 rng(seed);
        for (int y = 0; y < d.height; y++)
            for (int x = 0; x < d.width; x++)
                Put(x, y, (uint32_t)rng() & NativeMask(d.depth));
        if (d.alphaRowZero)
            for (int y = 0; y < d.height; y++)
                for (int x = 0; x < d.width; x++)
                    PutAlpha(x, y, (uint8_t)rng());
    }

private:
    FencedRows rows_;
    FencedRows alpha_;
};

struct Fenced {
    cCanvas c;
    FencedSurface* s;
    Fenced(int depth, int w, int h, bool bottomUp = false) : s(New<FencedSurface>(depth, w, h, bottomUp))
    {
        AttachBackend(&c, s);
    }
    cSurfaceBackend* b() { return GetBackend(&c); }
};

FencedSurface* SurfaceOf(cCanvas& c) { return static_cast<FencedSurface*>(GetBackend(&c)); }

// --- colours of the five formats, from their bit layouts ---

COLORREF ColourOf(cSurfaceBackend* s, uint32_t n)
{
    switch (s->d.depth) {
    case 8: return s->IndexToColour((int)n);
    case 15: return RGB((n >> 10 & 31) << 3, (n >> 5 & 31) << 3, (n & 31) << 3);
    case 16: return RGB((n >> 11 & 31) << 3, (n >> 5 & 63) << 2, (n & 31) << 3);
    default: return RGB(n >> 16 & 0xFF, n >> 8 & 0xFF, n & 0xFF);
    }
}

uint32_t NativeOf(cSurfaceBackend* s, COLORREF c)
{
    uint32_t r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
    switch (s->d.depth) {
    case 8: return (uint32_t)s->NearestIndex(c);
    case 15: return (r >> 3) << 10 | (g >> 3) << 5 | b >> 3;
    case 16: return (r >> 3) << 11 | (g >> 2) << 5 | b >> 3;
    default: return r << 16 | g << 8 | b;
    }
}

// --- the rotation model ---

struct Model {
    std::vector<uint32_t> pixels, alpha;
};

// Destination pixel (X, Y) samples the source at u = w/2 + (X - W/2) cos - (Y - H/2) sin,
// v = h/2 + (X - W/2) sin + (Y - H/2) cos, one pixel at a time.
Model RotateModel(FencedSurface* src, cSurfaceBackend* dst, double angle, int quality, COLORREF fill, int flag)
{
    const int w = src->d.width, h = src->d.height, W = dst->d.width, H = dst->d.height;
    double c, s;
    if (angle == 90) {
        c = 0, s = 1;
    } else if (angle == 270) {
        c = 0, s = -1;
    } else {
        float radians = (float)(angle * 0.01745329251993889);
        c = cosf(radians), s = sinf(radians);
    }
    const bool hasAlpha = src->d.alphaRowZero != nullptr;
    const uint32_t fillNative = NativeOf(dst, fill);
    const uint32_t colourBits = src->d.depth == 32 ? 0xFFFFFF : 0xFFFFFFFF;
    Model m;
    for (int plane = 0; plane < (hasAlpha ? 2 : 1); plane++) {
        const bool alpha = plane == 1;
        const bool keep = flag && !hasAlpha && !alpha;
        const uint32_t fillValue = alpha ? 0 : fillNative;
        auto read = [&](int x, int y) { return alpha ? (uint32_t)src->Alpha(x, y) : src->Get(x, y); };
        auto isFill = [&](uint32_t n) { return (n & colourBits) == fillValue; };
        auto channel = [&](uint32_t n, int i) {
            return alpha ? (double)n : (double)(ColourOf(src, n) >> (8 * i) & 0xFF);
        };
        std::vector<uint32_t>& out = alpha ? m.alpha : m.pixels;
        for (int Y = 0; Y < H; Y++) {
            for (int X = 0; X < W; X++) {
                double u = w / 2.0 + (X - W / 2.0) * c - (Y - H / 2.0) * s;
                double v = h / 2.0 + (X - W / 2.0) * s + (Y - H / 2.0) * c;
                uint32_t result;
                if (quality == 0) {
                    double ru = nearbyint(u), rv = nearbyint(v);  // the default mode: halves to even
                    result = ru < 0 || rv < 0 || ru >= w || rv >= h ? fillValue : read((int)ru, (int)rv);
                } else if (u < 0 || v < 0 || (int)u >= w || (int)v >= h) {
                    result = fillValue;
                } else {
                    int iu = (int)u, iv = (int)v;
                    uint32_t c00 = read(iu, iv);
                    if (keep && isFill(c00)) {
                        result = c00;
                    } else {
                        double fu = u - iu, fv = v - iv;
                        double w11 = fu * fv, w01 = fv - w11, w10 = fu - w11, w00 = 1 - fv - w10;
                        auto at = [&](int x, int y) {
                            if (x >= w || y >= h)
                                return c00;
                            uint32_t n = read(x, y);
                            return keep && isFill(n) ? c00 : n;
                        };
                        uint32_t c11 = at(iu + 1, iv + 1), c01 = at(iu, iv + 1), c10 = at(iu + 1, iv);
                        uint32_t rgb = 0;
                        for (int i = 0; i < (alpha ? 1 : 3); i++) {
                            double sum = channel(c00, i) * w00 + 0.5 + channel(c11, i) * w11 +
                                         channel(c01, i) * w01 + channel(c10, i) * w10;
                            rgb |= (uint32_t)sum << (8 * i);
                        }
                        result = alpha ? rgb : NativeOf(dst, rgb);
                    }
                }
                out.push_back(result);
            }
        }
    }
    return m;
}

// Where a quarter turn puts source pixel (x, y) of a w x h surface.
void Quarter(bool clockwise, int w, int h, int x, int y, int* tx, int* ty)
{
    *tx = clockwise ? h - 1 - y : y;
    *ty = clockwise ? x : w - 1 - x;
}

std::vector<uint32_t> QuarterModel(const std::vector<uint32_t>& src, int w, int h, bool clockwise)
{
    std::vector<uint32_t> out(src.size());
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            int tx, ty;
            Quarter(clockwise, w, h, x, y, &tx, &ty);
            out[(size_t)ty * h + tx] = src[(size_t)y * w + x];
        }
    return out;
}

std::vector<uint32_t> HalfTurnModel(const std::vector<uint32_t>& src)
{
    return std::vector<uint32_t>(src.rbegin(), src.rend());
}

// --- mirrors ---

struct MirrorCase {
    const char* what;
    int x, y, w, h;
    int clipX, clipY, clipW, clipH;  // clipW < 0: the whole surface
    int ex, ey, ew, eh;              // the rectangle that changes (ew 0: none)
    int horizontal, vertical;        // results
};

// On a 7 x 5 surface.
const MirrorCase kMirrorCases[] = {
    {"whole surface", 0, 0, 7, 5, 0, 0, -1, 0, 0, 0, 7, 5, 1, 1},
    {"inside, even width", 1, 1, 4, 3, 0, 0, -1, 0, 1, 1, 4, 3, 1, 1},
    {"inside, odd width", 2, 0, 3, 5, 0, 0, -1, 0, 2, 0, 3, 5, 1, 1},
    {"over the left and top edges", -2, -1, 5, 4, 0, 0, -1, 0, 0, 0, 3, 3, 1, 1},
    {"over the right and bottom edges", 4, 3, 10, 10, 0, 0, -1, 0, 4, 3, 3, 2, 1, 1},
    {"inside a clip rectangle", 0, 0, 7, 5, 2, 1, 3, 3, 2, 1, 3, 3, 1, 1},
    {"one column left after clipping", 6, 0, 5, 5, 0, 0, -1, 0, 6, 0, 1, 5, 1, 1},
    {"one column", 3, 0, 1, 5, 0, 0, -1, 0, 3, 0, 1, 5, 1, 1},
    {"one row", 0, 2, 7, 1, 0, 0, -1, 0, 0, 2, 7, 1, 1, 1},
    {"wholly right", 7, 0, 3, 3, 0, 0, -1, 0, 0, 0, 0, 0, 0, 0},
    {"wholly left", -3, 0, 3, 3, 0, 0, -1, 0, 0, 0, 0, 0, 0, 0},
    {"wholly below", 0, 5, 3, 3, 0, 0, -1, 0, 0, 0, 0, 0, 0, 0},
    {"zero width", 1, 1, 0, 3, 0, 0, -1, 0, 0, 0, 0, 0, 0, 0},
    {"negative height", 1, 1, 3, -2, 0, 0, -1, 0, 0, 0, 0, 0, 0, 0},
    {"outside the clip rectangle", 0, 0, 2, 2, 4, 3, 3, 2, 0, 0, 0, 0, 0, 0},
    {"far away, size past 32 bits", INT_MAX - 1, 0, INT_MAX, 5, 0, 0, -1, 0, 0, 0, 0, 0, 0, 0},
    {"far left, ending at 0", INT_MIN + 1, 0, INT_MAX, 5, 0, 0, -1, 0, 0, 0, 0, 0, 0, 0},
};

// The expected surface: a width-1 rectangle (horizontal) or height-1 (vertical) changes nothing.
std::vector<uint32_t> MirrorModel(const std::vector<uint32_t>& before, int surfaceW, const MirrorCase& c,
                                  bool horizontal)
{
    std::vector<uint32_t> after = before;
    for (int y = c.ey; y < c.ey + c.eh; y++)
        for (int x = c.ex; x < c.ex + c.ew; x++) {
            int fx = horizontal ? c.ex + c.ew - 1 - (x - c.ex) : x;
            int fy = horizontal ? y : c.ey + c.eh - 1 - (y - c.ey);
            after[(size_t)y * surfaceW + x] = before[(size_t)fy * surfaceW + fx];
        }
    return after;
}

TEST(Mirror, EveryFormatMirrorsTheClippedRectanglePixelsAndAlpha)
{
    uint32_t seed = 1;
    for (int depth : kDepths)
        for (const MirrorCase& c : kMirrorCases)
            for (bool horizontal : {true, false}) {
                SCOPED_TRACE(testing::Message() << depth << " bits, " << c.what
                                                << (horizontal ? ", horizontal" : ", vertical"));
                bool bottomUp = seed & 1;
                Fenced f(depth, 7, 5, bottomUp);
                f.s->AttachFencedAlpha(!bottomUp);
                f.s->Randomise(seed++);
                if (c.clipW >= 0)
                    f.b()->SetClipRect(c.clipX, c.clipY, c.clipW, c.clipH);
                std::vector<uint32_t> pixels = f.s->Pixels(), alpha = f.s->AlphaValues();
                int result = horizontal ? f.c.MirrorHorizontal(c.x, c.y, c.w, c.h)
                                        : f.c.MirrorVertical(c.x, c.y, c.w, c.h);
                EXPECT_EQ(result, horizontal ? c.horizontal : c.vertical);
                EXPECT_EQ(f.s->Pixels(), MirrorModel(pixels, 7, c, horizontal));
                EXPECT_EQ(f.s->AlphaValues(), MirrorModel(alpha, 7, c, horizontal));
                EXPECT_TRUE(f.s->CanariesIntact());
            }
}

TEST(Mirror, CanvasPositionsAreHostCoordinatesAndTheAllFormsStartAtHostZero)
{
    const MirrorCase inside = {"", 1, 1, 4, 3, 0, 0, -1, 0, 1, 1, 4, 3, 1, 1};
    const MirrorCase whole = {"", 0, 0, 7, 5, 0, 0, -1, 0, 0, 0, 7, 5, 1, 1};
    // Positioned at (2, 0): host (0, 0) is backend (-2, 0), so the rectangle covers backend columns 0 to 4.
    const MirrorCase shifted = {"", 0, 0, 0, 0, 0, 0, -1, 0, 0, 0, 5, 5, 1, 1};
    for (bool horizontal : {true, false}) {
        Fenced f(24, 7, 5);
        f.s->Randomise(7);
        f.c.SetPosition(3, 2);
        std::vector<uint32_t> before = f.s->Pixels();
        EXPECT_EQ(horizontal ? f.c.MirrorHorizontal(4, 3, 4, 3) : f.c.MirrorVertical(4, 3, 4, 3), 1);
        EXPECT_EQ(f.s->Pixels(), MirrorModel(before, 7, inside, horizontal));

        f.c.SetPosition(0, 0);
        before = f.s->Pixels();
        EXPECT_EQ(horizontal ? f.c.MirrorHorizontalAll() : f.c.MirrorVerticalAll(), 1);
        EXPECT_EQ(f.s->Pixels(), MirrorModel(before, 7, whole, horizontal));

        f.c.SetPosition(2, 0);
        before = f.s->Pixels();
        EXPECT_EQ(horizontal ? f.c.MirrorHorizontalAll() : f.c.MirrorVerticalAll(), 1);
        EXPECT_EQ(f.s->Pixels(), MirrorModel(before, 7, shifted, horizontal));
        EXPECT_TRUE(f.s->CanariesIntact());
    }
}

// --- quarter turns ---

TEST(Rotate90, BothWaysInEveryFormatWithAlphaPlanes)
{
    struct Size {
        int w, h;
    };
    uint32_t seed = 100;
    for (int depth : kDepths)
        for (Size size : {Size{5, 3}, Size{1, 4}, Size{6, 1}, Size{4, 4}})
            for (bool clockwise : {true, false})
                for (bool fencedDstAlpha : {true, false}) {
                    SCOPED_TRACE(testing::Message() << depth << " bits, " << size.w << " x " << size.h
                                                    << (clockwise ? ", clockwise" : ", counter-clockwise")
                                                    << (fencedDstAlpha ? "" : ", plane created"));
                    Fenced src(depth, size.w, size.h, seed & 1), dst(depth, size.h, size.w, seed & 2);
                    src.s->AttachFencedAlpha(seed & 4);
                    if (fencedDstAlpha)
                        dst.s->AttachFencedAlpha(false);
                    src.s->Randomise(seed++);
                    EXPECT_EQ(src.c.Rotate90(&dst.c, clockwise), 1);
                    EXPECT_EQ(dst.s->Pixels(), QuarterModel(src.s->Pixels(), size.w, size.h, clockwise));
                    ASSERT_TRUE(dst.s->HasAlpha());
                    EXPECT_EQ(dst.s->AlphaValues(), QuarterModel(src.s->AlphaValues(), size.w, size.h, clockwise));
                    EXPECT_TRUE(dst.s->CanariesIntact());
                    EXPECT_TRUE(src.s->CanariesIntact());
                }
}

TEST(Rotate90, ASquareSurfaceTurnsIntoItself)
{
    for (int depth : kDepths) {
        SCOPED_TRACE(testing::Message() << depth << " bits");
        Fenced f(depth, 5, 5);
        f.s->AttachFencedAlpha(true);
        f.s->Randomise(depth);
        std::vector<uint32_t> pixels = f.s->Pixels(), alpha = f.s->AlphaValues();
        EXPECT_EQ(f.c.Rotate90(&f.c, 1), 1);
        EXPECT_EQ(f.s->Pixels(), QuarterModel(pixels, 5, 5, true));
        EXPECT_EQ(f.s->AlphaValues(), QuarterModel(alpha, 5, 5, true));
        EXPECT_TRUE(f.s->CanariesIntact());
    }
}

TEST(Rotate90, WrongSizeDepthOrNoDestinationIsRefusedAndChangesNothing)
{
    struct Refusal {
        const char* what;
        int depth, w, h;
    };
    // The source is 16-bit, 5 x 3.
    const Refusal kRefusals[] = {
        {"the source's own size", 16, 5, 3},
        {"one column too many", 16, 4, 5},
        {"one row too few", 16, 3, 4},
        {"another depth", 15, 3, 5},
    };
    Fenced src(16, 5, 3);
    src.s->Randomise(3);
    for (const Refusal& r : kRefusals) {
        SCOPED_TRACE(r.what);
        Fenced dst(r.depth, r.w, r.h);
        dst.s->Randomise(4);
        std::vector<uint32_t> before = dst.s->Pixels();
        EXPECT_EQ(src.c.Rotate90(&dst.c, 0), 0);
        EXPECT_EQ(src.c.Rotate90(&dst.c, 1), 0);
        EXPECT_EQ(dst.s->Pixels(), before);
        EXPECT_TRUE(dst.s->CanariesIntact());
    }
    EXPECT_EQ(src.c.Rotate90(nullptr, 1), 0);
    cCanvas empty;
    EXPECT_EQ(src.c.Rotate90(&empty, 1), 0);
}

// --- any angle ---

struct AngleCase {
    int w, h;
    int dstW, dstH;  // 0: the rotated size
    double angle;
};

const AngleCase kAngleCases[] = {
    {5, 3, 0, 0, 30},  {7, 6, 0, 0, 45},  {4, 9, 0, 0, 135}, {3, 3, 4, 4, 200}, {6, 5, 5, 6, 90},
    {9, 4, 0, 0, 271}, {3, 7, 0, 0, 359}, {8, 8, 8, 8, 1},   {5, 5, 9, 4, 300}, {1, 1, 3, 2, 10},
    {6, 4, 4, 6, 270}, {2, 7, 5, 5, 89},
};

TEST(Rotate, NearestAndBilinearMatchThePerPixelModelInEveryFormat)
{
    const COLORREF kFill = RGB(0x48, 0xA4, 0x18);
    uint32_t seed = 1000;
    for (int depth : kDepths)
        for (const AngleCase& a : kAngleCases)
            for (int quality : {0, 1})
                for (int flag : {0, 1}) {
                    SCOPED_TRACE(testing::Message() << depth << " bits, " << a.w << " x " << a.h << " at "
                                                    << a.angle << ", quality " << quality << ", flag " << flag
                                                    << ", seed " << seed);
                    int W = a.dstW, H = a.dstH;
                    if (!W) {
                        W = a.w, H = a.h;
                        GetRotatedSize(&W, &H, (int)a.angle);
                    }
                    Fenced src(depth, a.w, a.h, seed & 1), dst(depth, W, H, seed & 2);
                    src.s->Randomise(seed);
                    dst.s->Randomise(seed + 1);
                    // Some source pixels of the fill colour, for the flag to find.
                    uint32_t fillNative = NativeOf(dst.b(), kFill);
                    std::mt19937 rng(seed++);
                    for (int y = 0; y < a.h; y++)
                        for (int x = 0; x < a.w; x++)
                            if (rng() % 4 == 0)
                                src.s->Put(x, y, fillNative | (depth == 32 ? 0x5A000000u : 0));
                    Model m = RotateModel(src.s, dst.b(), a.angle, quality, kFill, flag);
                    EXPECT_EQ(src.b()->Rotate(dst.b(), a.angle, quality, kFill, flag), 1);
                    EXPECT_EQ(dst.s->Pixels(), m.pixels);
                    EXPECT_TRUE(dst.s->CanariesIntact());
                }
}

TEST(Rotate, TheSourceAlphaPlaneTurnsWithItAndSwitchesTheFlagOff)
{
    const COLORREF kFill = RGB(0x10, 0x20, 0x30);
    uint32_t seed = 5000;
    for (int depth : kDepths)
        for (int quality : {0, 1})
            for (bool fencedDstAlpha : {true, false}) {
                SCOPED_TRACE(testing::Message() << depth << " bits, quality " << quality
                                                << (fencedDstAlpha ? "" : ", plane created"));
                Fenced src(depth, 7, 5, true), dst(depth, 8, 8);
                src.s->AttachFencedAlpha(false);
                if (fencedDstAlpha)
                    dst.s->AttachFencedAlpha(true);
                src.s->Randomise(seed++);
                uint32_t fillNative = NativeOf(dst.b(), kFill);
                for (int x = 0; x < 7; x++)
                    src.s->Put(x, 2, fillNative);
                Model m = RotateModel(src.s, dst.b(), 33, quality, kFill, 1);
                EXPECT_EQ(src.b()->Rotate(dst.b(), 33, quality, kFill, 1), 1);
                EXPECT_EQ(dst.s->Pixels(), m.pixels);
                ASSERT_TRUE(dst.s->HasAlpha());
                EXPECT_EQ(dst.s->AlphaValues(), m.alpha);
                EXPECT_TRUE(dst.s->CanariesIntact());
            }
}

TEST(Rotate, APointExactlyBetweenTwoPixelsTakesTheEvenOne)
{
    // 4 x 3 source into 3 x 3 at 90 degrees: u = 3.5 - Y and v = X. Row 0 samples u = 3.5, which rounds to 4 and
    // lies outside; rows 1 and 2 sample u = 2.5 and 1.5, which both round to column 2.
    Fenced src(24, 4, 3), dst(24, 3, 3);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 4; x++)
            src.s->Put(x, y, 0x100000u * (x + 1) + 0x10u * (y + 1));
    const COLORREF kFill = RGB(1, 2, 3);
    EXPECT_EQ(src.b()->Rotate(dst.b(), 90, 0, kFill, 0), 1);
    for (int X = 0; X < 3; X++) {
        EXPECT_EQ(dst.s->Get(X, 0), 0x010203u);
        EXPECT_EQ(dst.s->Get(X, 1), src.s->Get(2, X)) << X;
        EXPECT_EQ(dst.s->Get(X, 2), src.s->Get(2, X)) << X;
    }
}

TEST(Rotate, TurningIntoItselfReadsTheOriginalPicture)
{
    for (int quality : {0, 1}) {
        Fenced f(32, 6, 6), copy(32, 6, 6), expected(32, 6, 6);
        f.s->Randomise(9);
        copy.s->Randomise(9);
        Model m = RotateModel(copy.s, expected.b(), 40, quality, RGB(9, 9, 9), 0);
        EXPECT_EQ(f.b()->Rotate(f.b(), 40, quality, RGB(9, 9, 9), 0), 1);
        EXPECT_EQ(f.s->Pixels(), m.pixels);
    }
}

TEST(Rotate, RefusalsChangeNothing)
{
    Fenced src(16, 4, 4), other(15, 4, 4), dst(16, 4, 4);
    src.s->Randomise(1);
    dst.s->Randomise(2);
    std::vector<uint32_t> before = dst.s->Pixels();
    EXPECT_EQ(src.b()->Rotate(other.b(), 30, 1, 0, 0), 0);
    EXPECT_EQ(src.b()->Rotate(nullptr, 30, 1, 0, 0), 0);
    EXPECT_EQ(src.b()->Rotate(nullptr, 0, 1, 0, 0), 0);
    EXPECT_EQ(src.b()->Rotate(dst.b(), NAN, 1, 0, 0), 0);
    EXPECT_EQ(dst.s->Pixels(), before);
}

// --- the canvas members ---

TEST(RotateTo, AnglesAreTakenModulo360AndQuarterTurnsAreExact)
{
    struct Turn {
        int angle;
        int kind;  // 0 counter-clockwise, 1 clockwise, 2 half turn
    };
    const Turn kTurns[] = {{90, 0}, {-270, 0}, {450, 0}, {270, 1}, {-90, 1}, {180, 2}, {-180, 2}, {540, 2}};
    for (int depth : kDepths)
        for (const Turn& t : kTurns) {
            SCOPED_TRACE(testing::Message() << depth << " bits at " << t.angle);
            Fenced src(depth, 5, 3), dst(depth, t.kind == 2 ? 5 : 3, t.kind == 2 ? 3 : 5, true);
            src.s->AttachFencedAlpha(false);
            src.s->Randomise(t.angle + 1000);
            EXPECT_EQ(src.c.RotateTo(&dst.c, t.angle, 1, RGB(1, 2, 3), 0), 1);
            std::vector<uint32_t> pixels = src.s->Pixels(), alpha = src.s->AlphaValues();
            std::vector<uint32_t> expected = t.kind == 2 ? HalfTurnModel(pixels) : QuarterModel(pixels, 5, 3, t.kind);
            std::vector<uint32_t> expectedAlpha =
                t.kind == 2 ? HalfTurnModel(alpha) : QuarterModel(alpha, 5, 3, t.kind);
            EXPECT_EQ(dst.s->Pixels(), expected);
            ASSERT_TRUE(dst.s->HasAlpha());
            EXPECT_EQ(dst.s->AlphaValues(), expectedAlpha);
            EXPECT_TRUE(dst.s->CanariesIntact());
        }
}

TEST(RotateTo, OtherAnglesSampleTheSourceAndAHalfTurnWithNothingCopiedFails)
{
    for (int angle : {30, -30, 390, 0}) {
        SCOPED_TRACE(angle);
        Fenced src(24, 6, 5), dst(24, 7, 7);
        src.s->Randomise(11);
        dst.s->Randomise(12);
        std::vector<uint32_t> expected;
        if (angle == 0) {
            expected = dst.s->Pixels();
            for (int y = 0; y < 5; y++)
                for (int x = 0; x < 6; x++)
                    expected[(size_t)y * 7 + x] = src.s->Get(x, y);
        } else {
            expected = RotateModel(src.s, dst.b(), (angle % 360 + 360) % 360, 1, RGB(7, 7, 7), 1).pixels;
        }
        EXPECT_EQ(src.c.RotateTo(&dst.c, angle, 1, RGB(7, 7, 7), 1), 1);
        EXPECT_EQ(dst.s->Pixels(), expected);
    }
    Fenced src(24, 6, 5);
    cCanvas empty;
    EXPECT_EQ(src.c.RotateTo(&empty, 180, 0, 0, 0), 0);
    EXPECT_EQ(src.c.RotateTo(nullptr, 30, 0, 0, 0), 0);
}

TEST(GetRotatedSize, CornersTruncatedTowardZero)
{
    struct SizeCase {
        int w, h, angle, expectW, expectH;
    };
    const SizeCase kSizes[] = {
        {100, 50, 45, 106, 105},  // P2 = (70, -70), P3 = (106, -35), P4 = (36, 35)
        {100, 50, 135, 105, 106}, // P2 = (-70, -70), P3 = (-35, -106), P4 = (35, -36)
        {61, 21, 30, 63, 48},     // P2 = (52, -30), P3 = (63, -12), P4 = (11, 18)
        {10, 10, 45, 14, 14},     // P2 = (7, -7), P3 = (14, 0), P4 = (7, 7)
        {1, 1, 45, 1, 0},         // P2 = (0, 0), P3 = (1, 0), P4 = (1, 0)
        {100, 50, 90, 50, 100},   {100, 50, 270, 50, 100}, {100, 50, -90, 50, 100},
        {100, 50, 180, 100, 50},  {100, 50, 0, 100, 50},   {100, 50, 360, 100, 50},
    };
    for (const SizeCase& c : kSizes) {
        int w = c.w, h = c.h;
        GetRotatedSize(&w, &h, c.angle);
        EXPECT_EQ(w, c.expectW) << c.w << " x " << c.h << " at " << c.angle;
        EXPECT_EQ(h, c.expectH) << c.w << " x " << c.h << " at " << c.angle;
    }
}

TEST(CreateRotated, MakesTheDestinationToMeasure)
{
    const COLORREF kFill = RGB(0x20, 0x40, 0x60);
    for (int depth : kDepths)
        for (int angle : {0, 90, 180, 270, 30, -90, 390}) {
            SCOPED_TRACE(testing::Message() << depth << " bits at " << angle);
            Fenced src(depth, 5, 3);
            src.s->Randomise(angle + depth);
            cCanvas dst;
            ASSERT_EQ(src.c.CreateRotated(&dst, angle, 1, kFill), 1);
            int turned = (angle % 360 + 360) % 360;
            std::vector<uint32_t> pixels = src.s->Pixels(), expected;
            int W = 5, H = 3;
            switch (turned) {
            case 0: expected = pixels; break;
            case 90: expected = QuarterModel(pixels, 5, 3, false), W = 3, H = 5; break;
            case 180: expected = HalfTurnModel(pixels); break;
            case 270: expected = QuarterModel(pixels, 5, 3, true), W = 3, H = 5; break;
            default:
                GetRotatedSize(&W, &H, turned);
                break;
            }
            ASSERT_EQ(dst.GetWidth(), W);
            ASSERT_EQ(dst.GetHeight(), H);
            if (expected.empty())
                expected = RotateModel(src.s, GetBackend(&dst), turned, 1, kFill, 1).pixels;
            EXPECT_EQ(SurfaceOf(dst)->Pixels(), expected);
            EXPECT_TRUE(SurfaceOf(dst)->CanariesIntact());
        }
}

TEST(CreateRotated, IntoItselfAndTooSmall)
{
    Fenced f(16, 5, 3);
    f.s->Randomise(77);
    std::vector<uint32_t> pixels = f.s->Pixels();
    ASSERT_EQ(f.c.CreateRotated(&f.c, 270, 0, 0), 1);
    ASSERT_EQ(f.c.GetWidth(), 3);
    ASSERT_EQ(f.c.GetHeight(), 5);
    EXPECT_EQ(SurfaceOf(f.c)->Pixels(), QuarterModel(pixels, 5, 3, true));

    // A 1 x 1 surface at 45 degrees measures 1 x 0: nothing is made.
    Fenced dot(32, 1, 1);
    cCanvas dst;
    EXPECT_EQ(dot.c.CreateRotated(&dst, 45, 0, 0), 0);
    EXPECT_EQ(dot.c.CreateRotated(nullptr, 90, 0, 0), 0);
}

TEST(Radians, TruncatedTowardZeroToWholeDegrees)
{
    // 0.7 rad is 40.1 degrees and -0.7 rad -40.1: 40 and -40 (320), not 41 or -41.
    struct RadianCase {
        double radians;
        int degrees, neighbour;
    };
    for (RadianCase r : {RadianCase{0.7, 40, 41}, RadianCase{-0.7, -40, -41}}) {
        SCOPED_TRACE(r.radians);
        Fenced src(24, 9, 7);
        src.s->Randomise(5);
        Fenced a(24, 12, 12), b(24, 12, 12), c(24, 12, 12);
        EXPECT_EQ(src.c.RotateToRadians(&a.c, r.radians, 1, RGB(1, 1, 1)), 1);
        EXPECT_EQ(src.c.RotateTo(&b.c, r.degrees, 1, RGB(1, 1, 1), 1), 1);
        EXPECT_EQ(src.c.RotateTo(&c.c, r.neighbour, 1, RGB(1, 1, 1), 1), 1);
        EXPECT_EQ(a.s->Pixels(), b.s->Pixels());
        EXPECT_NE(a.s->Pixels(), c.s->Pixels());

        cCanvas made, byDegrees;
        EXPECT_EQ(src.c.CreateRotatedRadians(&made, r.radians, 0, RGB(1, 1, 1)), 1);
        EXPECT_EQ(src.c.CreateRotated(&byDegrees, r.degrees, 0, RGB(1, 1, 1)), 1);
        ASSERT_EQ(made.GetWidth(), byDegrees.GetWidth());
        ASSERT_EQ(made.GetHeight(), byDegrees.GetHeight());
        EXPECT_EQ(SurfaceOf(made)->Pixels(), SurfaceOf(byDegrees)->Pixels());
    }
    Fenced src(24, 3, 3), dst(24, 3, 3);
    cCanvas made;
    EXPECT_EQ(src.c.RotateToRadians(&dst.c, INFINITY, 0, 0), 0);
    EXPECT_EQ(src.c.CreateRotatedRadians(&made, NAN, 0, 0), 0);
}

}  // namespace
