// Shared palettes, colour search, mode palettes and the system colour table, through the DLL as a host uses them.
// The same program runs on the 32-bit, 16-bit and 8-bit palette screens; checks that depend on the screen look at
// the screen they run on.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <vector>

#include "kalvex2/canvas.h"
#include "kalvex2/frame.h"
#include "kalvex2/palette.h"

namespace {

// Must stay the first test: the table is loaded by the first query of the process.
TEST(SystemColours, TableLoadsOnFirstQueryAndIsTheExportedData)
{
    HMODULE dll = GetModuleHandleA("Kalvex2.dll");
    ASSERT_NE(dll, nullptr);
    auto table = reinterpret_cast<COLORREF*>(GetProcAddress(dll, MAKEINTRESOURCEA(629)));
    auto valid = reinterpret_cast<int*>(GetProcAddress(dll, MAKEINTRESOURCEA(622)));
    EXPECT_EQ(table, kx_system_colours) << "ordinal 629 is the table itself, not a function";
    EXPECT_EQ(valid, &kx_system_colours_valid);

    EXPECT_EQ(*valid, 0);
    EXPECT_EQ(RefreshSystemColoursIfLoaded(), 0);
    EXPECT_EQ(*valid, 0) << "refreshing only when loaded must not load";
    COLORREF window = GetSystemColour(COLOR_WINDOW);
    EXPECT_EQ(*valid, 1);
    EXPECT_EQ(window, table[COLOR_WINDOW]);
    for (int i = 0; i < 29; i++)
        EXPECT_EQ(GetSystemColour(i), table[i]) << i;
    EXPECT_EQ(RefreshSystemColoursIfLoaded(), 1);
}

TEST(SystemColours, ColoursAreWhatTheScreenShows)
{
    HDC screen = GetDC(nullptr);
    int bits = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
    ReleaseDC(nullptr, screen);
    RefreshSystemColours();
    EXPECT_EQ(GetSystemColour(25), 0u) << "entry 25 is never read from the system";
    bool anyRounded = false;
    for (int i = 0; i < 29; i++) {
        if (i == 25)
            continue;
        COLORREF system = GetSysColor(i), cached = kx_system_colours[i];
        if (bits == 15 || bits == 16) {
            // What a 5-6-5 screen keeps: each channel within its lost low bits.
            EXPECT_LE(abs(GetRValue(system) - GetRValue(cached)), 7) << i;
            EXPECT_LE(abs(GetGValue(system) - GetGValue(cached)), 7) << i;
            EXPECT_LE(abs(GetBValue(system) - GetBValue(cached)), 7) << i;
            anyRounded |= system != cached;
        } else {
            EXPECT_EQ(cached, system) << i;
        }
    }
    if (bits == 15 || bits == 16) {
        EXPECT_TRUE(anyRounded) << "a 16-bit screen shows some system colour with fewer bits";
    }
}

TEST(SystemColours, IndicesPastTheTableGoToTheSystem)
{
    EXPECT_EQ(GetSystemColour(30), GetSysColor(30));
    EXPECT_EQ(GetSystemColour(-1), GetSysColor(-1));
    EXPECT_EQ(GetSystemColour(1000), GetSysColor(1000));
}

// A 256-entry logical palette a test can change entry by entry.
struct Logical {
    WORD version = 0x300;
    WORD count = 256;
    PALETTEENTRY entries[256];

    Logical() { GetModePalette(reinterpret_cast<LOGPALETTE*>(this), DISPLAY_MODE_256, nullptr); }
    LOGPALETTE* get() { return reinterpret_cast<LOGPALETTE*>(this); }
    void Set(int i, BYTE r, BYTE g, BYTE b) { entries[i] = PALETTEENTRY{r, g, b, 0}; }
};

// The search written out plainly: the squared distance, black reserved to 0, exact stops, the last tie wins.
int ReferenceNearest(const SharedPalette* p, COLORREF c)
{
    if ((c & 0xFFFFFF) == 0)
        return 0;
    int best = 1;
    long bestD = -1;
    for (int i = 1; i < 256; i++) {
        long dr = p->entries[i].peRed - GetRValue(c), dg = p->entries[i].peGreen - GetGValue(c),
             db = p->entries[i].peBlue - GetBValue(c);
        long d = dr * dr + dg * dg + db * db;
        if (d == 0)
            return i;
        if (bestD < 0 || d <= bestD)
            best = i, bestD = d;
    }
    return best;
}

struct NearestCase {
    const char* what;
    COLORREF colour;
    int index;
};

TEST(NearestColour, TableOfCases)
{
    Logical l;
    l.Set(10, 200, 0, 0);
    l.Set(20, 200, 0, 0);
    l.Set(30, 0, 0, 0);  // stored as RGB(8, 0, 0)
    l.Set(31, 0, 0, 200);
    l.Set(32, 0, 0, 202);
    SharedPalette* p = GetSharedPalette(l.get());
    ASSERT_NE(p, nullptr);
    const NearestCase cases[] = {
        {"black is index 0", RGB(0, 0, 0), 0},
        {"exact match: the first of two equal entries", RGB(200, 0, 0), 10},
        {"equally near: the last of two equal entries", RGB(201, 0, 0), 20},
        {"a black entry above 0 became RGB(8,0,0) and answers it exactly", RGB(8, 0, 0), 30},
        {"near-black never falls to 0; the last of the RGB(8,0,0) entries wins", RGB(1, 0, 0), 245},
        {"a tie between two different entries goes to the later one", RGB(0, 0, 201), 32},
        {"bits above blue are not part of the colour", 0xFE0000C8, 10},
        {"white is a system colour", RGB(255, 255, 255), 255},
    };
    for (const NearestCase& c : cases)
        EXPECT_EQ(FindNearestIndex(p, c.colour), c.index) << c.what;
    EXPECT_EQ(p->entries[30].peRed, 8);
    ReleasePalette(p);
}

TEST(NearestColour, AgreesWithThePlainSearchAndNeverGivesZeroForAColour)
{
    Logical l;
    srand(7);
    for (int i = 10; i < 246; i++)
        l.Set(i, (BYTE)rand(), (BYTE)rand(), (BYTE)rand());
    SharedPalette* p = GetSharedPalette(l.get());
    ASSERT_NE(p, nullptr);
    for (int r = 0; r < 256; r += 15)
        for (int g = 0; g < 256; g += 15)
            for (int b = 0; b < 256; b += 15) {
                COLORREF c = RGB(r, g, b);
                int index = FindNearestIndex(p, c);
                ASSERT_EQ(index, ReferenceNearest(p, c)) << std::hex << c;
                if (c != 0) {
                    ASSERT_NE(index, 0) << std::hex << c;
                }
            }
    ReleasePalette(p);
}

TEST(NearestColour, NullPaletteAnswersZero)
{
    EXPECT_EQ(FindNearestIndex(nullptr, RGB(1, 2, 3)), 0);
    EXPECT_EQ(LookupNearestIndex(nullptr, RGB(1, 2, 3)), 0);
    EXPECT_EQ(BuildInverseTable(nullptr), 0);
    EXPECT_EQ(GetPaletteHandle(nullptr), nullptr);
}

TEST(SharedPalettes, IdenticalEntriesShareOnePaletteAndItsReferences)
{
    Logical a, b;
    a.Set(5, 0, 0, 0);
    b.Set(5, 8, 0, 0);  // the same colour once black is reserved to index 0
    b.entries[6].peFlags = PC_RESERVED;  // flags are not part of a palette's identity
    SharedPalette* p = GetSharedPalette(a.get());
    ASSERT_NE(p, nullptr);
    int before = p->references;
    SharedPalette* q = GetSharedPalette(b.get());
    EXPECT_EQ(q, p);
    EXPECT_EQ(p->references, before + 1);
    EXPECT_EQ(AddPaletteRef(p), p);
    EXPECT_EQ(p->references, before + 2);

    b.Set(7, 1, 2, 3);
    SharedPalette* other = GetSharedPalette(b.get());
    EXPECT_NE(other, p);
    EXPECT_EQ(ReleasePalette(other), nullptr) << "the last reference frees it";

    EXPECT_EQ(ReleasePalette(p), p);
    EXPECT_EQ(ReleasePalette(p), p);
    EXPECT_EQ(p->references, before);
    EXPECT_EQ(AddPaletteRef(nullptr), nullptr);
    EXPECT_EQ(ReleasePalette(nullptr), nullptr);
    ReleasePalette(p);
}

TEST(SharedPalettes, RecordIsNormalised)
{
    Logical l;
    l.entries[0].peFlags = PC_NOCOLLAPSE;
    l.Set(40, 0, 0, 0);
    SharedPalette* p = GetSharedPalette(l.get());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->version, 0x300);
    EXPECT_EQ(p->count, 256);
    for (int i = 0; i < 256; i++)
        ASSERT_EQ(p->entries[i].peFlags, 0) << i;
    EXPECT_EQ(p->entries[0].peRed, 0);
    EXPECT_EQ(p->entries[40].peRed, 8);
    EXPECT_EQ(p->inverseTable, nullptr);
    EXPECT_EQ(p->paletteHandle, nullptr);
    EXPECT_EQ(p->blackIndex, 245) << "the last of the entries nearest to black";
    ReleasePalette(p);
}

// A logical palette of 16 entries placed at the very end of readable memory: reading a 17th entry faults.
TEST(SharedPalettes, ShortLogicalPaletteIsReadNoFurtherThanItsCount)
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    auto block = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, 2 * info.dwPageSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(block, nullptr);
    DWORD old;
    VirtualProtect(block + info.dwPageSize, info.dwPageSize, PAGE_NOACCESS, &old);
    size_t size = offsetof(LOGPALETTE, palPalEntry) + 16 * sizeof(PALETTEENTRY);
    auto l = reinterpret_cast<LOGPALETTE*>(block + info.dwPageSize - size);
    l->palVersion = 0x300;
    l->palNumEntries = 16;
    GetModePalette(l, DISPLAY_MODE_16, nullptr);
    SharedPalette* p = GetSharedPalette(l);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->count, 16);
    EXPECT_EQ(p->entries[15].peRed, 255);
    // A 16-entry search has no reserved index and stays within the entries.
    EXPECT_EQ(FindNearestIndex(p, RGB(250, 250, 250)), 15);
    ASSERT_EQ(BuildInverseTable(p), 1);
    EXPECT_EQ(FindNearestIndex(p, RGB(2, 2, 2)), 0) << "black is answered before the table";
    // The 240 entries the palette does not have must not claim keys in the table.
    EXPECT_EQ(LookupNearestIndex(p, RGB(9, 1, 1)), 0);
    EXPECT_EQ(LookupNearestIndex(p, RGB(9, 1, 1)), 0);
    ReleasePalette(p);
    VirtualFree(block, 0, MEM_RELEASE);
}

TEST(SharedPalettes, EntryCopiesStayWithinThePalette)
{
    Logical l;
    SharedPalette* p = GetSharedPalette(l.get());
    ASSERT_NE(p, nullptr);
    PALETTEENTRY out[12];
    memset(out, 0xAB, sizeof out);
    EXPECT_EQ(CopyPaletteEntries(p, out + 1, 250, 10), p);
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(memcmp(&out[1 + i], &p->entries[250 + i], 4), 0) << i;
    for (int i : {0, 7, 8, 9, 10, 11})
        EXPECT_EQ(out[i].peRed, 0xAB) << "entry " << i << " is outside what the palette has";
    memset(out, 0xAB, sizeof out);
    CopyPaletteEntries(p, out, -1, 4);
    CopyPaletteEntries(p, out, 256, 4);
    CopyPaletteEntries(p, out, 0, -4);
    EXPECT_EQ(CopyPaletteEntries(nullptr, out, 0, 4), nullptr);
    for (const PALETTEENTRY& e : out)
        EXPECT_EQ(e.peRed, 0xAB);
    ReleasePalette(p);
}

TEST(SharedPalettes, HandleIsMadeOnceWithTheFixedColoursNoCollapse)
{
    Logical l;
    l.Set(100, 1, 2, 3);
    SharedPalette* p = GetSharedPalette(l.get());
    ASSERT_NE(p, nullptr);
    HPALETTE h = GetPaletteHandle(p);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GetPaletteHandle(p), h);
    PALETTEENTRY e[256];
    ASSERT_EQ(GetPaletteEntries(h, 0, 256, e), 256u);
    EXPECT_EQ(e[100].peRed, 1);
    EXPECT_EQ(e[100].peFlags, PC_NOCOLLAPSE);
    EXPECT_EQ(e[9].peFlags, 0);
    EXPECT_EQ(e[246].peFlags, 0);
    ReleasePalette(p);
}

TEST(SharedPalettes, ThreadDefaultIsTheDefaultPalette)
{
    Logical l;
    SharedPalette* shared = GetSharedPalette(l.get());
    SharedPalette* def = GetThreadDefaultPalette();
    EXPECT_NE(def, nullptr);
    EXPECT_EQ(def, shared);
    ReleasePalette(def);
    ReleasePalette(shared);
}

// --- threads ---

struct ThreadWork {
    Logical logical;
    SharedPalette* made = nullptr;
    SharedPalette* threadDefault = nullptr;
    HANDLE go = nullptr;
};

DWORD WINAPI MakeAndKeep(LPVOID arg)
{
    auto w = static_cast<ThreadWork*>(arg);
    if (w->go)
        WaitForSingleObject(w->go, 10000);
    w->made = GetSharedPalette(w->logical.get());
    w->threadDefault = GetThreadDefaultPalette();
    ReleasePalette(w->threadDefault);
    return 0;
}

TEST(PaletteRegistry, EachThreadHasItsOwnPalettes)
{
    Logical l;
    SharedPalette* mine = GetSharedPalette(l.get());
    ASSERT_NE(mine, nullptr);
    ThreadWork w;
    HANDLE t = CreateThread(nullptr, 0, MakeAndKeep, &w, 0, nullptr);
    ASSERT_NE(t, nullptr);
    WaitForSingleObject(t, 10000);
    CloseHandle(t);
    ASSERT_NE(w.made, nullptr);
    EXPECT_NE(w.made, mine) << "identical entries, but another thread's registry";
    EXPECT_NE(w.threadDefault, mine);
    // The thread has gone; the palette it handed out with a reference is still whole.
    EXPECT_EQ(w.made->references, 1);
    EXPECT_EQ(memcmp(w.made->entries, mine->entries, sizeof mine->entries), 0);
    EXPECT_EQ(ReleasePalette(w.made), nullptr);
    ReleasePalette(mine);
}

TEST(PaletteRegistry, ThreadsDetachInAnyOrder)
{
    const int n = 4;
    ThreadWork work[n];
    HANDLE threads[n];
    for (int i = 0; i < n; i++) {
        work[i].logical.Set(50, (BYTE)i, 1, 1);
        work[i].go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        threads[i] = CreateThread(nullptr, 0, MakeAndKeep, &work[i], 0, nullptr);
        ASSERT_NE(threads[i], nullptr);
    }
    // Let them finish (and detach) in the order 2, 0, 3, 1.
    for (int i : {2, 0, 3, 1}) {
        SetEvent(work[i].go);
        WaitForSingleObject(threads[i], 10000);
    }
    for (int i = 0; i < n; i++) {
        CloseHandle(threads[i]);
        CloseHandle(work[i].go);
        ASSERT_NE(work[i].made, nullptr);
        EXPECT_EQ(work[i].made->entries[50].peRed, i);
    }
    for (int i : {1, 3, 0, 2})
        EXPECT_EQ(ReleasePalette(work[i].made), nullptr);
}

DWORD WINAPI NestedAttach(LPVOID arg)
{
    auto out = static_cast<int*>(arg);
    InitLibrary();  // a second attach of this thread's record
    Logical l;
    l.Set(60, 9, 9, 9);
    SharedPalette* p = GetSharedPalette(l.get());
    TermLibrary();
    // The inner detach leaves the record and its palettes.
    SharedPalette* again = GetSharedPalette(l.get());
    out[0] = p != nullptr && again == p;
    out[1] = p ? p->references : -1;
    ReleasePalette(again);
    ReleasePalette(p);
    return 0;
}

TEST(PaletteRegistry, InnerDetachKeepsTheThreadsPalettes)
{
    int out[2] = {0, 0};
    HANDLE t = CreateThread(nullptr, 0, NestedAttach, out, 0, nullptr);
    ASSERT_NE(t, nullptr);
    WaitForSingleObject(t, 10000);
    CloseHandle(t);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[1], 2);
}

// --- palettes by display mode ---

TEST(ModePalettes, CountsEntriesAndSearches)
{
    struct {
        int mode;
        int count;
    } counts[] = {{0, 0}, {1, 2}, {2, 16}, {3, 256}, {4, 0}, {5, 16}, {6, 0}, {7, 0}, {8, 0}, {9, 0}, {-1, 0}};
    for (auto c : counts)
        EXPECT_EQ(GetModePalette(nullptr, c.mode, nullptr), c.count) << c.mode;

    struct {
        int mode;
        COLORREF colour;
        int index;
    } finds[] = {
        {DISPLAY_MODE_15, RGB(1, 2, 3), -1},
        {DISPLAY_MODE_32, 0x01000005, -1},
        {DISPLAY_MODE_256, 0x01000005, 5},
        {DISPLAY_MODE_256, 0x01001234, 0x1234},
        {0, RGB(1, 2, 3), -1},
        {DISPLAY_MODE_MONO, RGB(200, 200, 200), 1},
        {DISPLAY_MODE_MONO, RGB(20, 20, 20), 0},
        {DISPLAY_MODE_16, RGB(255, 255, 255), 15},
        {DISPLAY_MODE_16, RGB(0, 0, 0), 0},
        {DISPLAY_MODE_256, RGB(0, 0, 0), 0},
    };
    for (auto f : finds)
        EXPECT_EQ(FindModeIndex(nullptr, f.mode, f.colour), f.index) << f.mode << " " << std::hex << f.colour;

    EXPECT_EQ(GetModePaletteEntry(nullptr, DISPLAY_MODE_16, 9), RGB(255, 0, 0));
    EXPECT_EQ(GetModePaletteEntry(nullptr, DISPLAY_MODE_MONO, 1), RGB(255, 255, 255));
    EXPECT_EQ(GetModePaletteEntry(nullptr, DISPLAY_MODE_16, 16), 0u);
    EXPECT_EQ(GetModePaletteEntry(nullptr, DISPLAY_MODE_16, -1), 0u);
    EXPECT_EQ(GetModePaletteEntry(nullptr, DISPLAY_MODE_24, 0), 0u);
}

TEST(ModePalettes, SystemColoursAnswerWithTheirSystemIndex)
{
    Logical l;
    // Every static colour finds its own slot, even where a fixed colour repeats it.
    for (int i : {0, 1, 7, 9, 246, 249, 255}) {
        const PALETTEENTRY& e = l.entries[i];
        EXPECT_EQ(FindModeIndex(nullptr, DISPLAY_MODE_256, RGB(e.peRed, e.peGreen, e.peBlue)), i) << i;
    }
}

TEST(ModePalettes, CopyClearsFlags)
{
    Logical l;
    EXPECT_EQ(l.version, 0x300);
    EXPECT_EQ(l.count, 256);
    for (const PALETTEENTRY& e : l.entries)
        ASSERT_EQ(e.peFlags, 0);
    EXPECT_EQ(l.entries[10].peRed, 0xFF);
    EXPECT_EQ(l.entries[10].peGreen, 0xA7);
}

// --- arrangement around the system colours ---

TEST(SystemPalette, DefaultPaletteNeedsNoArrangement)
{
    Logical l;
    PALETTEENTRY out[256];
    unsigned char map[256];
    EXPECT_EQ(ArrangeSystemColours(out, l.entries, map), 0);
    for (int i = 0; i < 256; i++) {
        ASSERT_EQ(map[i], i);
        ASSERT_EQ(out[i].peFlags, i >= 10 && i < 246 ? PC_NOCOLLAPSE : 0) << i;
    }
    SharedPalette* p = GetSharedPalette(l.get());
    SharedPalette* arranged = MakeSystemPalette(p, nullptr);
    EXPECT_EQ(arranged, p);
    ReleasePalette(arranged);
    ReleasePalette(p);
}

// Entry 1 holds the high static red, entry 20 the low static dark red, entry 249 (static red's slot) another
// colour. The dark red moves to 1, then the red, now at 20, moves on to 249: its pixels must follow it there.
TEST(SystemPalette, MovedColoursKeepTheirPixelsThroughTwoMoves)
{
    Logical src;
    src.Set(1, 255, 0, 0);
    src.Set(20, 128, 0, 0);
    src.Set(249, 100, 2, 3);
    src.Set(30, 0, 0, 3);  // near-black in the free range
    PALETTEENTRY out[256];
    unsigned char map[256];
    EXPECT_EQ(ArrangeSystemColours(out, src.entries, map), 1);
    auto same = [](const PALETTEENTRY& a, const PALETTEENTRY& b) {
        return a.peRed == b.peRed && a.peGreen == b.peGreen && a.peBlue == b.peBlue;
    };
    for (int a : {1, 20, 249})
        EXPECT_TRUE(same(out[map[a]], src.entries[a])) << "source index " << a << " went to " << (int)map[a];
    EXPECT_EQ(map[1], 249);
    EXPECT_EQ(map[20], 1);
    EXPECT_EQ(map[249], 20);
    for (int a = 10; a < 246; a++)
        if (a != 20) {
            ASSERT_EQ(map[a], a) << a;
        }
    EXPECT_EQ(out[30].peRed, 8) << "near-black outside index 0 becomes RGB(8,0,0)";
    EXPECT_EQ(out[30].peBlue, 0);

    // In place (destination = source) gives the same.
    Logical again = src;
    EXPECT_EQ(ArrangeSystemColours(again.entries, again.entries, nullptr), 1);
    EXPECT_EQ(memcmp(again.entries, out, sizeof out), 0);
}

TEST(SystemPalette, DuplicateColourIsUsedInsteadOfMoving)
{
    Logical src;
    src.Set(3, 10, 20, 30);   // static slot 3 holds a colour that entry 100 also has
    src.Set(100, 10, 20, 30);
    src.Set(150, 128, 128, 0); // and the static colour of slot 3 lives at 150
    PALETTEENTRY out[256];
    unsigned char map[256];
    EXPECT_EQ(ArrangeSystemColours(out, src.entries, map), 1);
    EXPECT_EQ(map[3], 100);
    EXPECT_EQ(map[150], 150);
    EXPECT_EQ(out[150].peRed, 128) << "left where it was";
}

TEST(SystemPalette, MakeSystemPaletteSharesTheArrangedPalette)
{
    Logical src;
    src.Set(0, 50, 60, 70);
    src.Set(120, 0, 0, 0);
    SharedPalette* p = GetSharedPalette(src.get());
    ASSERT_NE(p, nullptr);
    unsigned char map[256];
    SharedPalette* arranged = MakeSystemPalette(p, map);
    ASSERT_NE(arranged, nullptr);
    EXPECT_NE(arranged, p);
    Logical expect;
    for (int i : {0, 5, 9, 246, 255})
        EXPECT_EQ(memcmp(&arranged->entries[i], &expect.entries[i], 3), 0) << i;
    EXPECT_EQ(MakeSystemPalette(arranged, nullptr), arranged) << "arranging twice changes nothing";
    EXPECT_EQ(arranged->references, 2);
    ReleasePalette(arranged);
    ReleasePalette(arranged);
    ReleasePalette(p);
    EXPECT_EQ(MakeSystemPalette(nullptr, map), nullptr);
}

// --- the 8-bit palette screen ---

TEST(PaletteScreen, DefaultPaletteCarriesTheSystemsStaticColours)
{
    HDC screen = GetDC(nullptr);
    bool palette = (GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE) != 0;
    if (getenv("KX_EXPECT_PALETTE_SCREEN")) {
        ASSERT_TRUE(palette) << "this run is meant for the 8-bit palette screen";
    }
    if (!palette) {
        ReleaseDC(nullptr, screen);
        GTEST_SKIP() << "not a palette screen";
    }
    PALETTEENTRY system[256];
    ASSERT_EQ(GetSystemPaletteEntries(screen, 0, 256, system), 256u);
    SharedPalette* def = GetThreadDefaultPalette();
    ASSERT_NE(def, nullptr);
    for (int i = 0; i < 256; i++) {
        if (i >= 10 && i < 246)
            continue;
        EXPECT_EQ(memcmp(&def->entries[i], &system[i], 3), 0) << i;
    }
    // Arranged for this very screen already.
    Logical l;
    PALETTEENTRY out[256];
    EXPECT_EQ(ArrangeSystemColours(out, l.entries, nullptr), 0);

    // Realised on the screen, the palette's own colours reach the system palette. Xvfb's colour map has room for
    // only part of them, so a few distinctive ones are looked for.
    HPALETTE h = GetPaletteHandle(def);
    ASSERT_NE(h, nullptr);
    HPALETTE old = SelectPalette(screen, h, FALSE);
    EXPECT_GT(RealizePalette(screen), 0u);
    ASSERT_EQ(GetSystemPaletteEntries(screen, 0, 256, system), 256u);
    for (int i : {10, 11, 12}) {
        bool found = false;
        for (int s = 10; s < 246 && !found; s++)
            found = memcmp(&def->entries[i], &system[s], 3) == 0;
        EXPECT_TRUE(found) << "entry " << i;
    }
    SelectPalette(screen, old, FALSE);
    ReleasePalette(def);
    ReleaseDC(nullptr, screen);
}

// --- canvas members on a canvas without a surface ---

TEST(CanvasPalette, EmptyCanvasRefusesAndAnswersZero)
{
    cCanvas canvas;
    Logical l;
    SharedPalette* p = GetSharedPalette(l.get());
    EXPECT_EQ(canvas.SetPalette(p, 0), 0);
    EXPECT_EQ(canvas.GetError(), (unsigned long)ERR_UNSUPPORTED);
    EXPECT_EQ(canvas.SetPaletteEntries(l.get(), 1), 0);
    EXPECT_EQ(canvas.SetPaletteFrom(&canvas, 0), 0);
    EXPECT_EQ(canvas.SetPaletteFrom(nullptr, 0), 0);
    EXPECT_EQ(canvas.GetPalette(), nullptr);
    PALETTEENTRY e[4];
    EXPECT_EQ(canvas.GetPaletteEntries(e, 0, 4), 0);
    EXPECT_EQ(canvas.NearestIndex(RGB(1, 2, 3)), 0);
    EXPECT_EQ(canvas.IndexToColour(3), 0u);
    EXPECT_EQ(canvas.GetBlackIndex(), 0);
    unsigned char map[256] = {};
    canvas.ApplyIndexMap(map);
    canvas.RemapToPaletteOf(&canvas);
    canvas.RemapToPaletteOf(nullptr);
    ReleasePalette(p);
}

}  // namespace
