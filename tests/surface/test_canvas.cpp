// Canvases as a host sees them through the import library: lifetime, the empty backend, geometry, position,
// clipping and prototypes.
#include <gtest/gtest.h>

#include "kalvex2/canvas.h"
#include "kalvex2/frame.h"

namespace {

int __stdcall CountModes(DisplayModeRecord*, void* user)
{
    ++*static_cast<int*>(user);
    return 1;
}

// Record layouts are promised for the 32-bit build; a 64-bit test build checks behaviour only.
#if KX_ABI32
TEST(Canvas, LayoutIsFourWordsInOrder)
{
    cCanvas c;
    c.SetPosition(-7, 9);
    const int* words = reinterpret_cast<const int*>(&c);
    EXPECT_EQ(sizeof(cCanvas), 16u);
    EXPECT_EQ(reinterpret_cast<cSurfaceBackend*>(words[0]), GetBackend(&c));
    EXPECT_EQ(words[1], -7);
    EXPECT_EQ(words[2], 9);
    EXPECT_EQ(words[3], 0);
}
#endif

TEST(Canvas, NewCanvasIsEmptyAndEveryOperationFailsQuietly)
{
    cCanvas* c = NewCanvas();
    ASSERT_NE(c, nullptr);
    EXPECT_FALSE(c->IsValid());
    EXPECT_EQ(c->GetError(), 0u);

    int w = -1, h = -1, depth = -1;
    EXPECT_EQ(c->GetInfo(&w, &h, &depth), 0);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(depth, 0);
    EXPECT_EQ(c->GetWidth(), 0);
    EXPECT_EQ(c->GetHeight(), 0);
    EXPECT_EQ(c->GetDepth(), 0);
    EXPECT_EQ(c->IsPalettised(), 1);  // depth 0 counts as palettised
    EXPECT_EQ(c->GetDeviceClass(), 0);
    EXPECT_EQ(c->GetDirectDrawClass(), 0);
    EXPECT_EQ(c->GetDeviceInfo(nullptr), 0);
    EXPECT_EQ(c->GetRowStep(), 0);
    EXPECT_EQ(c->Lock(), nullptr);
    c->Unlock();

    // Clip rectangle outputs are left as they were on the empty backend; only the origin is added.
    c->SetPosition(3, 4);
    int x = 100, y = 200, cw = 300, ch = 400;
    c->SetClipRect(0, 0, 50, 50);
    c->GetClipRect(&x, &y, &cw, &ch);
    EXPECT_EQ(x, 103);
    EXPECT_EQ(y, 204);
    EXPECT_EQ(cw, 300);
    EXPECT_EQ(ch, 400);
    c->ResetClipRect();

    COLORREF colour = 0x123456;
    unsigned long raw = 77;
    unsigned char r = 1, g = 2, b = 3;
    c->SetPixel(3, 4, RGB(1, 2, 3));
    c->SetPixelRGB(3, 4, 1, 2, 3);
    c->SetPixelIndex(3, 4, 5);
    EXPECT_EQ(c->GetPixel(3, 4, &colour), 0);
    EXPECT_EQ(colour, 0x123456u);
    EXPECT_EQ(c->GetPixelRaw(3, 4, &raw), 0);
    EXPECT_EQ(raw, 77u);
    EXPECT_EQ(c->GetPixelRGB(3, 4, &r, &g, &b), 0);
    EXPECT_EQ(r + g + b, 6);

    EXPECT_EQ(c->GetDC(), nullptr);
    c->ReleaseDC(nullptr);
    EXPECT_EQ(c->SetDisplayMode(nullptr, 640, 480, 16), 0);
    c->RestoreDisplayMode(nullptr);
    EXPECT_EQ(c->IsScreenInstance(), 0);
    EXPECT_EQ(c->WaitVerticalBlank(), 0);
    EXPECT_EQ(c->AttachWindow(nullptr), 0);
    c->RestoreSurface();
    c->Reserved1();
    c->Reserved2();
    c->Reserved3();
    int calls = 0;
    c->EnumDisplayModes(CountModes, &calls);
    EXPECT_EQ(calls, 0);

    c->Release();  // nothing to release
    EXPECT_FALSE(c->IsValid());
    EXPECT_EQ(c->GetError(), 0u);
    DeleteCanvas(c);
    DeleteCanvas(nullptr);
}

TEST(Canvas, PositionIsKeptAndMovedWithoutABackend)
{
    cCanvas c;
    int xy[2] = {-1, -1}, x = -1, y = -1;
    c.SetPosition(10, 20);
    c.GetPosition(xy);
    EXPECT_EQ(xy[0], 10);
    EXPECT_EQ(xy[1], 20);
    c.MoveBy(-15, 5);
    c.GetPositionXY(&x, &y);
    EXPECT_EQ(x, -5);
    EXPECT_EQ(y, 25);
    ReleaseCanvas(&c);
    c.GetPositionXY(&x, &y);
    EXPECT_EQ(x, -5) << "the origin survives Release";
}

TEST(Canvas, CreationFromAnEmptyPrototypeFailsWithNoMemory)
{
    cCanvas empty, c;
    c.lastError = 0;
    EXPECT_EQ(c.CreateLike(0, -5, &empty), 0);
    EXPECT_EQ(c.GetError(), (unsigned long)ERR_NO_MEMORY);
    EXPECT_FALSE(c.IsValid());

    // A copy of an empty canvas is empty and does not report an error.
    cCanvas d;
    d.CreateCopy(&empty, -1, -1);
    EXPECT_FALSE(d.IsValid());
    EXPECT_EQ(d.GetError(), 0u);
    cCanvas copied(empty);
    EXPECT_FALSE(copied.IsValid());

    // No DirectDraw display mode is in force: the screen canvas stays empty and lastError is cleared.
    c.lastError = ERR_OPEN;
    EXPECT_EQ(c.CreateScreen(), 0);
    EXPECT_EQ(c.GetError(), 0u);
}

TEST(Canvas, AttachBackendOfNullLeavesTheCanvasEmpty)
{
    cCanvas c;
    EXPECT_EQ(AttachBackend(&c, nullptr), nullptr);
    EXPECT_FALSE(c.IsValid());
    EXPECT_NE(GetBackend(&c), nullptr) << "an unset canvas points at the empty backend, never at null";
}

TEST(Canvas, EveryEmptyCanvasSharesTheOneEmptyBackend)
{
    cCanvas a, b;
    cCanvas* c = NewCanvas();
    EXPECT_EQ(GetBackend(&a), GetBackend(&b));
    EXPECT_EQ(GetBackend(&a), GetBackend(c));
    DeleteCanvas(c);
    // The empty backend has every descriptor field 0.
    const SurfaceDesc& d = GetBackend(&a)->d;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&d);
    for (size_t i = 0; i < sizeof d; i++)
        EXPECT_EQ(bytes[i], 0) << "descriptor byte " << i;
}

struct PrototypeCase {
    int depth, type, mode;
    int result;
    int sameAsDepth, sameAsType, sameAsMode;  // the request whose prototype this one must be (or type -1: null)
};

TEST(Canvas, GetPrototypeChoosesByTypeModeAndNormalisedDepth)
{
    const PrototypeCase cases[] = {
        {15, 0, 0, 1, 15, 0, 0},
        {14, 0, 0, 0, 15, 0, 0},   // 9..15 give the 15-bit prototype, exact only for 15
        {12, 0, 0, 0, 15, 0, 0},
        {8, 0, 0, 1, 8, 0, 0},
        {4, 0, 0, 0, 8, 0, 0},
        {1, 0, 0, 0, 8, 0, 0},
        {16, 0, 0, 1, 16, 0, 0},
        {20, 0, 0, 0, 24, 0, 0},
        {24, 0, 0, 1, 24, 0, 0},
        {32, 0, 0, 1, 32, 0, 0},
        {40, 0, 0, 0, 32, 0, 0},
        {16, 1, 0, 1, 16, 3, 0},   // types 1 and 3 share the DIB set
        {16, 2, 0, 1, 16, 2, 0},
        {16, 2, 7, 1, 16, 2, 0},   // other modes: the kept-DC DIB set
        {16, 1, 7, 1, 16, 2, 0},
        {16, 3, 1, 1, 16, 2, 0},
        {16, 1, 2, 1, 16, 2, 0},   // DirectDraw not usable here yet: the kept-DC DIB set
        {16, 4, 0, 0, 0, -1, 0},
        {16, -1, 0, 0, 0, -1, 0},
    };
    for (const PrototypeCase& c : cases) {
        cCanvas* out = reinterpret_cast<cCanvas*>(1);
        int result = GetPrototype(&out, c.depth, c.type, c.mode);
        EXPECT_EQ(result, c.result) << c.depth << "/" << c.type << "/" << c.mode;
        if (c.sameAsType < 0) {
            EXPECT_EQ(out, nullptr);
            continue;
        }
        cCanvas* expected = nullptr;
        GetPrototype(&expected, c.sameAsDepth, c.sameAsType, c.sameAsMode);
        EXPECT_NE(out, nullptr);
        EXPECT_EQ(out, expected) << c.depth << "/" << c.type << "/" << c.mode;
    }
    // The sets are distinct canvases.
    cCanvas *memory8, *memory15, *dib8, *kept8;
    GetPrototype(&memory8, 8, 0, 0);
    GetPrototype(&memory15, 15, 0, 0);
    GetPrototype(&dib8, 8, 1, 0);
    GetPrototype(&kept8, 8, 2, 0);
    EXPECT_NE(memory8, memory15);
    EXPECT_NE(memory8, dib8);
    EXPECT_NE(dib8, kept8);
}

TEST(Canvas, CopyDisplayStateNeedsTheSameDeviceClasses)
{
    // Both empty: same classes, so the call reaches the (empty) backend and does nothing.
    cCanvas a, b;
    a.CopyDisplayState(&b);
    EXPECT_FALSE(a.IsValid());
}

TEST(Canvas, ClipDCIntersectsWithTheCanvasClipAndUnclipRestores)
{
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, 64, 64);
    HGDIOBJ old = SelectObject(dc, bitmap);

    cCanvas c;  // empty: its clip rectangle reads as (0, 0, 0, 0) plus the origin
    c.SetPosition(5, 6);
    HRGN saved = c.ClipDC(dc);
    EXPECT_EQ(saved, nullptr) << "the context had no clip region";
    RECT box;
    EXPECT_EQ(GetClipBox(dc, &box), NULLREGION);
    c.UnclipDC(dc, saved);
    EXPECT_EQ(GetClipBox(dc, &box), SIMPLEREGION);
    EXPECT_EQ(box.right, 64);

    // A clip region that was there comes back.
    HRGN region = CreateRectRgn(1, 2, 30, 40);
    SelectClipRgn(dc, region);
    DeleteObject(region);
    saved = c.ClipDC(dc);
    ASSERT_NE(saved, nullptr);
    c.UnclipDC(dc, saved);
    ASSERT_EQ(GetClipBox(dc, &box), SIMPLEREGION);
    EXPECT_EQ(box.left, 1);
    EXPECT_EQ(box.bottom, 40);

    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

}  // namespace
