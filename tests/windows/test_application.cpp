// The application object as a host uses it: creation, modes and prototype surfaces, the palette and its black
// index, the mode list and teardown.
#include <gtest/gtest.h>

#include <stddef.h>
#include <string.h>

#include "kalvex2/application.h"
#include "kalvex2/canvas.h"
#include "kalvex2/frame.h"
#include "kalvex2/palette.h"

namespace {

struct Palette256 {
    WORD version;
    WORD count;
    PALETTEENTRY entries[256];
};

// A palette without black (so that nothing is moved off black) whose darkest entry is `darkest`.
HPALETTE MakePalette(int seed, int darkest)
{
    Palette256 p = {0x300, 256, {}};
    for (int i = 0; i < 256; i++) {
        p.entries[i].peRed = static_cast<BYTE>(40 + (i * 7 + seed) % 200);
        p.entries[i].peGreen = static_cast<BYTE>(40 + (i * 13 + seed * 3) % 200);
        p.entries[i].peBlue = static_cast<BYTE>(40 + (i * 29 + seed * 5) % 200);
    }
    p.entries[darkest].peRed = p.entries[darkest].peGreen = p.entries[darkest].peBlue = 2;
    return CreatePalette(reinterpret_cast<LOGPALETTE*>(&p));
}

bool SameEntries(const SharedPalette* shared, HPALETTE handle)
{
    PALETTEENTRY e[256];
    if (GetPaletteEntries(handle, 0, 256, e) != 256)
        return false;
    for (int i = 0; i < 256; i++) {
        const PALETTEENTRY& s = shared->entries[i];
        if (s.peRed != e[i].peRed || s.peGreen != e[i].peGreen || s.peBlue != e[i].peBlue)
            return false;
    }
    return true;
}

SharedPalette* DefaultPalette()
{
    Palette256 p = {0x300, 256, {}};
    GetModePalette(reinterpret_cast<LOGPALETTE*>(&p), DISPLAY_MODE_256, nullptr);
    return GetSharedPalette(reinterpret_cast<LOGPALETTE*>(&p));
}

const char kWindowClass[] = "KxAppTestWindow";

// Windows of the library's own procedure; the record pointer takes a whole pointer of window extra.
void RegisterWindowClass()
{
    static bool registered = false;
    if (registered)
        return;
    WNDCLASSA c = {};
    c.lpfnWndProc = FrameWindowProc;
    c.cbWndExtra = sizeof(void*);
    c.hInstance = GetModuleHandleA(nullptr);
    c.lpszClassName = kWindowClass;
    registered = RegisterClassA(&c) != 0;
}

cFrameWindow* MakeWindow(cApplication* app)
{
    RegisterWindowClass();
    WindowCreateInfo r = {};
    r.size = offsetof(WindowCreateInfo, existing);
    r.instance = GetModuleHandleA(nullptr);
    r.width = -64;
    r.height = -48;
    r.x = r.y = 10;
    r.style = WS_OVERLAPPEDWINDOW;
    r.className = kWindowClass;
    r.title = "app test";
    r.maxClientWidth = -64;
    r.maxClientHeight = -48;
    r.cursor = reinterpret_cast<HCURSOR>(1);
    r.background = 1;
    cFrameWindow* record = CreateFrameWindow(app, &r);
    // 1 and 2 are the failure answers.
    return reinterpret_cast<ULONG_PTR>(record) > 2 ? record : nullptr;
}

HPALETTE SelectedPalette(cFrameWindow* record)
{
    return static_cast<HPALETTE>(GetCurrentObject(record->ownDC, OBJ_PAL));
}

int PrototypeDepth(cApplication* app) { return app->prototype ? app->prototype->d.depth : 0; }

struct App {
    cApplication* app;
    explicit App(HPALETTE palette = nullptr) : app(CreateApplication(GetModuleHandleA(nullptr), palette)) {}
    ~App() { DestroyApplication(app); }
};

TEST(Application, StartsInThe256ColourModeWithEveryMemberAtItsInitialValue)
{
    App a;
    cApplication* app = a.app;
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(app->instance, GetModuleHandleA(nullptr));
    EXPECT_EQ(app->displayMode, DISPLAY_MODE_256);
    EXPECT_EQ(app->stateFlags, 0);
    // Without a handle the palette is the library's default one: the very object the thread shares.
    SharedPalette* expected = DefaultPalette();
    EXPECT_EQ(app->palette, expected);
    ReleasePalette(expected);
    ASSERT_NE(app->palette, nullptr);
    EXPECT_EQ(app->blackIndex, static_cast<unsigned long>(app->palette->blackIndex));
    for (void* row : app->banks)
        EXPECT_EQ(row, nullptr);
    EXPECT_EQ(PrototypeDepth(app), 8);
    EXPECT_EQ(app->prototype->GetPalette(), app->palette);
    EXPECT_EQ(app->masterVolume, 100);
    EXPECT_EQ(app->masterPan, 0);
    EXPECT_EQ(app->channelCount, 32);
    for (const SoundChannel& c : app->channels) {
        EXPECT_EQ(c.id, 0u);
        EXPECT_EQ(c.name, nullptr);
        EXPECT_EQ(c.voice, nullptr);
        EXPECT_EQ(c.volume, 100);
        EXPECT_EQ(c.pan, 0);
        EXPECT_EQ(c.frequency, 0);
    }
    EXPECT_EQ(app->music.deviceId, -1);
    EXPECT_EQ(app->music.music, 0u);
    EXPECT_EQ(app->music.nameCopy, nullptr);
    EXPECT_EQ(app->windows.GetCount(), 0);
    EXPECT_EQ(GetApplicationBlackIndex(app), app->palette->blackIndex);
    EXPECT_EQ(GetApplicationBlackIndex(nullptr), 4);
}

TEST(Application, PaletteComesFromTheHandleWithItsBlackIndex)
{
    HPALETTE handle = MakePalette(1, 77);
    App a(handle);
    ASSERT_NE(a.app->palette, nullptr);
    EXPECT_TRUE(SameEntries(a.app->palette, handle));
    EXPECT_EQ(a.app->blackIndex, 77u);
    EXPECT_EQ(GetApplicationBlackIndex(a.app), 77);
    DeleteObject(handle);
}

TEST(Application, ModesMapToTheKeptModesAndTheirPrototypeDepths)
{
    struct Case {
        int request;
        int mode;
        int depth;
    } cases[] = {
        {3, 3, 8},     {4, 4, 24},      {6, 6, 15},  {7, 7, 16},  {8, 8, 32},  {1, 3, 8},
        {2, 3, 8},     {5, 3, 8},       {9, 3, 8},   {15, 3, 8},  {0x104, 0x104, 24},
        // Asking for the DirectDraw screen's format without a DirectDraw mode in force keeps the request.
        {0x27, 0x27, 16},
    };
    App a;
    for (const Case& c : cases) {
        EXPECT_EQ(SetApplicationMode(a.app, c.request), c.mode) << c.request;
        EXPECT_EQ(a.app->displayMode, c.mode) << c.request;
        EXPECT_EQ(PrototypeDepth(a.app), c.depth) << c.request;
        // Only an 8-bit prototype carries the application's palette.
        if (c.depth == 8) {
            EXPECT_EQ(a.app->prototype->GetPalette(), a.app->palette) << c.request;
        }
    }
    // The detected display stands for 0; whatever it is, it becomes a mode a prototype can have.
    int detected = SetApplicationMode(a.app, 0);
    const int depthOf[] = {0, 0, 0, 8, 24, 0, 15, 16, 32};
    ASSERT_TRUE(detected == 3 || detected == 4 || (detected >= 6 && detected <= 8)) << detected;
    EXPECT_EQ(PrototypeDepth(a.app), depthOf[detected]);
    EXPECT_EQ(SetApplicationMode(nullptr, 4), 0);
}

TEST(Application, SetApplicationPaletteReplacesThePaletteOnlyForAnotherHandle)
{
    HPALETTE first = MakePalette(2, 10);
    HPALETTE second = MakePalette(3, 200);
    App a(first);
    SharedPalette* before = AddPaletteRef(a.app->palette);
    int referencesBefore = before->references;

    SetApplicationPalette(a.app, second);
    SharedPalette* now = a.app->palette;
    ASSERT_NE(now, nullptr);
    EXPECT_NE(now, before);
    EXPECT_TRUE(SameEntries(now, second));
    EXPECT_EQ(now->paletteHandle, second);
    EXPECT_EQ(a.app->blackIndex, 200u);
    EXPECT_EQ(a.app->prototype->GetPalette(), now);
    // The application and its prototype let go of the old palette.
    EXPECT_EQ(before->references, referencesBefore - 2);
    ReleasePalette(before);

    // The same handle again changes nothing.
    int references = now->references;
    SetApplicationPalette(a.app, second);
    EXPECT_EQ(a.app->palette, now);
    EXPECT_EQ(now->references, references);

    // No handle: the default palette, and the handle the palette had stays its own.
    SetApplicationPalette(a.app, nullptr);
    SharedPalette* expected = DefaultPalette();
    EXPECT_EQ(a.app->palette, expected);
    ReleasePalette(expected);
    EXPECT_EQ(a.app->blackIndex, static_cast<unsigned long>(a.app->palette->blackIndex));

    // Outside the 256-colour mode the prototype has no palette to change, but the application's still changes.
    SetApplicationMode(a.app, DISPLAY_MODE_24);
    HPALETTE third = MakePalette(4, 33);
    SetApplicationPalette(a.app, third);
    EXPECT_TRUE(SameEntries(a.app->palette, third));
    EXPECT_EQ(a.app->prototype->GetPalette(), nullptr);
    SetApplicationPalette(nullptr, third);
    DeleteObject(first);
}

TEST(Application, SetApplicationPaletteExTakesAGivenPaletteWithAReference)
{
    HPALETTE handle = MakePalette(5, 99);
    App a;
    Palette256 p = {0x300, 256, {}};
    GetPaletteEntries(handle, 0, 256, p.entries);
    SharedPalette* given = GetSharedPalette(reinterpret_cast<LOGPALETTE*>(&p));
    ASSERT_NE(given, nullptr);
    int references = given->references;

    SetApplicationPaletteEx(a.app, handle, given);
    EXPECT_EQ(a.app->palette, given);
    EXPECT_EQ(given->paletteHandle, handle);
    EXPECT_EQ(a.app->blackIndex, 99u);
    EXPECT_EQ(a.app->prototype->GetPalette(), given);
    EXPECT_EQ(given->references, references + 2);   // the application's and the prototype's

    // The palette it already has: nothing is added.
    SetApplicationPaletteEx(a.app, handle, given);
    EXPECT_EQ(given->references, references + 2);

    // Without a palette one is made from the handle, even when it is the handle of the current palette.
    HPALETTE other = MakePalette(6, 5);
    SetApplicationPaletteEx(a.app, other, nullptr);
    EXPECT_NE(a.app->palette, given);
    EXPECT_TRUE(SameEntries(a.app->palette, other));
    EXPECT_EQ(a.app->blackIndex, 5u);
    EXPECT_EQ(given->references, references);
    ReleasePalette(given);
    SetApplicationPaletteEx(nullptr, other, nullptr);
}

TEST(Application, ModeListHoldsTheTableInOrder)
{
    AppModeRecord out[6];
    memset(out, 0xAB, sizeof out);
    EXPECT_EQ(ListApplicationModes(nullptr, 4, 0), 0);
    EXPECT_EQ(ListApplicationModes(out, 0, 0), 0);
    ASSERT_EQ(ListApplicationModes(out, 6, 0), 4);
    const unsigned long expected[4][3] = {{8, 8, 3}, {16, 15, 6}, {24, 24, 4}, {8, 8, 3}};
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(out[i].screenBits, expected[i][0]) << i;
        EXPECT_EQ(out[i].surfaceDepth, expected[i][1]) << i;
        EXPECT_EQ(out[i].displayMode, expected[i][2]) << i;
        for (unsigned long w : out[i].reserved)
            EXPECT_EQ(w, 0u) << i;
    }
    EXPECT_EQ(out[4].screenBits, 0xABABABABu);   // nothing written past what was stored

    memset(out, 0xAB, sizeof out);
    ASSERT_EQ(ListApplicationModes(out, 2, 0), 2);
    EXPECT_EQ(out[1].surfaceDepth, 15u);
    EXPECT_EQ(out[2].screenBits, 0xABABABABu);

    // DirectDraw modes: only a palette screen has one.
    HDC screen = GetDC(nullptr);
    int bits = GetDeviceCaps(screen, PLANES) * GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(nullptr, screen);
    int stored = ListApplicationModes(out, 6, 0x20);
    if (bits == 8) {
        ASSERT_EQ(stored, 1);
        EXPECT_EQ(out[0].displayMode, 0x23u);
    } else {
        EXPECT_EQ(stored, 0);
    }
}

TEST(Application, TeardownReleasesThePaletteAndIgnoresARepeatDuringItself)
{
    HPALETTE handle = MakePalette(7, 50);
    cApplication* app = CreateApplication(nullptr, handle);
    ASSERT_NE(app, nullptr);
    SharedPalette* palette = AddPaletteRef(app->palette);
    int references = palette->references;

    // A destruction already under way: the second call returns at once and the object stays whole.
    app->stateFlags |= APP_STATE_DESTROYING;
    DestroyApplication(app);
    EXPECT_EQ(app->palette, palette);
    EXPECT_EQ(palette->references, references);
    app->stateFlags &= ~APP_STATE_DESTROYING;

    DestroyApplication(app);
    EXPECT_EQ(palette->references, references - 2);   // the application's and its prototype's
    ReleasePalette(palette);
    DestroyApplication(nullptr);

    // The thread's list survives emptying: the next application registers as before.
    App again;
    EXPECT_NE(again.app, nullptr);
}

TEST(Application, WindowsFollowTheModeAndThePaletteAndGoWithTheApplication)
{
    HPALETTE first = MakePalette(8, 60);
    cApplication* app = CreateApplication(GetModuleHandleA(nullptr), first);
    ASSERT_NE(app, nullptr);
    cFrameWindow* a = MakeWindow(app);
    cFrameWindow* b = MakeWindow(app);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    HWND windowA = a->window;
    ASSERT_NE(a->ownDC, nullptr);
    HPALETTE stock = static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));

    // A host window attached to the application goes back to the host untouched.
    HWND host = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPED, 0, 0, 50, 50, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(host, nullptr);
    cFrameWindow* attached = AttachFrameWindow(app, host);
    ASSERT_GT(reinterpret_cast<ULONG_PTR>(attached), 2u);
    EXPECT_EQ(app->windows.GetCount(), 3);

    EXPECT_EQ(SetApplicationMode(app, DISPLAY_MODE_HI16), DISPLAY_MODE_HI16);
    EXPECT_EQ(a->displayMode, DISPLAY_MODE_HI16);
    EXPECT_EQ(b->displayMode, DISPLAY_MODE_HI16);

    // Outside the 256-colour mode the windows' device contexts are left alone.
    HPALETTE second = MakePalette(9, 70);
    HPALETTE beforeA = SelectedPalette(a);
    SetApplicationPalette(app, second);
    EXPECT_EQ(SelectedPalette(a), beforeA);

    // In it, every window shows the application's palette; each remembers the palette its DC had first.
    SetApplicationMode(app, DISPLAY_MODE_256);
    HPALETTE third = MakePalette(10, 80);
    SetApplicationPalette(app, third);
    for (cFrameWindow* r : {a, b}) {
        EXPECT_EQ(SelectedPalette(r), third);
        EXPECT_EQ(r->palette, third);
        EXPECT_EQ(r->previousPalette, stock);
    }

    // The extended form moves only the windows that showed the palette being replaced.
    HPALETTE own = MakePalette(11, 90);
    SelectPalette(b->ownDC, own, FALSE);
    b->palette = own;
    HPALETTE fourth = MakePalette(12, 100);
    SetApplicationPaletteEx(app, fourth, nullptr);
    EXPECT_EQ(SelectedPalette(a), fourth);
    EXPECT_EQ(a->palette, fourth);
    EXPECT_EQ(SelectedPalette(b), own);
    EXPECT_EQ(b->palette, own);
    EXPECT_EQ(a->previousPalette, stock);

    DestroyApplication(app);
    EXPECT_FALSE(IsWindow(windowA));
    EXPECT_TRUE(IsWindow(host));
    EXPECT_EQ(FindFrameWindow(host), nullptr);
    DestroyWindow(host);
    DeleteObject(own);
    DeleteObject(first);
}

}  // namespace
