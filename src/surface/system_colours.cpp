// The system colour table that the library exports as data: colours 0 to 28 as the display shows them, loaded on
// the first query. Process-wide and unlocked: every writer stores the same values.
#include "surface/palette.h"

extern "C" {
COLORREF kx_system_colours[29] = {};
int kx_system_colours_valid = 0;
}

namespace {

// On a 15- or 16-bit screen a colour is shown with fewer bits than GetSysColor reports; drawing the colours into a
// screen-compatible bitmap and reading them back gives what a person sees, which is what drawing code compares
// pixels against.
void ReadBackThroughScreen(HDC screen)
{
    const int width = 100, height = 8, stride = (width * 3 + 3) & ~3;
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HDC dc = CreateCompatibleDC(screen);
    if (bitmap && dc) {
        HGDIOBJ old = SelectObject(dc, bitmap);
        for (int i = 0; i < 29; i++)
            SetPixel(dc, i, 0, kx_system_colours[i]);
        SelectObject(dc, old);
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = height;  // bottom-up: the top row comes last
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        info.bmiHeader.biCompression = BI_RGB;
        unsigned char pixels[stride * height];
        if (GetDIBits(dc, bitmap, 0, height, pixels, &info, DIB_RGB_COLORS) == height) {
            const unsigned char* top = pixels + (height - 1) * stride;
            for (int i = 0; i < 29; i++)
                kx_system_colours[i] = RGB(top[3 * i + 2], top[3 * i + 1], top[3 * i]);
        }
    }
    if (dc)
        DeleteDC(dc);
    if (bitmap)
        DeleteObject(bitmap);
}

}  // namespace

int RefreshSystemColours()
{
    // Colour 25 has no meaning to the system; its entry stays 0.
    for (int i = 0; i < 29; i++)
        kx_system_colours[i] = i == 25 ? 0 : GetSysColor(i);
    HDC screen = GetDC(nullptr);
    if (screen) {
        int bits = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
        if (bits == 15 || bits == 16)
            ReadBackThroughScreen(screen);
        ReleaseDC(nullptr, screen);
    }
    kx_system_colours[25] = 0;
    return 1;
}

int RefreshSystemColoursIfLoaded()
{
    if (!kx_system_colours_valid)
        return 0;
    return RefreshSystemColours();
}

COLORREF GetSystemColour(int index)
{
    if (!kx_system_colours_valid) {
        RefreshSystemColours();
        kx_system_colours_valid = 1;
    }
    if (index >= 0 && index < 29)
        return kx_system_colours[index];
    return GetSysColor(index);
}
