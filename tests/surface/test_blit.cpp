// Blits, callback blits, filters and the whole-surface analyses as a host reaches them through the import library.
// Expected pixels come from small per-pixel models written here from the rules (which source pixel lands where,
// what a filter sees), never from the library's own code.
#include <gtest/gtest.h>

#include "memory_prototype.h"

#include <limits.h>
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "kalvex2/canvas.h"
#include "kalvex2/palette.h"

namespace {

const int kDepths[] = {8, 15, 16, 24, 32};

// A memory canvas of the depth, every pixel set to a value of its own.
struct Surface {
    cCanvas c;
    int depth;
    Surface(int depth_, int w, int h, int seed = 0) : depth(depth_)
    {
        EXPECT_TRUE(c.CreateLike(w, h, Prototype(depth)));
        // New pixel memory is not cleared, and pixel stores keep a 32-bit pixel's fourth byte: start from zeros
        // so that whole-pixel comparisons see only what the test wrote.
        unsigned char* row0 = c.Lock();
        int step = c.GetRowStep();
        for (int y = 0; y < h && row0; y++)
            memset(row0 + (ptrdiff_t)y * step, 0, (size_t)(step < 0 ? -step : step));
        c.Unlock();
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++)
                Set(x, y, Pattern(x, y, seed));
    }
    // Colours every format stores exactly (multiples of 8, green of 4), different at every position and seed;
    // 8-bit surfaces take indices 1 to 255.
    uint32_t Pattern(int x, int y, int seed) const
    {
        if (depth == 8)
            return 1 + (x * 7 + y * 31 + seed * 101) % 255;
        return RGB((x * 8 + seed * 40) & 0xF8, (y * 8 + seed * 20) & 0xFC, (x * 24 + y * 40 + 8) & 0xF8);
    }
    // Values as GetPixelRaw gives them: indices on 8-bit surfaces, colours elsewhere. Backend coordinates, so
    // that a test may move the canvas and still look at the same pixels.
    void Set(int x, int y, uint32_t v)
    {
        if (depth == 8)
            GetBackend(&c)->SetPixelIndex(x, y, (int)v);
        else
            GetBackend(&c)->SetPixel(x, y, v);
    }
    uint32_t Get(int x, int y)
    {
        unsigned long v = 0xDEADBEEF;
        EXPECT_TRUE(GetBackend(&c)->GetPixelRaw(x, y, &v)) << x << "," << y;
        return (uint32_t)v;
    }
    void Fill(uint32_t v)
    {
        for (int y = 0; y < c.GetHeight(); y++)
            for (int x = 0; x < c.GetWidth(); x++)
                Set(x, y, v);
    }
    std::vector<uint32_t> Pixels()
    {
        std::vector<uint32_t> all;
        for (int y = 0; y < c.GetHeight(); y++)
            for (int x = 0; x < c.GetWidth(); x++)
                all.push_back(Get(x, y));
        return all;
    }
    // A marker value the pattern never takes.
    uint32_t Marker() const { return depth == 8 ? 0 : RGB(0, 0, 0); }
};

// Raw bytes of one pixel, for writing values the colour interface cannot express (a 32-bit fourth byte).
uint8_t* PixelBytes(cCanvas& c, int x, int y)
{
    int bytes = c.GetDepth() == 15 ? 2 : c.GetDepth() / 8;
    return c.Lock() + (ptrdiff_t)y * c.GetRowStep() + x * bytes;
}

// --- where a blit puts each source pixel ---

struct ClipCase {
    const char* what;
    int dx, dy, sx, sy, w, h;
    int clipX, clipY, clipW, clipH;  // destination clip; clipW < 0: the whole surface
};

// Source 6 x 5 onto destination 8 x 7.
const ClipCase kClipCases[] = {
    {"inside", 1, 1, 0, 0, 6, 5, 0, 0, -1, 0},
    {"part of the source inside", 2, 3, 1, 2, 3, 2, 0, 0, -1, 0},
    {"over the left edge", -2, 1, 0, 0, 6, 5, 0, 0, -1, 0},
    {"over the top edge", 1, -3, 0, 0, 6, 5, 0, 0, -1, 0},
    {"over the right edge", 5, 1, 0, 0, 6, 5, 0, 0, -1, 0},
    {"over the bottom edge", 1, 4, 0, 0, 6, 5, 0, 0, -1, 0},
    {"over every edge", -1, -1, -2, -2, 20, 20, 0, 0, -1, 0},
    {"source starting left of the surface", 0, 0, -3, 0, 6, 5, 0, 0, -1, 0},
    {"source starting above the surface", 0, 0, 0, -2, 6, 5, 0, 0, -1, 0},
    {"source running past its right and bottom", 0, 0, 4, 3, 6, 5, 0, 0, -1, 0},
    {"negative destination and source", -1, -2, -1, -1, 5, 5, 0, 0, -1, 0},
    {"destination clip in the middle", 0, 0, 0, 0, 6, 5, 2, 1, 3, 3},
    {"clip crossing the source's far corner", 3, 3, 0, 0, 6, 5, 4, 4, 10, 10},
    {"wholly left of the destination", -6, 0, 0, 0, 6, 5, 0, 0, -1, 0},
    {"wholly below the destination", 0, 7, 0, 0, 6, 5, 0, 0, -1, 0},
    {"source wholly outside", 0, 0, 6, 0, 6, 5, 0, 0, -1, 0},
    {"zero width", 0, 0, 0, 0, 0, 5, 0, 0, -1, 0},
    {"negative height", 0, 0, 0, 0, 6, -1, 0, 0, -1, 0},
    {"clip of width 0", 0, 0, 0, 0, 6, 5, 2, 2, 0, 3},
    {"far away, sizes that overflow 32 bits", INT_MAX - 2, INT_MAX - 2, 0, 0, INT_MAX, INT_MAX, 0, 0, -1, 0},
    {"far negative with a huge size", INT_MIN + 2, INT_MIN + 2, 0, 0, INT_MAX, INT_MAX, 0, 0, -1, 0},
};

// The source position whose pixel lands at destination (x, y), or false when none does.
bool SourceOf(const ClipCase& c, int srcW, int srcH, int dstW, int dstH, int x, int y, int* px, int* py)
{
    int left = c.clipX, top = c.clipY, right = c.clipW < 0 ? dstW : c.clipX + c.clipW,
        bottom = c.clipW < 0 ? dstH : c.clipY + c.clipH;
    if (x < left || x >= right || y < top || y >= bottom)
        return false;
    long long qx = (long long)x - c.dx + c.sx, qy = (long long)y - c.dy + c.sy;
    if (qx < c.sx || qy < c.sy || qx >= (long long)c.sx + c.w || qy >= (long long)c.sy + c.h)
        return false;
    if (qx < 0 || qy < 0 || qx >= srcW || qy >= srcH)
        return false;
    *px = (int)qx;
    *py = (int)qy;
    return true;
}

TEST(Blit, ClippingPlacesEverySourcePixelInEveryFormat)
{
    for (int depth : kDepths) {
        for (const ClipCase& c : kClipCases) {
            SCOPED_TRACE(testing::Message() << depth << " bits, " << c.what);
            Surface src(depth, 6, 5), dst(depth, 8, 7);
            dst.Fill(dst.Marker());
            if (c.clipW >= 0)
                dst.c.SetClipRect(c.clipX, c.clipY, c.clipW, c.clipH);
            int drawn = 0;
            std::vector<uint32_t> expected;
            for (int y = 0; y < 7; y++)
                for (int x = 0; x < 8; x++) {
                    int px, py;
                    bool from = SourceOf(c, 6, 5, 8, 7, x, y, &px, &py);
                    expected.push_back(from ? src.Get(px, py) : dst.Marker());
                    drawn += from;
                }
            EXPECT_EQ(src.c.Blit(&dst.c, c.dx, c.dy, c.sx, c.sy, c.w, c.h, BLIT_OPAQUE, 0, 0, 0), drawn > 0 ? 1 : 0);
            dst.c.ResetClipRect();
            EXPECT_EQ(dst.Pixels(), expected);
        }
    }
}

// An 8-bit canvas over rows whose last byte is followed by a page the process may not touch: a read or write past
// the last pixel faults at once.
struct Fenced {
    void* block = nullptr;
    cCanvas owner;
    cCanvas* view = nullptr;
    Fenced(int w, int h, int seed)
    {
        const size_t page = 4096, bytes = (size_t)w * h, pages = (bytes + page - 1) / page;
        block = VirtualAlloc(nullptr, (pages + 1) * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        DWORD old;
        EXPECT_TRUE(block && VirtualProtect((char*)block + pages * page, page, PAGE_NOACCESS, &old));
        unsigned char* rows = (unsigned char*)block + pages * page - bytes;
        for (size_t i = 0; i < bytes; i++)
            rows[i] = (unsigned char)(1 + (i * 7 + seed * 31) % 255);
        // The grey view of a canvas's alpha plane is a canvas over memory it does not own.
        EXPECT_TRUE(owner.CreateLike(w, h, Prototype(8)));
        owner.AttachAlphaPlane(rows, w);
        view = owner.NewAlphaCanvas();
        EXPECT_NE(view, nullptr);
    }
    ~Fenced()
    {
        DeleteCanvas(view);
        owner.DetachAlphaPlane(nullptr);
        VirtualFree(block, 0, MEM_RELEASE);
    }
    uint32_t Get(int x, int y)
    {
        unsigned long v = 0;
        EXPECT_TRUE(GetBackend(view)->GetPixelRaw(x, y, &v));
        return (uint32_t)v;
    }
};

COLORREF __stdcall SwapChannels(COLORREF destination, COLORREF source, void*)
{
    return ((source & 0xFF) << 16) | (source & 0xFF00) | ((destination >> 16) & 0xFF);
}

COLORREF __cdecl CentreOfSource(COLORREF*, COLORREF* source, void*) { return source[4]; }

TEST(Blit, NothingPastTheLastPixelIsTouched)
{
    for (const ClipCase& c : kClipCases) {
        SCOPED_TRACE(c.what);
        Fenced src(6, 5, 1), dst(8, 7, 2);
        std::vector<uint32_t> expected;
        for (int y = 0; y < 7; y++)
            for (int x = 0; x < 8; x++) {
                int px, py;
                expected.push_back(SourceOf(c, 6, 5, 8, 7, x, y, &px, &py) ? src.Get(px, py) : dst.Get(x, y));
            }
        if (c.clipW >= 0)
            dst.view->SetClipRect(c.clipX, c.clipY, c.clipW, c.clipH);
        for (int mode = 0; mode < 2; mode++)
            src.view->Blit(dst.view, c.dx, c.dy, c.sx, c.sy, c.w, c.h, mode, 0, 0, BLIT_COPY_ALPHA);
        src.view->BlitCallback(dst.view, c.dx, c.dy, c.sx, c.sy, c.w, c.h, 0, SwapChannels, nullptr);
        src.view->ApplyFilter(dst.view, c.dx, c.dy, c.sx, c.sy, c.w, c.h, 3, 3, 1, 1, CentreOfSource, nullptr);
        src.view->OverlapsOpaque(dst.view, c.sx, c.sy, c.dx, c.dy, c.w, c.h);
        if (c.clipW < 0) {
            // Only the plain copy, so that the pixels can be checked.
            Fenced again(8, 7, 2);
            src.view->Blit(again.view, c.dx, c.dy, c.sx, c.sy, c.w, c.h, BLIT_OPAQUE, 0, 0, 0);
            std::vector<uint32_t> got;
            for (int y = 0; y < 7; y++)
                for (int x = 0; x < 8; x++)
                    got.push_back(again.Get(x, y));
            EXPECT_EQ(got, expected);
        }
    }
    Fenced s(7, 5, 3);
    EXPECT_EQ(s.view->MoveRect(0, 0, 1, 1, 6, 4), 1);
    EXPECT_EQ(s.view->MoveRect(1, 1, 0, 0, 6, 4), 1);
    EXPECT_EQ(s.view->MoveRect(1, 1, 1, 1, 7, 4), 0);
    EXPECT_EQ(s.view->IsBlank(), 0);
    RECT r;
    EXPECT_EQ(s.view->GetContentRect(&r), 1);
    EXPECT_EQ(r.right, 7);
    EXPECT_EQ(r.bottom, 5);
    EXPECT_EQ(s.view->ReplaceColour(0x01000001, 0x01000002), 1);
}

TEST(Blit, HostPositionsAreTakenRelativeToEachCanvassOrigin)
{
    Surface src(32, 4, 4), dst(32, 8, 8);
    dst.Fill(dst.Marker());
    src.c.SetPosition(10, 20);
    dst.c.SetPosition(-5, 3);
    // Host (12, 21) is source (2, 1); host (-3, 6) is destination (2, 3).
    ASSERT_EQ(src.c.Blit(&dst.c, -3, 6, 12, 21, 2, 2, BLIT_OPAQUE, 0, 0, 0), 1);
    EXPECT_EQ(dst.Get(2, 3), src.Get(2, 1));
    EXPECT_EQ(dst.Get(3, 4), src.Get(3, 2));
    EXPECT_EQ(dst.Get(1, 3), dst.Marker());

    // Draw takes the rectangle at host (0, 0) of the source: with origin (10, 20) that lies wholly outside it.
    EXPECT_EQ(src.c.Draw(&dst.c, 0, 0, BLIT_OPAQUE, 0, 0, 0), 0);
    src.c.SetPosition(0, 0);
    ASSERT_EQ(src.c.Draw(&dst.c, 0, 0, BLIT_OPAQUE, 0, 0, 0), 1);  // to destination (5, -3)
    EXPECT_EQ(dst.Get(5, 0), src.Get(0, 3));
    EXPECT_EQ(dst.Get(7, 0), src.Get(2, 3));
}

TEST(Blit, RequestsThatCannotBeMetDrawNothing)
{
    Surface src(32, 4, 4), dst(32, 4, 4), other(16, 4, 4);
    dst.Fill(dst.Marker());
    cCanvas empty;
    struct Case {
        const char* what;
        std::function<int()> call;
    } cases[] = {
        {"mode 2", [&] { return src.c.Blit(&dst.c, 0, 0, 0, 0, 4, 4, 2, 0, 0, 0); }},
        {"negative mode", [&] { return src.c.Blit(&dst.c, 0, 0, 0, 0, 4, 4, -1, 0, 0, 0); }},
        {"effect 13", [&] { return src.c.Blit(&dst.c, 0, 0, 0, 0, 4, 4, 0, 13, 0, 0); }},
        {"effect 7, which has no routines", [&] { return src.c.Blit(&dst.c, 0, 0, 0, 0, 4, 4, 0, 7, 5, 0); }},
        {"effect 7, transparent", [&] { return src.c.Blit(&dst.c, 0, 0, 0, 0, 4, 4, 1, 7, 5, 0); }},
        {"negative effect", [&] { return src.c.Blit(&dst.c, 0, 0, 0, 0, 4, 4, 0, -1, 0, 0); }},
        {"no destination", [&] { return src.c.Blit(nullptr, 0, 0, 0, 0, 4, 4, 0, 0, 0, 0); }},
        {"empty destination", [&] { return src.c.Blit(&empty, 0, 0, 0, 0, 4, 4, 0, 0, 0, 0); }},
        {"empty source", [&] { return empty.Blit(&dst.c, 0, 0, 0, 0, 4, 4, 0, 0, 0, 0); }},
        {"a weight-128 blend into nothing", [&] { return src.c.Blit(nullptr, 0, 0, 0, 0, 4, 4, 0, 1, 128, 0); }},
        {"a weight-128 blend that clips away", [&] { return src.c.Blit(&dst.c, 9, 0, 0, 0, 4, 4, 0, 1, 128, 0); }},
        {"CopyTo nothing", [&] { return src.c.CopyTo(nullptr); }},
        {"Draw to nothing", [&] { return src.c.Draw(nullptr, 0, 0, 0, 0, 0, 0); }},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.call(), 0) << c.what;
        for (uint32_t v : dst.Pixels())
            ASSERT_EQ(v, dst.Marker()) << c.what;
    }
}

TEST(Blit, BlendWeightsAtTheEndsNeedNoInkRoutine)
{
    Surface src(16, 4, 4), dst(16, 4, 4, 3);
    std::vector<uint32_t> before = dst.Pixels();
    // All the weight on the destination: reported drawn, nothing changes (also above 128, which counts as 128).
    EXPECT_EQ(src.c.Blit(&dst.c, 0, 0, 0, 0, 4, 4, BLIT_OPAQUE, 1, 128, 0), 1);
    EXPECT_EQ(src.c.Blit(&dst.c, 0, 0, 0, 0, 4, 4, BLIT_TRANSPARENT, 1, 200, 0), 1);
    EXPECT_EQ(dst.Pixels(), before);
    // No weight on the destination: a plain copy.
    EXPECT_EQ(src.c.Blit(&dst.c, 0, 0, 0, 0, 4, 4, BLIT_OPAQUE, 1, 0, 0), 1);
    EXPECT_EQ(dst.Pixels(), src.Pixels());
}

// --- transparency and alpha planes ---

TEST(Blit, TransparentCopySkipsTheKeyInEveryFormat)
{
    for (int depth : kDepths) {
        SCOPED_TRACE(depth);
        Surface src(depth, 5, 3), dst(depth, 5, 3, 2);
        // Index 0 on 8-bit surfaces (the pattern never uses it), a colour every format stores exactly elsewhere.
        uint32_t keyValue = depth == 8 ? 0 : RGB(248, 0, 248);
        src.c.SetTransparentColour(keyValue);
        src.Set(1, 0, keyValue);
        src.Set(4, 2, keyValue);
        src.Set(0, 1, keyValue);
        std::vector<uint32_t> s = src.Pixels(), d = dst.Pixels(), expected;
        for (size_t i = 0; i < s.size(); i++)
            expected.push_back(s[i] == keyValue ? d[i] : s[i]);
        ASSERT_EQ(src.c.Blit(&dst.c, 0, 0, 0, 0, 5, 3, BLIT_TRANSPARENT, 0, 0, 0), 1);
        EXPECT_EQ(dst.Pixels(), expected);
        EXPECT_NE(dst.Get(1, 0), keyValue);
    }
}

TEST(Blit, ThirtyTwoBitPixelsWithAFourthByteAreNeverTheKey)
{
    Surface src(32, 2, 1), dst(32, 2, 1);
    dst.Fill(RGB(8, 8, 8));
    src.c.SetTransparentColour(RGB(16, 32, 48));
    src.Set(0, 0, RGB(16, 32, 48));
    src.Set(1, 0, RGB(16, 32, 48));
    PixelBytes(src.c, 1, 0)[3] = 1;
    src.c.Unlock();
    ASSERT_EQ(src.c.Blit(&dst.c, 0, 0, 0, 0, 2, 1, BLIT_TRANSPARENT, 0, 0, 0), 1);
    EXPECT_EQ(dst.Get(0, 0), (uint32_t)RGB(8, 8, 8));
    EXPECT_EQ(dst.Get(1, 0), (uint32_t)RGB(16, 32, 48));
}

TEST(Blit, AlphaPlaneWeighsSourcePixelsInTransparentCopies)
{
    Surface src(24, 3, 1), dst(24, 3, 1);
    src.Fill(RGB(255, 255, 255));
    dst.Fill(RGB(0, 0, 0));
    ASSERT_NE(src.c.CreateAlphaPlane(), nullptr);
    unsigned char* alpha = src.c.GetAlphaPlane();
    alpha[0] = 0;
    alpha[1] = 255;
    alpha[2] = 128;
    ASSERT_EQ(src.c.Blit(&dst.c, 0, 0, 0, 0, 3, 1, BLIT_TRANSPARENT, 0, 0, BLIT_COPY_ALPHA), 1);
    EXPECT_EQ(dst.Get(0, 0), 0u);
    EXPECT_EQ(dst.Get(1, 0), (uint32_t)RGB(255, 255, 255));
    EXPECT_EQ(dst.Get(2, 0), (uint32_t)RGB(127, 127, 127));
    EXPECT_FALSE(dst.c.HasAlphaPlane()) << "transparent copies leave alpha planes alone";
}

TEST(Blit, OpaqueCopyWithAlphaFlagGivesTheDestinationAPlane)
{
    for (int depth : kDepths) {
        SCOPED_TRACE(depth);
        Surface src(depth, 4, 3), dst(depth, 6, 5, 1);
        ASSERT_NE(src.c.CreateAlphaPlane(), nullptr);
        unsigned char* a = src.c.GetAlphaPlane();
        int step = src.c.GetAlphaRowStep();
        for (int y = 0; y < 3; y++)
            for (int x = 0; x < 4; x++)
                a[y * step + x] = (unsigned char)(10 + x + 10 * y);
        ASSERT_EQ(src.c.Blit(&dst.c, 2, 1, 1, 1, 3, 2, BLIT_OPAQUE, 0, 0, BLIT_COPY_ALPHA), 1);
        ASSERT_TRUE(dst.c.HasAlphaPlane());
        const unsigned char* b = dst.c.GetAlphaPlane();
        int dstep = dst.c.GetAlphaRowStep();
        for (int y = 0; y < 5; y++)
            for (int x = 0; x < 6; x++) {
                bool inside = x >= 2 && x < 5 && y >= 1 && y < 3;
                EXPECT_EQ(b[y * dstep + x], inside ? 10 + (x - 1) + 10 * y : 0) << x << "," << y;
            }
        // Without the flag the plane is not copied.
        Surface plain(depth, 6, 5);
        ASSERT_EQ(src.c.Blit(&plain.c, 0, 0, 0, 0, 4, 3, BLIT_OPAQUE, 0, 0, 0), 1);
        EXPECT_FALSE(plain.c.HasAlphaPlane());
    }
}

TEST(Blit, CopyToAndCreateCopyCarryPixelsAndAlpha)
{
    for (int depth : kDepths) {
        SCOPED_TRACE(depth);
        Surface src(depth, 5, 4);
        ASSERT_NE(src.c.CreateAlphaPlane(), nullptr);
        src.c.GetAlphaPlane()[1] = 77;
        src.c.SetTransparentColour(RGB(8, 16, 24));

        Surface to(depth, 5, 4, 2);
        ASSERT_EQ(src.c.CopyTo(&to.c), 1);
        EXPECT_EQ(to.Pixels(), src.Pixels());
        ASSERT_TRUE(to.c.HasAlphaPlane());
        EXPECT_EQ(to.c.GetAlphaPlane()[1], 77);

        cCanvas copy;
        copy.CreateCopy(&src.c, -1, -1);
        ASSERT_TRUE(copy.IsValid());
        EXPECT_EQ(copy.GetError(), 0u);
        EXPECT_EQ(copy.GetWidth(), 5);
        EXPECT_EQ(copy.GetTransparentColour(), src.c.GetTransparentColour());
        for (int y = 0; y < 4; y++)
            for (int x = 0; x < 5; x++) {
                unsigned long v = 0;
                ASSERT_TRUE(copy.GetPixelRaw(x, y, &v));
                EXPECT_EQ(v, src.Get(x, y));
            }
        ASSERT_TRUE(copy.HasAlphaPlane());
        EXPECT_EQ(copy.GetAlphaPlane()[1], 77);

        cCanvas constructed(src.c);
        EXPECT_TRUE(constructed.IsValid());
    }
}

// --- one surface as source and destination ---

struct ShiftCase {
    int sx, sy, dx, dy, w, h;
};
const ShiftCase kShifts[] = {
    {0, 0, 1, 0, 5, 4}, {1, 0, 0, 0, 5, 4}, {0, 0, 0, 1, 6, 3}, {0, 1, 0, 0, 6, 3},
    {0, 0, 2, 2, 4, 3}, {2, 1, 0, 0, 4, 3}, {1, 2, 3, 0, 3, 3}, {3, 0, 1, 2, 3, 3},
};

// The result of copying the rectangle through a temporary: every pixel read before any is written.
std::vector<uint32_t> CopiedThroughTemporary(Surface& s, const ShiftCase& c, uint32_t skip, bool transparent)
{
    std::vector<uint32_t> before = s.Pixels(), after = before;
    int w = s.c.GetWidth();
    for (int y = 0; y < c.h; y++)
        for (int x = 0; x < c.w; x++) {
            uint32_t v = before[(c.sy + y) * w + c.sx + x];
            if (!transparent || v != skip)
                after[(c.dy + y) * w + c.dx + x] = v;
        }
    return after;
}

TEST(Blit, OverlappingRectanglesOfOneSurfaceNeverSmear)
{
    for (int depth : kDepths) {
        for (int mode = 0; mode < 2; mode++) {
            for (const ShiftCase& c : kShifts) {
                SCOPED_TRACE(testing::Message() << depth << " bits, mode " << mode << ", from " << c.sx << ","
                                                << c.sy << " to " << c.dx << "," << c.dy);
                Surface s(depth, 6, 5);
                uint32_t key = s.Get(2, 2);
                s.c.SetTransparentColour(depth == 8 ? 0x01000000 | key : key);
                std::vector<uint32_t> expected = CopiedThroughTemporary(s, c, key, mode == 1);
                ASSERT_EQ(s.c.Blit(&s.c, c.dx, c.dy, c.sx, c.sy, c.w, c.h, mode, 0, 0, 0), 1);
                EXPECT_EQ(s.Pixels(), expected);
            }
        }
    }
}

TEST(Blit, OverlappingCopyMovesTheAlphaPlaneAlong)
{
    Surface s(32, 4, 1);
    ASSERT_NE(s.c.CreateAlphaPlane(), nullptr);
    unsigned char* a = s.c.GetAlphaPlane();
    for (int x = 0; x < 4; x++)
        a[x] = (unsigned char)(x + 1);
    ASSERT_EQ(s.c.Blit(&s.c, 1, 0, 0, 0, 3, 1, BLIT_OPAQUE, 0, 0, BLIT_COPY_ALPHA), 1);
    EXPECT_EQ(std::vector<int>(a, a + 4), (std::vector<int>{1, 1, 2, 3}));
}

TEST(MoveRect, MovesInsideTheSurfaceInEveryDirection)
{
    for (int depth : kDepths) {
        for (const ShiftCase& c : kShifts) {
            SCOPED_TRACE(testing::Message() << depth << " bits, from " << c.sx << "," << c.sy << " to " << c.dx
                                            << "," << c.dy);
            Surface s(depth, 6, 5);
            std::vector<uint32_t> expected = CopiedThroughTemporary(s, c, 0, false);
            s.c.SetPosition(50, 50);  // backend coordinates: the origin plays no part
            s.c.SetClipRect(50, 50, 1, 1);  // nor does the clip rectangle
            ASSERT_EQ(s.c.MoveRect(c.sx, c.sy, c.dx, c.dy, c.w, c.h), 1);
            s.c.ResetClipRect();
            EXPECT_EQ(s.Pixels(), expected);
        }
    }
}

TEST(MoveRect, RectanglesNotWhollyInsideMoveNothing)
{
    const ShiftCase bad[] = {
        {0, 0, 1, 0, 6, 1},  // destination one past the right edge
        {1, 0, 0, 0, 6, 1},  // source one past the right edge
        {0, 0, 0, 1, 1, 5},  // one past the bottom
        {-1, 0, 0, 0, 2, 2}, {0, 0, 0, -1, 2, 2},
        {0, 0, 1, 1, 0, 2},  // empty
        {0, 0, 1, 1, 2, -1},
        {0, 0, 1, 1, INT_MAX, 1},
        {INT_MAX, 0, 0, 0, 2, 1},
    };
    for (const ShiftCase& c : bad) {
        Surface s(16, 6, 5);
        std::vector<uint32_t> before = s.Pixels();
        EXPECT_EQ(s.c.MoveRect(c.sx, c.sy, c.dx, c.dy, c.w, c.h), 0) << c.sx << "," << c.sy << "," << c.dx << ","
                                                                       << c.dy << "," << c.w << "," << c.h;
        EXPECT_EQ(s.Pixels(), before);
    }
    cCanvas empty;
    EXPECT_EQ(empty.MoveRect(0, 0, 0, 0, 1, 1), 0);
}

// --- callback blits ---

COLORREF __stdcall MixColours(COLORREF destination, COLORREF source, void* user)
{
    // Any function of both colours that cannot be mistaken for a plain copy.
    return (source & 0xF8F8F8) ^ ((destination >> 8) & 0xF8F8) ^ (COLORREF)(uintptr_t)user;
}

TEST(BlitCallback, EveryPixelGoesThroughTheFunction)
{
    for (int depth : {15, 16, 24, 32}) {
        for (int mode = 0; mode < 2; mode++) {
            SCOPED_TRACE(testing::Message() << depth << " bits, mode " << mode);
            Surface src(depth, 5, 4), dst(depth, 6, 6, 1);
            uint32_t key = src.Get(1, 1);
            src.c.SetTransparentColour(key);
            src.c.SetPosition(1, 1);
            void* user = (void*)(uintptr_t)0x080808;
            std::vector<uint32_t> expected = dst.Pixels();
            // Source (0..4, 1..3) to destination (2..6, 3..5): the last column and row fall off.
            for (int y = 1; y < 4; y++)
                for (int x = 0; x < 5; x++) {
                    int tx = x + 2, ty = y + 2;
                    if (tx >= 6 || ty >= 6)
                        continue;
                    uint32_t s = src.Get(x, y);
                    if (mode == 1 && s == key)
                        continue;
                    Surface probe(depth, 1, 1);
                    probe.Set(0, 0, MixColours(expected[ty * 6 + tx], s, user));
                    expected[ty * 6 + tx] = probe.Get(0, 0);
                }
            ASSERT_EQ(src.c.BlitCallback(&dst.c, 2, 3, 1, 2, 5, 4, mode, MixColours, user), 1);
            EXPECT_EQ(dst.Pixels(), expected);
        }
    }
}

TEST(BlitCallback, DrawCallbackCoversTheWholeSurfaceAtBackendZero)
{
    Surface src(32, 3, 2), dst(32, 4, 4, 1), reference(32, 4, 4, 1);
    src.c.SetPosition(7, 7);
    dst.c.SetPosition(-2, 5);
    reference.c.SetPosition(-2, 5);
    ASSERT_EQ(src.c.DrawCallback(&dst.c, MixColours, nullptr, 0), 1);
    // The same as a callback blit of (0, 0, 3, 2) between backend positions.
    ASSERT_EQ(src.c.BlitCallback(&reference.c, -2, 5, 7, 7, 3, 2, 0, MixColours, nullptr), 1);
    EXPECT_EQ(dst.Pixels(), reference.Pixels());
    EXPECT_NE(dst.Get(0, 0), Surface(32, 4, 4, 1).Get(0, 0));
}

TEST(BlitCallback, RefusesEmptyRectanglesOtherDepthsAndMissingParts)
{
    Surface src(16, 4, 4), dst(16, 4, 4, 1), deeper(32, 4, 4);
    std::vector<uint32_t> before = dst.Pixels();
    EXPECT_EQ(src.c.BlitCallback(&dst.c, 0, 0, 0, 0, 0, 4, 0, MixColours, nullptr), 0);
    EXPECT_EQ(src.c.BlitCallback(&dst.c, 0, 0, 0, 0, 4, -2, 0, MixColours, nullptr), 0);
    EXPECT_EQ(src.c.BlitCallback(&dst.c, 5, 0, 0, 0, 4, 4, 0, MixColours, nullptr), 0);
    EXPECT_EQ(src.c.BlitCallback(&dst.c, 0, 0, 0, 0, 4, 4, 0, nullptr, nullptr), 0);
    EXPECT_EQ(src.c.BlitCallback(nullptr, 0, 0, 0, 0, 4, 4, 0, MixColours, nullptr), 0);
    EXPECT_EQ(src.c.BlitCallback(&deeper.c, 0, 0, 0, 0, 4, 4, 0, MixColours, nullptr), 0);
    EXPECT_EQ(src.c.DrawCallback(nullptr, MixColours, nullptr, 0), 0);
    EXPECT_EQ(dst.Pixels(), before);
}

TEST(BlitCallback, OverlapOnOneSurfaceReadsTheSourceFirst)
{
    Surface s(24, 5, 1);
    std::vector<uint32_t> before = s.Pixels(), expected = before;
    for (int x = 0; x < 4; x++)
        expected[x + 1] = MixColours(before[x + 1], before[x], nullptr);
    ASSERT_EQ(s.c.BlitCallback(&s.c, 1, 0, 0, 0, 4, 1, 0, MixColours, nullptr), 1);
    EXPECT_EQ(s.Pixels(), expected);
}

// --- filters ---

struct FilterProbe {
    int kernelW, kernelH;
    std::vector<COLORREF> seen;  // every destination block value the filter was shown
    int pick;                    // -1: the source centre; otherwise this destination block element
    int centre;
};

COLORREF __cdecl ProbeFilter(COLORREF* destination, COLORREF* source, void* user)
{
    FilterProbe* probe = static_cast<FilterProbe*>(user);
    probe->seen.insert(probe->seen.end(), destination, destination + probe->kernelW * probe->kernelH);
    return probe->pick < 0 ? source[probe->centre] : destination[probe->pick];
}

TEST(ApplyFilter, WindowsLineUpWithTheCentreAndTheSourceOutsideIsTheKey)
{
    struct Case {
        int dx, dy, sx, sy, w, h, kw, kh, cx, cy;
    } cases[] = {
        {2, 2, 1, 1, 3, 2, 3, 3, 1, 1},
        {0, 1, 0, 0, 4, 3, 3, 2, 2, 1},   // lopsided kernel
        {-1, -1, 0, 0, 4, 4, 3, 3, 1, 1}, // over the destination's top-left
        {4, 3, 2, 2, 5, 5, 5, 3, 2, 1},   // over the bottom-right
        {1, 1, -2, 0, 4, 2, 1, 1, 0, 0},  // source starting left of the surface
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "at " << c.dx << "," << c.dy << " kernel " << c.kw << "x" << c.kh);
        Surface src(32, 5, 4), dst(32, 7, 6, 2);
        const COLORREF key = RGB(200, 0, 200);
        src.c.SetTransparentColour(key);
        std::vector<uint32_t> before = dst.Pixels(), expected = before;
        // Clip as a blit does, then walk the rectangle widened by the centre on every side.
        int dx = c.dx, dy = c.dy, sx = c.sx, sy = c.sy, w = c.w, h = c.h;
        if (sx < 0) dx -= sx, w += sx, sx = 0;
        if (sx + w > 5) w = 5 - sx;
        if (sy < 0) dy -= sy, h += sy, sy = 0;
        if (sy + h > 4) h = 4 - sy;
        if (dx < 0) sx -= dx, w += dx, dx = 0;
        if (dx + w > 7) w = 7 - dx;
        if (dy < 0) sy -= dy, h += dy, dy = 0;
        if (dy + h > 6) h = 6 - dy;
        for (int y = dy - c.cy; y < dy + h + c.cy; y++)
            for (int x = dx - c.cx; x < dx + w + c.cx; x++) {
                if (x < 0 || y < 0 || x >= 7 || y >= 6)
                    continue;
                int qx = sx + x - dx, qy = sy + y - dy;
                bool inside = qx >= 0 && qy >= 0 && qx < 5 && qy < 4;
                expected[y * 7 + x] = inside ? src.Get(qx, qy) : key;
            }
        FilterProbe copySource{c.kw, c.kh, {}, -1, c.cy * c.kw + c.cx};
        ASSERT_EQ(src.c.ApplyFilter(&dst.c, c.dx, c.dy, c.sx, c.sy, c.w, c.h, c.kw, c.kh, c.cx, c.cy, ProbeFilter,
                                    &copySource),
                  1);
        EXPECT_EQ(dst.Pixels(), expected);

        // Giving back the destination's own centre changes nothing: the destination block is centred too.
        Surface again(32, 7, 6, 2);
        FilterProbe keep{c.kw, c.kh, {}, c.cy * c.kw + c.cx, 0};
        ASSERT_EQ(src.c.ApplyFilter(&again.c, c.dx, c.dy, c.sx, c.sy, c.w, c.h, c.kw, c.kh, c.cx, c.cy, ProbeFilter,
                                    &keep),
                  1);
        EXPECT_EQ(again.Pixels(), before);
        // Every destination value the filter saw is a pixel of the destination, also where the window reaches
        // past the surface's edge.
        for (COLORREF v : keep.seen)
            ASSERT_NE(std::find(before.begin(), before.end(), v), before.end()) << std::hex << v;
    }
}

COLORREF __stdcall SourceColour(COLORREF, COLORREF source, void*) { return source; }

TEST(ApplyFilter, EightBitSurfacesShowTheFilterPaletteColours)
{
    // Indices become palette colours on the way in and the nearest index on the way out, so what lands is the
    // source pixel's colour (an index holding a duplicate colour may come back as its twin).
    Surface src(8, 4, 3), dst(8, 4, 3, 1), viaCallback(8, 4, 3, 1);
    std::vector<COLORREF> before;
    for (uint32_t index : dst.Pixels())
        before.push_back(dst.c.IndexToColour((int)index));
    FilterProbe copySource{3, 3, {}, -1, 4};
    ASSERT_EQ(src.c.ApplyFilter(&dst.c, 0, 0, 0, 0, 4, 3, 3, 3, 1, 1, ProbeFilter, &copySource), 1);
    ASSERT_EQ(src.c.BlitCallback(&viaCallback.c, 0, 0, 0, 0, 4, 3, 0, SourceColour, nullptr), 1);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 4; x++) {
            COLORREF wanted = src.c.IndexToColour((int)src.Get(x, y));
            EXPECT_EQ(dst.c.IndexToColour((int)dst.Get(x, y)), wanted) << x << "," << y;
            EXPECT_EQ(viaCallback.c.IndexToColour((int)viaCallback.Get(x, y)), wanted) << x << "," << y;
        }
    // Every destination value the filter saw was a palette colour of a destination pixel.
    for (COLORREF v : copySource.seen)
        ASSERT_NE(std::find(before.begin(), before.end(), v), before.end()) << std::hex << v;
}

TEST(ApplyFilter, ReadsTheDestinationAsItWasBeforeTheFirstStore)
{
    // A filter that copies the destination pixel to the left: with stores feeding later reads the first column
    // would run along the whole row.
    Surface src(32, 6, 1), dst(32, 6, 1, 1);
    std::vector<uint32_t> before = dst.Pixels();
    FilterProbe left{3, 1, {}, 0, 0};
    ASSERT_EQ(src.c.ApplyFilter(&dst.c, 1, 0, 1, 0, 4, 1, 3, 1, 1, 0, ProbeFilter, &left), 1);
    for (int x = 0; x < 6; x++) {
        uint32_t expected = x == 0 ? before[0] : before[x - 1];
        EXPECT_EQ(dst.Get(x, 0), expected) << x;
    }
}

TEST(ApplyFilter, RefusesWhatItCannotFilter)
{
    Surface src(16, 4, 4), dst(16, 4, 4, 1), deeper(24, 4, 4);
    FilterProbe probe{3, 3, {}, 4, 0};
    std::vector<uint32_t> before = dst.Pixels();
    EXPECT_EQ(src.c.ApplyFilter(&deeper.c, 0, 0, 0, 0, 4, 4, 3, 3, 1, 1, ProbeFilter, &probe), 0);
    EXPECT_EQ(src.c.ApplyFilter(nullptr, 0, 0, 0, 0, 4, 4, 3, 3, 1, 1, ProbeFilter, &probe), 0);
    EXPECT_EQ(src.c.ApplyFilter(&dst.c, 0, 0, 0, 0, 4, 4, 0, 3, 1, 1, ProbeFilter, &probe), 0);
    EXPECT_EQ(src.c.ApplyFilter(&dst.c, 0, 0, 0, 0, 4, 4, 3, 3, -1, 1, ProbeFilter, &probe), 0);
    EXPECT_EQ(src.c.ApplyFilter(&dst.c, 4, 0, 0, 0, 4, 4, 3, 3, 1, 1, ProbeFilter, &probe), 0);
    EXPECT_EQ(src.c.ApplyFilter(&dst.c, 0, 0, 0, 0, 4, 4, 3, 3, 1, 1, nullptr, nullptr), 0);
    EXPECT_EQ(src.c.ApplyFilter(&dst.c, 0, 0, 0, 0, 4, 4, 100000, 100000, 1, 1, ProbeFilter, &probe), 0);
    EXPECT_TRUE(probe.seen.empty());
    EXPECT_EQ(dst.Pixels(), before);
}

TEST(Blit, EdgeSmoothingSoftensOnlyPixelsJustOutsideTheShape)
{
    // Source: two opaque pixels touching corners, (2, 1) and (1, 2), on the transparent key. Copied onto black at
    // (1, 1), the pixels between them on either side take a sixth of the shape's colour: two neighbours of weight
    // 2 each, out of 24. A lone corner or a pixel with key on both sides along an axis stays black.
    Surface src(32, 4, 4), dst(32, 6, 6);
    const COLORREF key = RGB(8, 248, 8), shape = RGB(240, 120, 24);
    src.c.SetTransparentColour(key);
    src.Fill(key);
    src.Set(2, 1, shape);
    src.Set(1, 2, shape);
    dst.Fill(0);
    ASSERT_EQ(src.c.Blit(&dst.c, 1, 1, 0, 0, 4, 4, BLIT_TRANSPARENT, 0, 0, BLIT_SMOOTH_EDGES), 1);
    std::vector<uint32_t> expected(36, 0);
    expected[2 * 6 + 3] = shape;
    expected[3 * 6 + 2] = shape;
    expected[2 * 6 + 2] = RGB(40, 20, 4);  // source (1, 1)
    expected[3 * 6 + 3] = RGB(40, 20, 4);  // source (2, 2)
    EXPECT_EQ(dst.Pixels(), expected);

    // Without the flag only the shape is copied.
    Surface plain(32, 6, 6);
    plain.Fill(0);
    ASSERT_EQ(src.c.Blit(&plain.c, 1, 1, 0, 0, 4, 4, BLIT_TRANSPARENT, 0, 0, 0), 1);
    EXPECT_EQ(plain.Get(2, 2), 0u);
}

// --- ink effects and blits between formats ---
// These reach kernel slots 4, 6 and 11, which this library does not fill yet; they are disabled until it does.

struct InkCase {
    const char* what;
    int effect;
    unsigned long parameter;
    COLORREF source, destination, result;
};

TEST(Blit, InkEffectsCombineEachPixelWithTheDestination)
{
    const InkCase cases[] = {
        {"blend at half weight", 1, 64, RGB(200, 100, 0), RGB(0, 100, 200), RGB(100, 100, 100)},
        {"invert", 2, 0, RGB(0x0F, 0xF0, 0x55), RGB(1, 2, 3), RGB(0xF0, 0x0F, 0xAA)},
        {"xor", 3, 0, RGB(0x0F, 0xF0, 0x55), RGB(0xFF, 0xF0, 0x05), RGB(0xF0, 0x00, 0x50)},
        {"and", 4, 0, RGB(0x0F, 0xF0, 0x55), RGB(0xFF, 0xF0, 0x05), RGB(0x0F, 0xF0, 0x05)},
        {"or", 5, 0, RGB(0x0F, 0xF0, 0x55), RGB(0xFF, 0xF0, 0x05), RGB(0xFF, 0xF0, 0x55)},
        {"and not", 8, 0, RGB(0x0F, 0xF0, 0x55), RGB(0xFF, 0xF0, 0x05), RGB(0xF0, 0x00, 0x00)},
        {"add saturates", 9, 0, RGB(200, 10, 0), RGB(100, 20, 7), RGB(255, 30, 7)},
        {"grey", 10, 0, RGB(160, 32, 16), RGB(1, 2, 3), RGB(70, 70, 70)},
        {"subtract stops at 0", 11, 0, RGB(200, 10, 0), RGB(100, 20, 7), RGB(0, 10, 7)},
    };
    for (int mode = 0; mode < 2; mode++) {
        for (const InkCase& c : cases) {
            SCOPED_TRACE(testing::Message() << c.what << ", mode " << mode);
            Surface src(32, 2, 1), dst(32, 2, 1);
            const COLORREF key = RGB(8, 8, 8);
            src.c.SetTransparentColour(key);
            src.Set(0, 0, c.source);
            src.Set(1, 0, key);
            dst.Fill(c.destination);
            ASSERT_EQ(src.c.Blit(&dst.c, 0, 0, 0, 0, 2, 1, mode, c.effect, c.parameter, 0), 1);
            EXPECT_EQ(dst.Get(0, 0), (uint32_t)c.result);
            if (mode == 1) {
                EXPECT_EQ(dst.Get(1, 0), (uint32_t)c.destination) << "the key is skipped";
            }
        }
    }
}

TEST(Blit, BetweenFormatsPixelsAreConverted)
{
    // 24 to 16 bits drops the low bits; 16 to 32 keeps the 16-bit colour exactly.
    Surface deep(24, 3, 1), shallow(16, 3, 1), back(32, 3, 1);
    deep.Set(0, 0, RGB(255, 255, 255));
    deep.Set(1, 0, RGB(0x87, 0x43, 0x21));
    deep.Set(2, 0, 0);
    ASSERT_EQ(deep.c.Blit(&shallow.c, 0, 0, 0, 0, 3, 1, BLIT_OPAQUE, 0, 0, 0), 1);
    EXPECT_EQ(shallow.Pixels(), (std::vector<uint32_t>{0xF8FCF8, RGB(0x80, 0x40, 0x20), 0}));
    ASSERT_EQ(shallow.c.Blit(&back.c, 0, 0, 0, 0, 3, 1, BLIT_OPAQUE, 0, 0, 0), 1);
    EXPECT_EQ(back.Pixels(), shallow.Pixels());
    // 8 bits to 32: each index becomes its palette colour.
    Surface indexed(8, 2, 1), wide(32, 2, 1);
    indexed.Set(0, 0, 7);
    indexed.Set(1, 0, 200);
    ASSERT_EQ(indexed.c.Blit(&wide.c, 0, 0, 0, 0, 2, 1, BLIT_OPAQUE, 0, 0, 0), 1);
    EXPECT_EQ(wide.Get(0, 0), (uint32_t)indexed.c.IndexToColour(7));
    EXPECT_EQ(wide.Get(1, 0), (uint32_t)indexed.c.IndexToColour(200));
}

TEST(Blit, BetweenFormatsTheTransparentColourStillSkips)
{
    Surface deep(24, 3, 1), shallow(16, 3, 1, 1);
    deep.c.SetTransparentColour(RGB(248, 0, 248));
    deep.Set(0, 0, RGB(16, 32, 64));
    deep.Set(1, 0, RGB(248, 0, 248));
    deep.Set(2, 0, RGB(64, 32, 16));
    std::vector<uint32_t> before = shallow.Pixels();
    ASSERT_EQ(deep.c.Blit(&shallow.c, 0, 0, 0, 0, 3, 1, BLIT_TRANSPARENT, 0, 0, 0), 1);
    EXPECT_EQ(shallow.Pixels(), (std::vector<uint32_t>{RGB(16, 32, 64), before[1], RGB(64, 32, 16)}));
    // The alpha plane travels with an opaque copy between formats.
    ASSERT_NE(deep.c.CreateAlphaPlane(), nullptr);
    deep.c.GetAlphaPlane()[2] = 9;
    ASSERT_EQ(deep.c.Blit(&shallow.c, 0, 0, 0, 0, 3, 1, BLIT_OPAQUE, 0, 0, BLIT_COPY_ALPHA), 1);
    ASSERT_TRUE(shallow.c.HasAlphaPlane());
    EXPECT_EQ(shallow.c.GetAlphaPlane()[2], 9);
}

// --- whole-surface analyses ---

TEST(Analysis, IsBlankComparesWholePixelsOrTheAlphaPlane)
{
    for (int depth : kDepths) {
        SCOPED_TRACE(depth);
        Surface s(depth, 5, 3);
        uint32_t key = depth == 8 ? 3 : RGB(16, 32, 48);
        s.c.SetTransparentColour(depth == 8 ? 0x01000003 : key);
        s.Fill(key);
        EXPECT_EQ(s.c.IsBlank(), 1);
        s.Set(4, 2, depth == 8 ? 4 : RGB(16, 32, 56));
        EXPECT_EQ(s.c.IsBlank(), 0);
        // With a plane only the plane counts.
        ASSERT_NE(s.c.CreateAlphaPlane(), nullptr);
        EXPECT_EQ(s.c.IsBlank(), 1);
        s.c.GetAlphaPlane()[2 * s.c.GetAlphaRowStep() + 4] = 1;
        EXPECT_EQ(s.c.IsBlank(), 0);
    }
    Surface s(32, 2, 2);
    s.c.SetTransparentColour(0);
    s.Fill(0);
    PixelBytes(s.c, 1, 1)[3] = 0x80;
    s.c.Unlock();
    EXPECT_EQ(s.c.IsBlank(), 0) << "the fourth byte is part of the pixel";
    cCanvas empty;
    EXPECT_EQ(empty.IsBlank(), 0);
}

TEST(Analysis, ReplaceColourCoversTheWholeSurfaceWhateverTheClip)
{
    for (int depth : kDepths) {
        SCOPED_TRACE(depth);
        Surface s(depth, 4, 3);
        uint32_t old = depth == 8 ? 9 : RGB(64, 128, 192), fresh = depth == 8 ? 17 : RGB(8, 8, 248);
        s.Set(0, 0, old);
        s.Set(3, 2, old);
        s.Set(1, 1, old);
        std::vector<uint32_t> expected = s.Pixels();
        for (uint32_t& v : expected)
            if (v == old)
                v = fresh;
        s.c.SetClipRect(1, 1, 1, 1);
        COLORREF from = depth == 8 ? 0x01000000 | old : old, to = depth == 8 ? 0x01000000 | fresh : fresh;
        ASSERT_EQ(s.c.ReplaceColour(to, from), 1);
        s.c.ResetClipRect();
        EXPECT_EQ(s.Pixels(), expected);
    }
    cCanvas empty;
    EXPECT_EQ(empty.ReplaceColour(1, 2), 0);
}

struct ContentCase {
    const char* what;
    int w, h;
    std::vector<std::pair<int, int>> marks;  // pixels that differ from the key
    int result;
    RECT rect;
};

TEST(Analysis, ContentRectangleBoundsEveryCountingPixel)
{
    const ContentCase cases[] = {
        {"one pixel", 10, 10, {{3, 4}}, 1, {3, 4, 4, 5}},
        {"two corners", 10, 10, {{9, 0}, {0, 9}}, 1, {0, 0, 10, 10}},
        {"a column", 7, 5, {{6, 1}, {6, 3}}, 1, {6, 1, 7, 4}},
        {"nothing", 10, 10, {}, 1, {9, 9, 1, 1}},
        {"one row high", 5, 1, {{2, 0}}, 1, {2, 0, 3, 1}},
        {"too small", 2, 2, {{1, 1}}, 0, {-7, -7, -7, -7}},
    };
    for (int depth : kDepths) {
        for (bool alpha : {false, true}) {
            for (const ContentCase& c : cases) {
                SCOPED_TRACE(testing::Message() << depth << " bits, " << (alpha ? "alpha, " : "") << c.what);
                Surface s(depth, c.w, c.h);
                s.c.SetTransparentColour(0);  // native 0 in every format
                s.Fill(alpha ? s.Pattern(1, 1, 0) : 0);  // with a plane, pixel values do not count
                if (alpha) {
                    ASSERT_NE(s.c.CreateAlphaPlane(), nullptr);
                }
                for (auto m : c.marks) {
                    if (alpha)
                        s.c.GetAlphaPlane()[m.second * s.c.GetAlphaRowStep() + m.first] = 1;
                    else
                        s.Set(m.first, m.second, s.Pattern(m.first, m.second, 0));
                }
                RECT r = {-7, -7, -7, -7};
                ASSERT_EQ(s.c.GetContentRect(&r), c.result);
                EXPECT_EQ(r.left, c.rect.left);
                EXPECT_EQ(r.top, c.rect.top);
                EXPECT_EQ(r.right, c.rect.right);
                EXPECT_EQ(r.bottom, c.rect.bottom);
            }
        }
    }
}

TEST(Analysis, CropKeepsTheContentAndItsAlpha)
{
    for (int depth : kDepths) {
        SCOPED_TRACE(depth);
        Surface s(depth, 8, 6);
        s.c.SetTransparentColour(0);
        s.Fill(0);
        uint32_t a = s.Pattern(2, 1, 0), b = s.Pattern(5, 3, 0);
        s.Set(2, 1, a);
        s.Set(5, 3, b);
        ASSERT_NE(s.c.CreateAlphaPlane(), nullptr);
        s.c.GetAlphaPlane()[1 * s.c.GetAlphaRowStep() + 2] = 200;
        s.c.GetAlphaPlane()[3 * s.c.GetAlphaRowStep() + 5] = 100;
        s.c.SetPosition(3, 3);
        RECT r;
        ASSERT_EQ(s.c.CropToContent(&r), 1);
        EXPECT_EQ(r.left, 2);
        EXPECT_EQ(r.top, 1);
        EXPECT_EQ(r.right, 6);
        EXPECT_EQ(r.bottom, 4);
        EXPECT_EQ(s.c.GetWidth(), 4);
        EXPECT_EQ(s.c.GetHeight(), 3);
        s.c.SetPosition(0, 0);
        EXPECT_EQ(s.Get(0, 0), a);
        EXPECT_EQ(s.Get(3, 2), b);
        EXPECT_EQ(s.Get(1, 1), 0u);
        ASSERT_TRUE(s.c.HasAlphaPlane());
        EXPECT_EQ(s.c.GetAlphaPlane()[0], 200);
        EXPECT_EQ(s.c.GetAlphaPlane()[2 * s.c.GetAlphaRowStep() + 3], 100);
        // Now the content spans the whole surface: nothing more to crop.
        cSurfaceBackend* kept = GetBackend(&s.c);
        EXPECT_EQ(s.c.CropToContent(), 0);
        EXPECT_EQ(GetBackend(&s.c), kept);
    }
}

TEST(Analysis, CropRefusesBlankAndTinySurfaces)
{
    Surface blank(16, 6, 6);
    blank.c.SetTransparentColour(0);
    blank.Fill(0);
    cSurfaceBackend* kept = GetBackend(&blank.c);
    EXPECT_EQ(blank.c.CropToContent(), 0);
    EXPECT_EQ(GetBackend(&blank.c), kept);
    Surface tiny(16, 2, 2);
    EXPECT_EQ(tiny.c.CropToContent(), 0);
    cCanvas empty;
    EXPECT_EQ(empty.CropToContent(), 0);
}

// --- overlap of opaque pixels ---

struct OverlapCase {
    const char* what;
    int otherX, otherY, x, y, w, h;
    int result;
};

TEST(Analysis, OverlapsOpaqueFindsPixelsOpaqueInBothAndClipsToBoth)
{
    // This 6 x 5 surface is opaque only at (4, 3); the other 5 x 5 only at (1, 2).
    const OverlapCase cases[] = {
        {"aligned on the opaque pair", 0, 0, 3, 1, 2, 3, 1},
        {"the pair just missed", 0, 0, 3, 1, 1, 3, 0},
        {"whole surfaces, shifted", -3, -1, 0, 0, 6, 5, 1},
        {"shifted by one more", -2, -1, 0, 0, 6, 5, 0},
        {"reaching past both", -3, -1, 0, 0, 1000, 1000, 1},
        {"starting before both", -20, -20, -17, -19, 30, 30, 1},
        {"wholly outside", 10, 10, 0, 0, 3, 3, 0},
        {"empty", 1, 2, 4, 3, 0, 1, 0},
        {"huge sizes", 0, 0, 3, 1, INT_MAX, INT_MAX, 1},
    };
    for (int depth : {8, 16, 24, 32}) {
        for (const OverlapCase& c : cases) {
            SCOPED_TRACE(testing::Message() << depth << " bits, " << c.what);
            Surface a(depth, 6, 5), b(depth, 5, 5);
            // A key whose red and blue differ, so that a byte-order slip shows on 24-bit surfaces.
            COLORREF key = depth == 8 ? 0x01000005 : RGB(8, 16, 32);
            a.c.SetTransparentColour(key);
            b.c.SetTransparentColour(key);
            uint32_t keyValue = depth == 8 ? 5 : RGB(8, 16, 32);
            a.Fill(keyValue);
            b.Fill(keyValue);
            a.Set(4, 3, a.Pattern(4, 3, 0));
            b.Set(1, 2, b.Pattern(1, 2, 0));
            EXPECT_EQ(a.c.OverlapsOpaque(&b.c, c.otherX, c.otherY, c.x, c.y, c.w, c.h), c.result);
        }
    }
}

TEST(Analysis, OverlapsOpaqueCannotCompareOtherPixelSizes)
{
    Surface a(16, 4, 4), b(32, 4, 4);
    EXPECT_EQ(a.c.OverlapsOpaque(&b.c, 0, 0, 0, 0, 4, 4), 1);
    EXPECT_EQ(a.c.OverlapsOpaque(nullptr, 0, 0, 0, 0, 4, 4), 0);
}

// --- solid fills ---

// What a fill leaves, from the rule: every pixel of the rectangle cut to the clip rectangle takes the value, every
// other pixel keeps its own. Host positions: the canvas sits at (2, -1).
TEST(FillRect, FillsTheRectangleCutToTheClip)
{
    struct FillCase {
        const char* what;
        int x, y, w, h;
        int result;
    } cases[] = {
        {"inside", 5, 1, 3, 2, 1},
        {"over every edge of the clip", -5, -5, 40, 40, 1},
        {"one pixel at the clip's far corner", 8, 2, 1, 1, 1},
        {"just outside the clip", 9, 1, 2, 2, 0},
        {"zero width", 3, 1, 0, 2, 0},
        {"negative height", 3, 1, 2, -1, 0},
        {"far away", INT_MAX - 1, INT_MAX - 1, INT_MAX, INT_MAX, 0},
        {"huge, from far left", INT_MIN + 4, 1, INT_MAX, 2, 0},
        {"huge, reaching in from the left", INT_MIN + 10, 1, INT_MAX, 2, 1},
    };
    const int clipX = 2, clipY = 1, clipW = 5, clipH = 3;  // backend coordinates
    for (int depth : kDepths) {
        for (const FillCase& c : cases) {
            SCOPED_TRACE(testing::Message() << depth << " bits, " << c.what);
            Surface s(depth, 9, 6);
            std::vector<uint32_t> before = s.Pixels();
            s.c.SetPosition(2, -1);
            s.c.SetClipRect(clipX + 2, clipY - 1, clipW, clipH);
            COLORREF colour = depth == 8 ? 0x01000009 : RGB(0x18, 0xA8, 0xE0);
            uint32_t stored = depth == 8 ? 9 : colour;
            EXPECT_EQ(s.c.FillRect(c.x, c.y, c.w, c.h, colour), c.result);
            s.c.ResetClipRect();  // pixels are read through the clip
            long long left = std::max<long long>((long long)c.x - 2, clipX);
            long long top = std::max<long long>((long long)c.y + 1, clipY);
            long long right = std::min<long long>((long long)c.x - 2 + c.w, clipX + clipW);
            long long bottom = std::min<long long>((long long)c.y + 1 + c.h, clipY + clipH);
            for (int y = 0; y < 6; y++)
                for (int x = 0; x < 9; x++) {
                    bool filled = x >= left && x < right && y >= top && y < bottom;
                    ASSERT_EQ(s.Get(x, y), filled ? stored : before[y * 9 + x]) << x << "," << y;
                }
        }
    }
}

// On 8-bit surfaces an RGB colour fills with its nearest palette entry.
TEST(FillRect, EightBitSurfacesTakeTheNearestEntry)
{
    Surface s(8, 4, 4);
    SharedPalette* palette = s.c.GetPalette();
    ASSERT_NE(palette, nullptr);
    PALETTEENTRY e = palette->entries[77];
    COLORREF colour = RGB(e.peRed, e.peGreen, e.peBlue);
    EXPECT_EQ(s.c.FillRect(0, 0, 4, 4, colour), 1);
    EXPECT_EQ(s.Get(3, 3), (uint32_t)FindNearestIndex(palette, colour));
    EXPECT_EQ(s.c.FillRect(0, 0, 4, 4, 0), 1);
    EXPECT_EQ(s.Get(0, 0), 0u) << "black is index 0";
    cCanvas empty;
    EXPECT_EQ(empty.FillRect(0, 0, 4, 4, 0), 0);
}

// --- mirrors and rotations of memory surfaces, as a host reaches them (the rules in detail: test_rotate) ---

uint32_t RawPixel(cCanvas& c, int x, int y)
{
    unsigned long v = 0xDEADBEEF;
    EXPECT_TRUE(GetBackend(&c)->GetPixelRaw(x, y, &v)) << x << "," << y;
    return (uint32_t)v;
}

TEST(MirrorAndRotate, MemorySurfacesOfEveryDepth)
{
    for (int depth : kDepths) {
        SCOPED_TRACE(testing::Message() << depth << " bits");
        Surface src(depth, 3, 2);
        std::vector<uint32_t> before = src.Pixels();
        EXPECT_EQ(src.c.MirrorHorizontalAll(), 1);
        EXPECT_EQ(src.c.MirrorVerticalAll(), 1);
        for (int y = 0; y < 2; y++)
            for (int x = 0; x < 3; x++)
                EXPECT_EQ(src.Get(x, y), before[(size_t)(1 - y) * 3 + 2 - x]) << x << "," << y;

        // A quarter turn counter-clockwise puts (x, y) at (y, 2 - x); a clockwise one brings it back.
        cCanvas turned, back;
        ASSERT_EQ(src.c.CreateRotated(&turned, 90, 0, 0), 1);
        ASSERT_EQ(turned.GetWidth(), 2);
        ASSERT_EQ(turned.GetHeight(), 3);
        for (int y = 0; y < 2; y++)
            for (int x = 0; x < 3; x++)
                EXPECT_EQ(RawPixel(turned, y, 2 - x), src.Get(x, y)) << x << "," << y;
        ASSERT_TRUE(back.CreateLike(3, 2, &src.c));
        EXPECT_EQ(turned.RotateTo(&back, -90, 0, 0, 0), 1);
        for (int y = 0; y < 2; y++)
            for (int x = 0; x < 3; x++)
                EXPECT_EQ(RawPixel(back, x, y), src.Get(x, y)) << x << "," << y;
    }
    int w = 100, h = 50;
    GetRotatedSize(&w, &h, 45);
    EXPECT_EQ(w, 106);
    EXPECT_EQ(h, 105);
}

}  // namespace
