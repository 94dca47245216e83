// The backend base class on a real object: a small test backend over its own pixel memory, with its own pixel
// kernels, shows the descriptor layout, the raw virtual-table slots, and the base class's clipping and locking.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "frame/frame.h"
#include "kernels/kernel_set.h"
#include "surface/backend.h"
#include "surface/surface_size.h"

using namespace kx;

namespace {

void SetPixel32(SurfaceDesc* d, int x, int y, COLORREF c)
{
    *(uint32_t*)(d->rowZero + y * d->rowStep + x * d->bytesPerPixel) = c | 0xAA000000u;
}

unsigned long GetPixel32(SurfaceDesc* d, int x, int y)
{
    return *(uint32_t*)(d->rowZero + y * d->rowStep + x * d->bytesPerPixel) & 0xFFFFFFu;
}

const BlitKernelSet kTestKernels = [] {
    BlitKernelSet k{};
    k.setPixel = SetPixel32;
    k.getPixel = GetPixel32;
    return k;
}();

int g_destroyed = 0;

// Pixels either addressable all the time (like memory) or reachable only between Lock and Unlock (like a display
// surface); the lock can be told to fail.
class TestSurface : public cSurfaceBackend {
public:
    TestSurface(int w, int h, bool displayLike) : displayLike_(displayLike), pixels_((size_t)w * h)
    {
        SetDepth(32);
        d.kernels = &kTestKernels;
        d.width = w;
        d.height = h;
        d.pitch = w * 4;
        d.rowStep = -d.pitch;  // bottom-up, to show that rowStep is honoured
        d.bottomUp = 1;
        d.rowZero = (unsigned char*)pixels_.data() + (size_t)(h - 1) * d.pitch;
        if (!displayLike)
            d.pixelBlock = (unsigned char*)pixels_.data();
        ResetClipRect();
    }
    ~TestSurface() { g_destroyed++; }
    void Destroy(unsigned flags) override { DestroyBackend(this, flags); }
    cSurfaceBackend* MakeInstance(int w, int h) override { return New<TestSurface>(w, h, displayLike_); }
    int GetKind() override { return 42; }
    int Lock() override
    {
        if (!displayLike_)
            return cSurfaceBackend::Lock();
        if (lockFails)
            return 0;
        locks++;
        d.pixelBlock = (unsigned char*)pixels_.data();
        return 1;
    }
    void Unlock() override
    {
        if (displayLike_) {
            unlocks++;
            d.pixelBlock = nullptr;
        }
    }
    uint32_t At(int x, int y) const { return pixels_[(size_t)(d.height - 1 - y) * d.width + x]; }

    bool lockFails = false;
    int locks = 0, unlocks = 0;

private:
    bool displayLike_;
    std::vector<uint32_t> pixels_;
};

// Record layouts are promised for the 32-bit build; a 64-bit test build checks behaviour only.
#if KX_ABI32
TEST(BackendBase, DescriptorFollowsTheVtablePointerFieldByField)
{
    TestSurface s(7, 5, false);
    const uint32_t* words = reinterpret_cast<const uint32_t*>(&s);
    EXPECT_EQ(sizeof(cSurfaceBackend), 4u + 23 * 4);
    EXPECT_EQ((void*)&s.d, (void*)(words + 1));
    s.SetClipRect(1, 2, 3, 2);
    EXPECT_EQ(words[1], 7u);   // width
    EXPECT_EQ(words[2], 5u);   // height
    EXPECT_EQ(words[3], 1u);   // clipLeft
    EXPECT_EQ(words[4], 2u);   // clipTop
    EXPECT_EQ(words[5], 4u);   // clipRight
    EXPECT_EQ(words[6], 4u);   // clipBottom
    EXPECT_EQ(words[7], 32u);  // depth
    EXPECT_EQ(words[8], 4u);   // formatIndex
    EXPECT_EQ(words[15], 28u); // pitch
    EXPECT_EQ((int32_t)words[16], -28); // rowStep
    EXPECT_EQ(words[17], 4u);  // bytesPerPixel
    EXPECT_EQ(words[18], 1u);  // bottomUp
    EXPECT_EQ(words[23], (uint32_t)(uintptr_t)&kTestKernels);
}
#endif

TEST(BackendBase, ConstructorCopiesTheProcessorWordIntoFlags)
{
    uint32_t saved = g_process.cpuFeatures;
    g_process.cpuFeatures = CPU_MMX | CPU_SSE | 0x300;  // only the low byte is copied
    TestSurface s(1, 1, false);
    g_process.cpuFeatures = saved;
    EXPECT_EQ(s.d.flags, (unsigned long)(CPU_MMX | CPU_SSE));
}

// Calls slots through the raw table the way a host compiled by another compiler does: slot 0 is the deleting
// destructor with a flags argument, and the slot numbers are exactly the interface's.
TEST(BackendBase, RawVtableSlotsReachTheOverrides)
{
    typedef int(KX_THISCALL * IntFn)(void*);
    typedef void(KX_THISCALL * DestroyFn)(void*, unsigned);
    typedef void(KX_THISCALL * ClipFn)(void*, int, int, int, int);
    typedef int(KX_THISCALL * ScanFn)(void*);
    TestSurface* s = New<TestSurface>(10, 10, false);
    ASSERT_NE(s, nullptr);
    void** vtable = *reinterpret_cast<void***>(s);
    EXPECT_EQ(((IntFn)vtable[13])(s), 42) << "GetKind";
    EXPECT_EQ(((ScanFn)vtable[9])(s), -1) << "GetScanLine (base)";
    EXPECT_EQ(((IntFn)vtable[18])(s), 1) << "Lock (slot 18)";
    ((ClipFn)vtable[24])(s, 2, 3, 4, 5);
    EXPECT_EQ(s->d.clipLeft, 2);
    EXPECT_EQ(s->d.clipBottom, 8);
    int before = g_destroyed;
    ((DestroyFn)vtable[0])(s, 1);
    EXPECT_EQ(g_destroyed, before + 1);

    // The empty backend's table answers the same slots its own way.
    cSurfaceBackend* empty = EmptyBackend();
    void** emptyTable = *reinterpret_cast<void***>(empty);
    EXPECT_EQ(((IntFn)emptyTable[13])(empty), 1);
    EXPECT_EQ(((ScanFn)emptyTable[9])(empty), 0);
    EXPECT_EQ(((IntFn)emptyTable[18])(empty), 0);
    ((DestroyFn)emptyTable[0])(empty, 1);  // never destroyed
    EXPECT_EQ(((IntFn)emptyTable[13])(empty), 1);
}

struct ClipCase {
    int x, y, w, h;
    int left, top, right, bottom;
};

TEST(BackendBase, SetClipRectClampsToTheSurface)
{
    const ClipCase cases[] = {
        {-5, -5, 20, 20, 0, 0, 10, 10},
        {2, 3, 4, 5, 2, 3, 6, 8},
        {8, 8, 10, 10, 8, 8, 10, 10},
        {20, 20, 5, 5, 20, 20, 10, 10},      // beyond the surface: empty
        {3, 3, -2, 0, 3, 3, 1, 3},           // negative size: empty
        {0x7FFFFFF0, 0, 0x7FFFFFF0, 1, 0x7FFFFFF0, 0, 10, 1},  // no wrap-around into the surface
        {-0x7FFFFFF0, 0, 5, 5, 0, 0, -0x7FFFFFEB, 5},
    };
    TestSurface s(10, 10, false);
    for (const ClipCase& c : cases) {
        s.SetClipRect(c.x, c.y, c.w, c.h);
        EXPECT_EQ(s.d.clipLeft, c.left) << c.x << "," << c.y << "," << c.w << "," << c.h;
        EXPECT_EQ(s.d.clipTop, c.top);
        EXPECT_EQ(s.d.clipRight, c.right);
        EXPECT_EQ(s.d.clipBottom, c.bottom);
        int x, y, w, h;
        s.GetClipRect(&x, &y, &w, &h);
        EXPECT_EQ(w, c.right - c.left);
        EXPECT_EQ(h, c.bottom - c.top);
    }
    s.ResetClipRect();
    EXPECT_EQ(s.d.clipRight, 10);
    EXPECT_EQ(s.d.clipBottom, 10);
}

TEST(BackendBase, PixelsInsideTheClipOnlyThroughACanvasAtAnOrigin)
{
    cCanvas c;
    TestSurface* s = New<TestSurface>(10, 10, false);
    AttachBackend(&c, s);
    c.SetPosition(10, 20);
    c.SetPixel(10, 20, RGB(1, 2, 3));  // backend (0, 0)
    EXPECT_EQ(s->At(0, 0), 0xAA030201u);
    c.SetClipRect(12, 22, 3, 3);       // backend (2, 2)..(5, 5)
    c.SetPixel(11, 21, RGB(9, 9, 9));  // backend (1, 1): outside
    EXPECT_EQ(s->At(1, 1), 0u);
    c.SetPixelRGB(14, 24, 0x1FF, 0x102, 0x203);  // each component's low byte
    EXPECT_EQ(s->At(4, 4) & 0xFFFFFF, 0x0302FFu);
    COLORREF colour = 0;
    EXPECT_EQ(c.GetPixel(14, 24, &colour), 1);
    EXPECT_EQ(colour, 0x0302FFu);
    EXPECT_EQ(c.GetPixel(10, 20, &colour), 0) << "outside the clip";
    unsigned char r, g, b;
    EXPECT_EQ(c.GetPixelRGB(14, 24, &r, &g, &b), 1);
    EXPECT_EQ(r, 0xFF);
    EXPECT_EQ(g, 0x02);
    EXPECT_EQ(b, 0x03);
    c.SetPixelIndex(13, 23, 0x1234);   // low byte at the pixel's first byte
    EXPECT_EQ(s->At(3, 3) & 0xFF, 0x34u);

    int x, y, w, h;
    c.GetClipRect(&x, &y, &w, &h);
    EXPECT_EQ(x, 12);
    EXPECT_EQ(y, 22);
    EXPECT_EQ(w, 3);

    // Fast access takes backend coordinates and ignores the clip.
    c.SetPixelFast(0, 9, RGB(0x11, 0x22, 0x33));
    EXPECT_EQ(s->At(0, 9), 0x112233u) << "fourth byte kept (it was 0)";
    EXPECT_EQ(c.GetPixelFast(0, 9), (COLORREF)RGB(0x11, 0x22, 0x33));
    EXPECT_EQ(c.GetPixelIndexFast(0, 9), 0) << "not an 8-bit surface";
    EXPECT_EQ(c.Lock(), s->d.rowZero);
    EXPECT_EQ(c.GetRowStep(), -40);
}

TEST(BackendBase, DisplayLikeSurfacesAreLockedAroundEachPixelAndNothingHappensWhenTheLockFails)
{
    TestSurface s(4, 4, true);
    s.SetPixel(1, 1, RGB(5, 6, 7));
    EXPECT_EQ(s.locks, 1);
    EXPECT_EQ(s.unlocks, 1);
    EXPECT_EQ(s.At(1, 1) & 0xFFFFFF, (uint32_t)RGB(5, 6, 7));
    s.SetPixelIndex(2, 2, 9);
    EXPECT_EQ(s.locks, 2);
    EXPECT_EQ(s.unlocks, 2);

    s.lockFails = true;
    s.SetPixel(0, 0, RGB(1, 1, 1));
    s.SetPixelIndex(0, 0, 1);
    unsigned long raw = 99;
    EXPECT_EQ(s.GetPixelRaw(1, 1, &raw), 0);
    EXPECT_EQ(raw, 99u);
    EXPECT_EQ(s.At(0, 0), 0u);
    EXPECT_EQ(s.unlocks, 2) << "no Unlock without a Lock";
}

TEST(BackendBase, CanvasOwnsItsBackend)
{
    int before = g_destroyed;
    {
        cCanvas c;
        AttachBackend(&c, New<TestSurface>(2, 2, false));
        EXPECT_TRUE(c.IsValid());
        EXPECT_EQ(c.GetWidth(), 2);
        EXPECT_EQ(c.GetDepth(), 32);
        EXPECT_EQ(c.GetDeviceClass(), 0);
        AttachBackend(&c, New<TestSurface>(3, 3, false));  // the first one is destroyed
        EXPECT_EQ(g_destroyed, before + 1);

        // CreateLike clones the prototype's class with sizes of at least 1.
        cCanvas d;
        EXPECT_EQ(d.CreateLike(0, -5, &c), 1);
        EXPECT_EQ(d.GetWidth(), 1);
        EXPECT_EQ(d.GetHeight(), 1);
        EXPECT_EQ(d.GetError(), 0u);
    }
    EXPECT_EQ(g_destroyed, before + 3);
}

// --- the blit slots over locks that fail, bottom-up rows and planes that cannot be had ---

// A 32-bit pixel as the library's kernels store it: 0x00RRGGBB.
uint32_t Stored(int r, int g, int b) { return (uint32_t)(r << 16 | g << 8 | b); }

COLORREF __stdcall KeepSource(COLORREF, COLORREF source, void*) { return source; }
COLORREF __cdecl KeepCentre(COLORREF* destination, COLORREF*, void*) { return destination[4]; }

// Two bottom-up surfaces with the library's 32-bit kernels; the source holds a pattern.
struct LockPair {
    TestSurface src{4, 4, true}, dst{4, 4, true};
    LockPair()
    {
        src.d.kernels = dst.d.kernels = StandardKernels(FORMAT_32);
        for (int y = 0; y < 4; y++)
            for (int x = 0; x < 4; x++)
                src.SetPixel(x, y, RGB(16 * x + 8, 16 * y + 8, 99));
        src.locks = src.unlocks = 0;
    }
};

TEST(BackendBase, BlitSlotsDoNoPixelWorkWhenALockFails)
{
    struct Case {
        const char* what;
        std::function<int(LockPair&)> call;
    } cases[] = {
        {"Blit", [](LockPair& p) { return p.src.Blit(&p.dst, 0, 0, 0, 0, 4, 4, 0, 0, 0, 0); }},
        {"transparent Blit", [](LockPair& p) { return p.src.Blit(&p.dst, 0, 0, 0, 0, 4, 4, 1, 0, 0, 0); }},
        {"smoothing Blit", [](LockPair& p) { return p.src.Blit(&p.dst, 0, 0, 0, 0, 4, 4, 1, 0, 0, 1); }},
        {"Blit with alpha", [](LockPair& p) { return p.src.Blit(&p.dst, 0, 0, 0, 0, 4, 4, 0, 0, 0, 2); }},
        {"BlitCallback",
         [](LockPair& p) { return p.src.BlitCallback(&p.dst, 0, 0, 0, 0, 4, 4, 0, KeepSource, nullptr); }},
        {"ApplyFilter",
         [](LockPair& p) {
             return p.src.ApplyFilter(&p.dst, 0, 0, 0, 0, 4, 4, 3, 3, 1, 1, 1, 1, KeepCentre, nullptr);
         }},
        {"MoveRect", [](LockPair& p) { return p.dst.MoveRect(0, 0, 1, 1, 2, 2); }},
        {"IsBlank", [](LockPair& p) { return p.dst.IsBlank(); }},
        {"ReplaceColour", [](LockPair& p) { return p.dst.ReplaceColour(RGB(1, 1, 1), 0); }},
        {"GetContentRect",
         [](LockPair& p) {
             RECT r;
             return p.dst.GetContentRect(&r);
         }},
        {"Blit from the failing surface", [](LockPair& p) { return p.dst.Blit(&p.src, 0, 0, 0, 0, 4, 4, 0, 0, 0, 0); }},
    };
    for (const Case& c : cases) {
        LockPair p;
        p.dst.lockFails = true;
        EXPECT_EQ(c.call(p), 0) << c.what;
        for (int y = 0; y < 4; y++)
            for (int x = 0; x < 4; x++) {
                ASSERT_EQ(p.dst.At(x, y), 0u) << c.what;
                ASSERT_EQ(p.src.At(x, y) & 0xFFFFFF, Stored(16 * x + 8, 16 * y + 8, 99)) << c.what;
            }
        EXPECT_EQ(p.src.locks, p.src.unlocks) << c.what;
        EXPECT_EQ(p.dst.unlocks, 0) << c.what;
    }
}

TEST(BackendBase, BlitsOverBottomUpRowsUnlockWhatTheyLocked)
{
    LockPair p;
    ASSERT_EQ(p.src.Blit(&p.dst, 1, 0, 0, 1, 3, 3, 0, 0, 0, 0), 1);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++) {
            uint32_t expected = x >= 1 && y < 3 ? Stored(16 * (x - 1) + 8, 16 * (y + 1) + 8, 99) : 0;
            EXPECT_EQ(p.dst.At(x, y) & 0xFFFFFF, expected) << x << "," << y;
        }
    EXPECT_GT(p.src.locks, 0);
    EXPECT_EQ(p.src.locks, p.src.unlocks);
    EXPECT_EQ(p.dst.locks, p.dst.unlocks);

    // A move down and right inside bottom-up rows, read before written.
    ASSERT_EQ(p.src.MoveRect(0, 0, 1, 1, 3, 3), 1);
    for (int y = 1; y < 4; y++)
        for (int x = 1; x < 4; x++)
            EXPECT_EQ(p.src.At(x, y) & 0xFFFFFF, Stored(16 * (x - 1) + 8, 16 * (y - 1) + 8, 99));
    EXPECT_EQ(p.src.locks, p.src.unlocks);
}

TEST(BackendBase, AlphaPlaneThatCannotBeMadeIsSkipped)
{
    LockPair p;
    ASSERT_NE(NewAlphaPlane(p.src.d), nullptr);
    memset(p.src.d.alphaRowZero, 0x55, (size_t)p.src.d.alphaPitch * 4);
    // A destination that claims a size whose plane would need more than 2 GiB; its clip stays on its pixels.
    p.dst.d.width = p.dst.d.height = 0x10000;
    EXPECT_EQ(p.src.Blit(&p.dst, 0, 0, 0, 0, 4, 4, 0, 0, 0, BLIT_COPY_ALPHA), 1);
    EXPECT_EQ(p.dst.d.alphaRowZero, nullptr);
    p.dst.d.width = p.dst.d.height = 4;
    EXPECT_EQ(p.dst.At(3, 3) & 0xFFFFFF, Stored(56, 56, 99)) << "the pixels are still copied";
}

struct SizeCase {
    int width, height, bits, align;
    bool ok;
    int pitch;
    uint32_t bytes;
};

// Every backend sizes its pixel memory here: sizes that would wrap 32 bits, and sizes that are not positive, fail
// instead of allocating a short block.
TEST(SurfaceSize, CheckedPitchAndBytes)
{
    const SizeCase cases[] = {
        {1, 1, 8, 4, true, 4, 4},
        {3, 2, 24, 4, true, 12, 24},       // 9 bytes padded to 12
        {5, 1, 16, 4, true, 12, 12},       // 10 bytes padded to 12
        {7, 3, 1, 4, true, 4, 12},         // 1-bit rows
        {640, 480, 32, 4, true, 2560, 1228800},
        {100, 10, 8, 1, true, 100, 1000},
        {0, 10, 8, 4, false, 0, 0},
        {10, -1, 8, 4, false, 0, 0},
        {10, 10, 0, 4, false, 0, 0},
        {10, 10, 8, 3, false, 0, 0},       // alignment not a power of two
        {65536, 65536, 32, 4, false, 0, 0},   // 16 GiB
        {0x40000000, 1, 32, 4, false, 0, 0},  // the pitch alone overflows
        {46341, 46341, 8, 4, false, 0, 0},    // just over 2^31 bytes
        {46340, 46340, 8, 4, true, 46340, 46340u * 46340u},
    };
    for (const SizeCase& c : cases) {
        SurfaceSize size = {-1, 7};
        EXPECT_EQ(ComputeSurfaceSize(c.width, c.height, c.bits, c.align, &size), c.ok)
            << c.width << "x" << c.height << "x" << c.bits << " align " << c.align;
        if (c.ok) {
            EXPECT_EQ(size.pitch, c.pitch) << c.width << "x" << c.height << "x" << c.bits;
            EXPECT_EQ(size.bytes, c.bytes) << c.width << "x" << c.height << "x" << c.bits;
        }
    }
}

}  // namespace
