// A sample host: loads Kalvex2.dll, binds the functions it needs by ordinal (no import library, so any compiler's
// host can do the same), and reports what the library found and what it could do with canvases.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "bind_ordinal.h"
#include "ink_sampler.h"
#include "kalvex2/canvas.h"
#include "kalvex2/frame.h"
#include "kalvex2/image_file.h"

namespace {

// Members are __thiscall (object in ECX), free functions __cdecl.
struct Api {
    int(__cdecl* GetLibraryBuild)();
    RECT*(__cdecl* GetDesktopRect)(RECT*);
    int(__cdecl* GetPrototype)(cCanvas**, int, int, int);
    cCanvas*(__cdecl* NewCanvas)();
    void(__cdecl* DeleteCanvas)(cCanvas*);
    cSurfaceBackend*(__cdecl* GetBackend)(cCanvas*);
    int(KX_THISCALL* CreateLike)(cCanvas*, int, int, cCanvas*);
    int(KX_THISCALL* IsValid)(cCanvas*);
    unsigned long(KX_THISCALL* GetError)(cCanvas*);
    int(KX_THISCALL* GetInfo)(cCanvas*, int*, int*, int*);
    void(KX_THISCALL* SetPosition)(cCanvas*, int, int);
    void(KX_THISCALL* GetClipRect)(cCanvas*, int*, int*, int*, int*);
    void(KX_THISCALL* SetPixel)(cCanvas*, int, int, COLORREF);
};

// Image files through the plug-ins of a folder.
struct ImageApi {
    cImageFilterSet*(__cdecl* NewImageFilterSet)();
    void(KX_THISCALL* ScanImageFilters)(cImageFilterSet*, const char*, long);
    cPluginFilterSet*(KX_THISCALL* UnloadAll)(cImageFilterSet*);
    void(KX_THISCALL* Delete)(cImageFilterSet*);
    int(__cdecl* LoadImageFile)(cImageFilterSet*, const char*, cCanvas*, unsigned long*, int);
    int(__cdecl* SaveImageFile)(cImageFilterSet*, const char*, cCanvas*, unsigned long);
};

const char* ModeName(int bits)
{
    switch (bits) {
    case 8: return "256 colours (palette)";
    case 15: return "15-bit high colour";
    case 16: return "16-bit high colour";
    case 24: return "24-bit true colour";
    case 32: return "32-bit true colour";
    default: return "other";
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const char* path = argc > 1 ? argv[1] : "Kalvex2.dll";
    HMODULE dll = LoadLibraryA(path);
    if (!dll) {
        printf("sample host: cannot load %s (error %lu)\n", path, GetLastError());
        return 1;
    }
    Api api;
    bool ok = BindOrdinal(dll, 11, api.GetLibraryBuild) & BindOrdinal(dll, 227, api.GetDesktopRect) &
              BindOrdinal(dll, 172, api.GetPrototype) & BindOrdinal(dll, 173, api.NewCanvas) &
              BindOrdinal(dll, 174, api.DeleteCanvas) & BindOrdinal(dll, 568, api.GetBackend) &
              BindOrdinal(dll, 372, api.CreateLike) & BindOrdinal(dll, 610, api.IsValid) &
              BindOrdinal(dll, 485, api.GetError) & BindOrdinal(dll, 521, api.GetInfo) &
              BindOrdinal(dll, 736, api.SetPosition) & BindOrdinal(dll, 476, api.GetClipRect);
    if (!ok)
        return 1;

    printf("Kalvex2 sample host\n");
    printf("  library: %s, build %d\n", path, api.GetLibraryBuild());
    RECT desk;
    api.GetDesktopRect(&desk);
    HDC screen = GetDC(nullptr);
    int bits = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
    ReleaseDC(nullptr, screen);
    printf("  desktop: (%ld, %ld) - (%ld, %ld), screen of %d bits per pixel: %s\n", desk.left, desk.top, desk.right,
           desk.bottom, bits, ModeName(bits));

    // Every surface copies the library's processor feature word into its descriptor; the 32-bit memory prototype
    // shows it once the library has surfaces of that class.
    cCanvas* proto = nullptr;
    int exact = api.GetPrototype(&proto, 32, 0, 0);
    printf("  32-bit memory prototype: %s (exact depth: %s)\n", api.IsValid(proto) ? "built" : "not built yet",
           exact ? "yes" : "no");
    if (api.IsValid(proto)) {
        unsigned long word = api.GetBackend(proto)->d.flags & 0xFF;
        printf("  processor feature word: 0x%02lx (%s%s%s%s%s)\n", word, word & CPU_MMX ? "MMX " : "",
               word & CPU_SSE ? "SSE " : "", word & CPU_SSE2 ? "SSE2 " : "", word & CPU_EXT31 ? "ext31 " : "",
               word & CPU_EXT30 ? "ext30" : "");
    } else {
        printf("  processor feature word: shown by surfaces, none of which can be made yet\n");
    }

    static const int depths[] = {8, 15, 16, 24, 32};
    for (int depth : depths) {
        cCanvas* canvas = api.NewCanvas();
        cCanvas* prototype = nullptr;
        api.GetPrototype(&prototype, depth, 0, 0);
        int made = api.CreateLike(canvas, 320, 200, prototype);
        int w = 0, h = 0, d = 0;
        api.GetInfo(canvas, &w, &h, &d);
        api.SetPosition(canvas, 10, 20);
        int cx = 0, cy = 0, cw = 0, ch = 0;
        api.GetClipRect(canvas, &cx, &cy, &cw, &ch);
        if (made)
            printf("  canvas %2d bits: %d x %d x %d, clip (%d, %d, %d x %d)\n", depth, w, h, d, cx, cy, cw, ch);
        else
            printf("  canvas %2d bits: not created (status 0x%08lx): no surface class for it yet\n", depth,
                   api.GetError(canvas));
        api.DeleteCanvas(canvas);
    }

    // Every blit the library can make, at every depth, in one picture.
    char sampler[MAX_PATH];
    if (!GetFullPathNameA("ink_sampler.bmp", MAX_PATH, sampler, nullptr))
        lstrcpyA(sampler, "ink_sampler.bmp");
    int samplerFailures = DrawInkSampler(dll, sampler);
    if (samplerFailures < 0)
        printf("  ink sampler: the library lacks an export it needs\n");
    // Image files: the plug-ins in the "plugins" folder beside this program write a picture and read it back.
    ImageApi image;
    if (BindOrdinal(dll, 745, api.SetPixel) & BindOrdinal(dll, 794, image.NewImageFilterSet) &
        BindOrdinal(dll, 591, image.ScanImageFilters) & BindOrdinal(dll, 456, image.UnloadAll) &
        BindOrdinal(dll, 398, image.Delete) & BindOrdinal(dll, 136, image.LoadImageFile) &
        BindOrdinal(dll, 140, image.SaveImageFile)) {
        char folder[MAX_PATH];
        GetModuleFileNameA(nullptr, folder, MAX_PATH);
        *strrchr(folder, '\\') = 0;
        strcat(folder, "\\plugins");
        cImageFilterSet* set = image.NewImageFilterSet();
        image.ScanImageFilters(set, folder, 0);
        printf("  image plug-ins in %s: %d\n", folder, set->GetCount());
        for (int i = 0; i < set->GetCount(); ++i)
            printf("    %s (%s)\n", set->GetName(i), set->GetPath(i));
        cCanvas* picture = api.NewCanvas();
        cCanvas* prototype = nullptr;
        api.GetPrototype(&prototype, 24, 0, 0);
        if (api.CreateLike(picture, 64, 48, prototype)) {
            for (int y = 0; y < 48; ++y)
                for (int x = 0; x < 64; ++x)
                    api.SetPixel(picture, x, y, RGB(x * 4, y * 5, 128));
            static const struct {
                const char* file;
                unsigned long id;
            } formats[] = {{"sample.bmp", FILTER_ID_BMP}, {"sample.png", KX_FILTER_ID('P', 'N', 'G', ' ')}};
            for (const auto& f : formats) {
                cCanvas* loaded = api.NewCanvas();
                unsigned long id = 0;
                int saved = image.SaveImageFile(set, f.file, picture, f.id);
                int read = saved && image.LoadImageFile(set, f.file, loaded, &id, 0);
                int w = 0, h = 0, d = 0;
                api.GetInfo(loaded, &w, &h, &d);
                printf("  %s: %s, %s: %d x %d x %d (filter %.4s)\n", f.file, saved ? "saved" : "not saved",
                       read ? "read back" : "not read", w, h, d, reinterpret_cast<const char*>(&id));
                api.DeleteCanvas(loaded);
            }
        }
        api.DeleteCanvas(picture);
        image.UnloadAll(set);
        image.Delete(set);
    }
    FreeLibrary(dll);
    return samplerFailures == 0 ? 0 : 1;
}
