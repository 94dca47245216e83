// A surface as an icon or a cursor: drawn (scaled down when it does not fit) into a 24-bit picture of the icon's
// size cleared with the transparent colour; the pixels left in that colour become the transparent part.
#include "backend.h"

#include <string.h>

#include "kernels/kernel_set.h"

using namespace kx;

HICON cCanvas::CreateIcon(int width, int height, COLORREF transparent, const POINT* hotSpot)
{
    if (width == 0)
        width = GetSystemMetrics(SM_CXICON);
    if (height == 0)
        height = GetSystemMetrics(SM_CYICON);
    SurfaceDesc& s = backend->d;
    if (width <= 0 || height <= 0 || s.width <= 0 || s.height <= 0)
        return nullptr;

    cCanvas picture;
    if (!picture.CreateLike(width, height, Prototypes().memory[FORMAT_24]))
        return nullptr;
    SurfaceDesc& p = picture.backend->d;
    p.kernels->fill(&p, 0, 0, p.rowStep, width, height, transparent & 0xFFFFFF);

    int drawn;
    if (s.width > width || s.height > height) {
        // Scaled to fit, keeping the proportions.
        int w, h;
        if ((int64_t)s.height * 256 / height < (int64_t)s.width * 256 / width) {
            w = width;
            h = (int)((int64_t)width * s.height / s.width);
        } else {
            w = (int)((int64_t)s.width * height / s.height);
            h = height;
        }
        w = w < 1 ? 1 : w;
        h = h < 1 ? 1 : h;
        drawn = backend->StretchBlit(picture.backend, (width - w) / 2, (height - h) / 2, w, h, 0, 0, s.width,
                                     s.height, 0, 0, 0, 3);
    } else {
        drawn = backend->Blit(picture.backend, (width - s.width) / 2, (height - s.height) / 2, 0, 0, s.width,
                              s.height, 0, 0, 0, 0);
    }
    // An icon of nothing but the transparent colour is not what was asked for.
    if (!drawn)
        return nullptr;

    // The picture's rows are those of a top-down 24-bit bitmap; the mask rows are 16-bit aligned, top row first.
    int maskPitch = (width + 15) / 16 * 2;
    void* maskBlock = nullptr;
    if (!CallocRetry((size_t)maskPitch * height, &maskBlock))
        return nullptr;
    unsigned char* mask = static_cast<unsigned char*>(maskBlock);
    unsigned char key[3] = {(unsigned char)(transparent >> 16), (unsigned char)(transparent >> 8),
                            (unsigned char)transparent};
    for (int y = 0; y < height; y++) {
        unsigned char* row = p.rowZero + (ptrdiff_t)y * p.rowStep;
        for (int x = 0; x < width; x++) {
            if (memcmp(row + 3 * x, key, 3) == 0) {
                mask[y * maskPitch + x / 8] |= (unsigned char)(0x80 >> (x & 7));
                memset(row + 3 * x, 0, 3);
            }
        }
    }

    HICON icon = nullptr;
    HBITMAP maskBitmap = CreateBitmap(width, height, 1, 1, mask);
    if (maskBitmap) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        info.bmiHeader.biCompression = BI_RGB;
        HDC screen = ::GetDC(nullptr);
        HBITMAP colour = CreateCompatibleBitmap(screen, width, height);
        if (colour)
            SetDIBits(screen, colour, 0, (UINT)height, p.rowZero, &info, DIB_RGB_COLORS);
        ::ReleaseDC(nullptr, screen);
        ICONINFO parts = {};
        parts.fIcon = hotSpot ? FALSE : TRUE;
        parts.xHotspot = hotSpot ? (DWORD)hotSpot->x : 0;
        parts.yHotspot = hotSpot ? (DWORD)hotSpot->y : 0;
        parts.hbmMask = maskBitmap;
        parts.hbmColor = colour;
        if (colour)
            icon = CreateIconIndirect(&parts);
        if (colour)
            DeleteObject(colour);
        DeleteObject(maskBitmap);
    }
    FreeAndNull(&maskBlock);
    return icon;
}
