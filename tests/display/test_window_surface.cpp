// Canvases on device contexts and windows, through the import library: creation and ownership, clipping through
// the context's clip region, pixels drawn by the system, and copies between two contexts.
#include <windows.h>

#include <gtest/gtest.h>

#include "kalvex2/canvas.h"

namespace {

// A 64 x 48 bitmap selected into a memory context, cleared to white.
struct MemoryDC {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
    MemoryDC()
    {
        HDC screen = ::GetDC(nullptr);
        dc = CreateCompatibleDC(screen);
        bitmap = CreateCompatibleBitmap(screen, 64, 48);
        ::ReleaseDC(nullptr, screen);
        old = SelectObject(dc, bitmap);
        PatBlt(dc, 0, 0, 64, 48, WHITENESS);
    }
    ~MemoryDC()
    {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
};

TEST(WindowSurface, CreateOnDCUsesTheLentContext)
{
    MemoryDC m;
    cCanvas c;
    c.lastError = ERR_OPEN;
    ASSERT_EQ(c.CreateOnDC(m.dc), 1);
    EXPECT_EQ(c.GetError(), 0u);
    EXPECT_TRUE(c.IsValid());
    cSurfaceBackend* b = GetBackend(&c);
    EXPECT_EQ(b->GetKind(), SURFACE_KIND_WINDOW);
    EXPECT_EQ(b->IsDeviceOnly(), 1);
    EXPECT_EQ(b->IsPositioned(), 1);
    EXPECT_EQ(c.GetDC(), m.dc);
    EXPECT_EQ(c.GetDeviceClass(), 0);
    EXPECT_EQ(c.GetWidth(), 0);
    EXPECT_EQ(c.Lock(), nullptr) << "no addressable pixels";
    EXPECT_EQ(b->MakeInstance(4, 4), nullptr);
    c.Release();  // a lent context stays usable
    RECT box;
    EXPECT_NE(GetClipBox(m.dc, &box), ERROR);
}

TEST(WindowSurface, PixelsAreTheSystemsAndCannotBeRead)
{
    MemoryDC m;
    cCanvas c;
    ASSERT_TRUE(c.CreateOnDC(m.dc));
    c.SetPixel(5, 6, RGB(255, 0, 0));
    EXPECT_EQ(::GetPixel(m.dc, 5, 6), RGB(255, 0, 0));
    COLORREF colour = 7;
    EXPECT_EQ(c.GetPixel(5, 6, &colour), 0);
    EXPECT_EQ(colour, 7u);
    // Positioning the canvas moves the context's window origin as well.
    c.SetPosition(10, 20);
    POINT org = {};
    GetWindowOrgEx(m.dc, &org);
    EXPECT_EQ(org.x, 10);
    EXPECT_EQ(org.y, 20);
    EXPECT_EQ(GetBackend(&c)->GetOrigin(), (unsigned long)(20 << 16 | 10));
}

TEST(WindowSurface, ClipRectComesFromTheContextAndOnlyShrinks)
{
    MemoryDC m;
    cCanvas c;
    ASSERT_TRUE(c.CreateOnDC(m.dc));
    int x, y, w, h;
    c.GetClipRect(&x, &y, &w, &h);
    EXPECT_EQ(w, 64);
    EXPECT_EQ(h, 48);
    c.SetClipRect(4, 4, 20, 20);
    c.SetClipRect(0, 0, 60, 10);  // cannot enlarge the first
    c.GetClipRect(&x, &y, &w, &h);
    EXPECT_EQ(x, 4);
    EXPECT_EQ(y, 4);
    EXPECT_EQ(w, 20);
    EXPECT_EQ(h, 6);
    c.SetClipRect(100, 100, 5, 5);  // nothing left
    c.GetClipRect(&x, &y, &w, &h);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(w, 0x7FFF) << "an empty clip region reads as the whole coordinate space";
    EXPECT_EQ(h, 0x7FFF);
}

TEST(WindowSurface, CopiesBetweenTwoContexts)
{
    MemoryDC from, to;
    SetPixel(from.dc, 3, 4, RGB(0, 128, 0));
    cCanvas source, target;
    ASSERT_TRUE(source.CreateOnDC(from.dc));
    ASSERT_TRUE(target.CreateOnDC(to.dc));
    EXPECT_EQ(GetBackend(&source)->Blit(GetBackend(&target), 10, 10, 0, 0, 8, 8, 0, 0, 0, 0), 1);
    EXPECT_EQ(::GetPixel(to.dc, 13, 14), RGB(0, 128, 0));
    EXPECT_EQ(GetBackend(&source)->StretchBlit(GetBackend(&target), 0, 0, 16, 16, 0, 0, 8, 8, 0, 0, 0, 0), 1);
    EXPECT_EQ(::GetPixel(to.dc, 6, 8), RGB(0, 128, 0));
    // Into a surface with pixels the copy is the destination's own business: memory surfaces cannot read a device.
    cCanvas* proto = nullptr;
    GetPrototype(&proto, 32, 0, 0);
    cCanvas memory;
    ASSERT_TRUE(memory.CreateLike(8, 8, proto));
    EXPECT_EQ(GetBackend(&source)->Blit(GetBackend(&memory), 0, 0, 0, 0, 8, 8, 0, 0, 0, 0), 0);
}

TEST(WindowSurface, ScreenAndWindowContextsAreOwned)
{
    cCanvas screen;
    ASSERT_EQ(screen.CreateOnDC(nullptr), 1);
    EXPECT_NE(screen.GetDC(), nullptr);
    screen.Release();

    HWND window = CreateWindowA("STATIC", "kx", WS_POPUP | WS_VISIBLE, 0, 0, 40, 30, nullptr, nullptr, nullptr,
                                nullptr);
    ASSERT_NE(window, nullptr);
    for (int whole = 0; whole <= 1; whole++) {
        cCanvas c;
        ASSERT_EQ(c.CreateOnWindow(window, whole), 1) << whole;
        HDC dc = c.GetDC();
        ASSERT_NE(dc, nullptr);
        c.SetPixel(1, 1, RGB(1, 2, 3));
        EXPECT_EQ(WindowFromDC(dc), window);
    }
    DestroyWindow(window);
}

}  // namespace
