// The ink sampler: a sheet a person can open and look at. Each row is one pixel depth (8, 15, 16, 24, 32 bits);
// each cell blits a soft disc onto the same backdrop in one way: an opaque copy, a copy through the transparent
// colour, a copy through an alpha plane, and the eleven ink effects. The backdrop and the discs are painted at 32
// bits and converted to the row's depth by blits, and every row is converted again onto the 24-bit sheet, so the
// picture also shows the conversions between depths. Like the rest of the sample host it binds by ordinal.
#include "ink_sampler.h"

#include "bind_ordinal.h"

#include <math.h>
#include <stdio.h>

#include "kalvex2/canvas.h"

namespace {

struct SamplerApi {
    int(__cdecl* GetPrototype)(cCanvas**, int, int, int);
    cCanvas*(__cdecl* NewCanvas)();
    void(__cdecl* DeleteCanvas)(cCanvas*);
    int(KX_THISCALL* CreateLike)(cCanvas*, int, int, cCanvas*);
    void(KX_THISCALL* SetPixel)(cCanvas*, int, int, COLORREF);
    void(KX_THISCALL* SetTransparentColour)(cCanvas*, COLORREF);
    unsigned char*(KX_THISCALL* CreateAlphaPlane)(cCanvas*);
    int(KX_THISCALL* GetAlphaRowStep)(cCanvas*);
    int(KX_THISCALL* Blit)(cCanvas*, cCanvas*, int, int, int, int, int, int, int, int, unsigned long,
                           unsigned long);
    int(KX_THISCALL* SaveBitmapFile)(cCanvas*, const char*, unsigned long);

    bool Bind(HMODULE dll)
    {
        return BindOrdinal(dll, 172, GetPrototype) & BindOrdinal(dll, 173, NewCanvas) &
               BindOrdinal(dll, 174, DeleteCanvas) & BindOrdinal(dll, 372, CreateLike) &
               BindOrdinal(dll, 745, SetPixel) & BindOrdinal(dll, 753, SetTransparentColour) &
               BindOrdinal(dll, 375, CreateAlphaPlane) & BindOrdinal(dll, 462, GetAlphaRowStep) &
               BindOrdinal(dll, 343, Blit) & BindOrdinal(dll, 711, SaveBitmapFile);
    }
};

const int kCell = 48;    // one cell of the sheet
const int kDisc = 40;    // the blitted picture, centred in its cell
const COLORREF kKey = RGB(255, 0, 255);
const COLORREF kBackdrop = RGB(40, 200, 90);   // the backdrop colour of effect 6

struct Cell {
    const char* name;
    int mode;                  // 0 opaque, 1 transparent
    int effect;
    unsigned long parameter;
    bool alphaPlane;           // blit the disc that carries an alpha plane
};

const Cell kCells[] = {
    {"opaque copy", 0, 0, 0, false},
    {"transparent colour", 1, 0, 0, false},
    {"alpha plane", 1, 0, 0, true},
    {"blend 50%", 1, 1, 64, false},
    {"invert", 1, 2, 0, false},
    {"xor", 1, 3, 0, false},
    {"and", 1, 4, 0, false},
    {"or", 1, 5, 0, false},
    {"blend with backdrop", 1, 6, (64ul << 24) | kBackdrop, false},
    {"and-not", 1, 8, 0, false},
    {"add", 1, 9, 0, false},
    {"grey", 1, 10, 0, false},
    {"subtract", 1, 11, 0, false},
    {"blend except key", 1, 12, (64ul << 24) | RGB(200, 200, 200), false},
};
const int kCellCount = sizeof(kCells) / sizeof(kCells[0]);
const int kDepths[] = {8, 15, 16, 24, 32};

// A canvas like the memory prototype of a depth, or null.
cCanvas* NewSurface(const SamplerApi& api, int width, int height, int depth)
{
    cCanvas* prototype = nullptr;
    api.GetPrototype(&prototype, depth, 0, 0);
    cCanvas* canvas = api.NewCanvas();
    if (canvas && !api.CreateLike(canvas, width, height, prototype)) {
        api.DeleteCanvas(canvas);
        canvas = nullptr;
    }
    return canvas;
}

// Stripes of colour under a light grid, so that every effect has something to combine with.
void PaintBackdrop(const SamplerApi& api, cCanvas* c)
{
    for (int y = 0; y < kCell; y++)
        for (int x = 0; x < kCell; x++) {
            bool grid = x % 12 == 0 || y % 12 == 0;
            int band = (x + y) / 16 % 3;
            COLORREF colour = grid ? RGB(230, 230, 230)
                                   : RGB(band == 0 ? 220 : 40, band == 1 ? 180 : 60, band == 2 ? 230 : 50 + 3 * y);
            api.SetPixel(c, x, y, colour);
        }
}

// A disc shaded from yellow to red, the key colour outside; with alpha, a plane that fades over the edge.
bool PaintDisc(const SamplerApi& api, cCanvas* c, bool alpha)
{
    unsigned char* plane = alpha ? api.CreateAlphaPlane(c) : nullptr;
    if (alpha && !plane)
        return false;
    int step = alpha ? api.GetAlphaRowStep(c) : 0;
    const double r = kDisc / 2.0;
    for (int y = 0; y < kDisc; y++)
        for (int x = 0; x < kDisc; x++) {
            double d = sqrt((x + 0.5 - r) * (x + 0.5 - r) + (y + 0.5 - r) * (y + 0.5 - r));
            bool inside = d < r - 0.5;
            COLORREF colour = inside ? RGB(250, (int)(230 - 160 * d / r), 30 + x * 4) : kKey;
            api.SetPixel(c, x, y, colour);
            if (plane) {
                double a = (r - d) / 6.0;   // a six-pixel soft edge
                plane[y * step + x] = (unsigned char)(a <= 0 ? 0 : a >= 1 ? 255 : a * 255);
            }
        }
    api.SetTransparentColour(c, kKey);
    return true;
}

}  // namespace

int DrawInkSampler(HMODULE dll, const char* path)
{
    SamplerApi api;
    if (!api.Bind(dll))
        return -1;
    const int depthCount = sizeof(kDepths) / sizeof(kDepths[0]);
    cCanvas* back32 = NewSurface(api, kCell, kCell, 32);
    cCanvas* key32 = NewSurface(api, kDisc, kDisc, 32);
    cCanvas* sheet = NewSurface(api, kCell * kCellCount, kCell * depthCount, 24);
    if (!back32 || !key32 || !sheet)
        return -1;
    PaintBackdrop(api, back32);
    PaintDisc(api, key32, false);

    int failed = 0;
    for (int row = 0; row < depthCount; row++) {
        int depth = kDepths[row];
        cCanvas* back = NewSurface(api, kCell, kCell, depth);
        cCanvas* key = NewSurface(api, kDisc, kDisc, depth);
        cCanvas* soft = NewSurface(api, kDisc, kDisc, depth);
        cCanvas* strip = NewSurface(api, kCell * kCellCount, kCell, depth);
        if (!back || !key || !soft || !strip) {
            failed += kCellCount;
        } else {
            // The pictures reach this depth through the conversion between formats.
            failed += !api.Blit(back32, back, 0, 0, 0, 0, kCell, kCell, 0, 0, 0, 0);
            failed += !api.Blit(key32, key, 0, 0, 0, 0, kDisc, kDisc, 0, 0, 0, 0);
            api.SetTransparentColour(key, kKey);
            failed += !PaintDisc(api, soft, true);
            const int inset = (kCell - kDisc) / 2;
            for (int i = 0; i < kCellCount; i++) {
                const Cell& cell = kCells[i];
                failed += !api.Blit(back, strip, i * kCell, 0, 0, 0, kCell, kCell, 0, 0, 0, 0);
                failed += !api.Blit(cell.alphaPlane ? soft : key, strip, i * kCell + inset, inset, 0, 0, kDisc,
                                    kDisc, cell.mode, cell.effect, cell.parameter, 0);
            }
            failed += !api.Blit(strip, sheet, 0, row * kCell, 0, 0, kCell * kCellCount, kCell, 0, 0, 0, 0);
        }
        cCanvas* made[] = {back, key, soft, strip};
        for (cCanvas* c : made)
            if (c)
                api.DeleteCanvas(c);
    }
    if (!api.SaveBitmapFile(sheet, path, 0))
        failed++;
    api.DeleteCanvas(back32);
    api.DeleteCanvas(key32);
    api.DeleteCanvas(sheet);

    printf("  ink sampler: %s (rows: 8, 15, 16, 24, 32 bits; columns:", path);
    for (int i = 0; i < kCellCount; i++)
        printf("%s %s", i ? "," : "", kCells[i].name);
    printf(")%s\n", failed ? "" : ", every blit drawn");
    if (failed)
        printf("  ink sampler: %d blits or steps failed\n", failed);
    return failed;
}
