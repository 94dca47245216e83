// The bounds of packed bitmap headers and the view over a packed bitmap's rows.
#include "dib_view.h"

#include <limits.h>
#include <string.h>

#include "surface/palette.h"
#include "surface/surface_size.h"

namespace kx {

// The surface format of a bitmap of 16 or 32 bits: plain 16-bit rows are 5-5-5; bit fields must be one of the
// layouts the formats store.
static int DepthOfMasks(int bitCount, const uint32_t* masks)
{
    uint32_t red = masks[0], green = masks[1], blue = masks[2];
    if (bitCount == 16 && blue == 0x1F && green == 0x3E0 && red == 0x7C00)
        return 15;
    if (bitCount == 16 && blue == 0x1F && green == 0x7E0 && red == 0xF800)
        return 16;
    if (bitCount == 32 && blue == 0xFF && green == 0xFF00 && red == 0xFF0000)
        return 32;
    return 0;
}

int CheckDibHeader(const BITMAPINFOHEADER* h, const uint32_t* masks, DibLayout* out)
{
    if (!h || h->biSize != 40)
        return ERR_BAD_FORMAT;
    int bits = h->biBitCount;
    bool fields = h->biCompression == BI_BITFIELDS;
    if (h->biCompression != BI_RGB && !fields)
        return ERR_BAD_FORMAT;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return ERR_BAD_FORMAT;
    if (fields && bits != 16 && bits != 32)
        return ERR_BAD_FORMAT;
    if (h->biWidth <= 0 || h->biHeight == 0 || h->biHeight == INT_MIN)
        return ERR_BAD_FORMAT;

    DibLayout l{};
    l.width = h->biWidth;
    l.topDown = h->biHeight < 0;
    l.height = l.topDown ? -h->biHeight : h->biHeight;
    l.bitCount = bits;
    if (bits <= 8) {
        uint32_t full = 1u << bits;
        if (h->biClrUsed > full)
            return ERR_BAD_FORMAT;
        l.colours = h->biClrUsed ? (int)h->biClrUsed : (int)full;
        l.tableBytes = 4u * (uint32_t)l.colours;
        l.depth = bits == 8 ? 8 : 0;
    } else if (fields) {
        l.tableBytes = 12;
        l.depth = masks ? DepthOfMasks(bits, masks) : bits;
        if (!l.depth)
            return ERR_BAD_FORMAT;
    } else {
        l.depth = bits == 16 ? 15 : bits;
    }
    SurfaceSize size;
    if (!ComputeSurfaceSize(l.width, l.height, bits, 4, &size) || size.bytes > (uint32_t)INT32_MAX - 40 - 1024)
        return ERR_BAD_FORMAT;
    l.pitch = size.pitch;
    l.pixelBytes = size.bytes;
    *out = l;
    return 0;
}

int cDibView::Over(const BITMAPINFOHEADER* header, unsigned char* bits, bool palette)
{
    SetDepth(0);
    const unsigned char* base = reinterpret_cast<const unsigned char*>(header);
    DibLayout l;
    const uint32_t* masks = header ? reinterpret_cast<const uint32_t*>(base + 40) : nullptr;
    // The view reads rows as bytes of a surface format: 1- and 4-bit rows must be widened first.
    if (CheckDibHeader(header, masks, &l) != 0 || l.depth == 0)
        return ERR_BAD_FORMAT;
    if (!bits)
        bits = const_cast<unsigned char*>(base) + 40 + l.tableBytes;

    if (l.depth == 8) {
        SharedPalette* made = nullptr;
        if (palette) {
            // 256 entries are always declared; those the table does not have are black.
            struct {
                WORD version;
                WORD count;
                PALETTEENTRY entries[256];
            } log = {0x300, 256, {}};
            const RGBQUAD* table = reinterpret_cast<const RGBQUAD*>(base + 40);
            for (int i = 0; i < l.colours; i++)
                log.entries[i] = PALETTEENTRY{table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue, 0};
            made = GetSharedPalette(reinterpret_cast<LOGPALETTE*>(&log));
            if (!made)
                return ERR_NO_MEMORY;
        }
        ReleaseSharedPalette(d.palette);
        d.palette = made;
    }

    SetDepth(l.depth);
    d.width = l.width;
    d.height = l.height;
    d.pitch = l.pitch;
    d.pixelBlock = bits;
    d.bottomUp = !l.topDown;
    d.rowStep = l.topDown ? l.pitch : -l.pitch;
    d.rowZero = l.topDown ? bits : bits + (ptrdiff_t)(l.height - 1) * l.pitch;
    ResetClipRect();
    return 0;
}

}  // namespace kx
