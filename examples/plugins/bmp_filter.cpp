// Sample image plug-in: Windows bitmap files. Reads 1, 4, 8, 16, 24 and 32 bits per pixel (uncompressed, with
// or without bit-field masks) and writes 8, 15, 16, 24 and 32 bits; SetOption(BMP_OPTION_PACK) makes it write
// 8-bit images of at most 2 or 16 colours at 1 or 4 bits. It shows the whole contract in one file: the exports
// the filter set looks up, a filter derived from cImageFilter, and row conversion through the base class.
#include <new>
#include <string.h>

#include "kalvex2/filters.h"
#include "kalvex2/image_filter.h"

namespace {

enum { BMP_OPTION_PACK = 1 };
const int kMaxSide = 32768; // refuse sizes no real bitmap has before anything is allocated

unsigned Get16(const unsigned char* p) { return p[0] | p[1] << 8; }
unsigned long Get32(const unsigned char* p) { return Get16(p) | (unsigned long)Get16(p + 2) << 16; }
void Put16(unsigned char* p, unsigned v) { p[0] = (unsigned char)v, p[1] = (unsigned char)(v >> 8); }
void Put32(unsigned char* p, unsigned long v) { Put16(p, v & 0xFFFF), Put16(p + 2, (unsigned)(v >> 16)); }

class BmpFilter final : public cImageFilter {
public:
    // user[0]: file offset of the pixel rows; user[1]: 1 when rows are stored bottom-up; user[2]: bits per
    // pixel in the file (1 and 4 are expanded to 8 for the library).
    long packOption = 0;

    void Release() override { delete this; }
    unsigned long GetID() override { return FILTER_ID_BMP; }
    const char* GetName() override { return "BMP"; }
    int CanReadImages() override { return 1; }
    int CanWriteImages() override { return 1; }
    void SetOption(long value) override { packOption = value; }

    int CheckStream(cInStream* input) override
    {
        unsigned char magic[2];
        return input->ReadExact(magic, 2) == STATUS_OK && magic[0] == 'B' && magic[1] == 'M';
    }

    int ReadHeader(cInStream* input) override
    {
        unsigned char h[14 + 124];
        if (input->ReadExact(h, 18) != STATUS_OK || h[0] != 'B' || h[1] != 'M')
            return IMGERR_UNKNOWN_FORMAT;
        unsigned long infoSize = Get32(h + 14);
        if (infoSize < 40 || infoSize > 124 || input->ReadExact(h + 18, (int)infoSize - 4) != STATUS_OK)
            return IMGERR_UNKNOWN_FORMAT;
        long w = (long)Get32(h + 18), hgt = (long)Get32(h + 22);
        int bits = Get16(h + 28);
        unsigned long compression = Get32(h + 30), used = Get32(h + 46);
        if (w <= 0 || w > kMaxSide || hgt == 0 || hgt > kMaxSide || hgt < -kMaxSide)
            return IMGERR_UNKNOWN_FORMAT;
        unsigned long masks[4] = {0, 0, 0, 0};
        if (compression == 3) { // bit fields: in the header from 52 bytes on, else right after it
            if (infoSize < 52 && input->ReadExact(h + 14 + infoSize, 12) != STATUS_OK)
                return IMGERR_UNKNOWN_FORMAT;
            for (int i = 0; i < 3; ++i)
                masks[i] = Get32(h + 54 + 4 * i);
            if (infoSize >= 56)
                masks[3] = Get32(h + 66);
        } else if (compression != 0) {
            return IMGERR_UNKNOWN_FORMAT; // run-length files are left to other plug-ins
        }
        width = (int)w;
        height = hgt < 0 ? (int)-hgt : (int)hgt;
        user[1] = hgt > 0;
        user[2] = bits;
        switch (bits) {
        case 1: case 4: case 8: depth = 8; break;
        case 16:
            if (compression == 0 || (masks[0] == 0x7C00 && masks[1] == 0x3E0 && masks[2] == 0x1F))
                depth = 15;
            else if (masks[0] == 0xF800 && masks[1] == 0x7E0 && masks[2] == 0x1F)
                depth = 16;
            else
                return IMGERR_UNKNOWN_FORMAT;
            break;
        case 24: depth = 24; break;
        case 32:
            if (compression == 3 && (masks[0] != 0xFF0000 || masks[1] != 0xFF00 || masks[2] != 0xFF))
                return IMGERR_UNKNOWN_FORMAT;
            depth = 32;
            break;
        default: return IMGERR_UNKNOWN_FORMAT;
        }
        SetHasAlpha(bits == 32 && masks[3] == 0xFF000000UL);
        ComputeLineBytes();
        pitch = (int)(((unsigned long)width * bits + 31) / 32 * 4); // rows of the file, padded to 4 bytes
        user[0] = (long)Get32(h + 10);
        if (bits <= 8) {
            // The palette follows the header (and the masks); more than 256 entries are never read.
            int count = used == 0 || used > (1UL << bits) ? 1 << bits : (int)used;
            if (!SetPaletteCount(count))
                return IMGERR_NO_MEMORY;
            int at = 14 + (int)infoSize + (compression == 3 && infoSize < 52 ? 12 : 0);
            if (input->Seek(at, SEEK_FROM_START) != at) // Seek answers the new position
                return IMGERR_UNKNOWN_FORMAT;
            for (int i = 0; i < count; ++i) {
                unsigned char q[4];
                if (input->ReadExact(q, 4) != STATUS_OK)
                    return IMGERR_UNKNOWN_FORMAT;
                palette->palPalEntry[i].peRed = q[2];
                palette->palPalEntry[i].peGreen = q[1];
                palette->palPalEntry[i].peBlue = q[0];
            }
        }
        currentFrame = -1;
        return IMGERR_OK;
    }

    int ReadImage(cInStream* input, unsigned char* firstRow, int rowStep, unsigned char* alphaRow,
                  int alphaStep) override
    {
        if (input->Seek((int)user[0], SEEK_FROM_START) != (int)user[0])
            return IMGERR_UNKNOWN_FORMAT;
        // Nothing may throw across the library's calls: allocations say so instead.
        unsigned char* fileRow = new (std::nothrow) unsigned char[pitch];
        unsigned char* expanded = new (std::nothrow) unsigned char[width * 4];
        int result = fileRow && expanded ? IMGERR_OK : IMGERR_NO_MEMORY;
        for (int i = 0; i < height && result == IMGERR_OK; ++i) {
            if (input->ReadExact(fileRow, pitch) != STATUS_OK) {
                result = IMGERR_UNKNOWN_FORMAT; // a truncated file
                break;
            }
            int y = user[1] ? height - 1 - i : i;
            const unsigned char* row = fileRow;
            if (user[2] < 8) { // one index per byte, as the library's 8-bit format wants
                int bits = (int)user[2], perByte = 8 / bits;
                for (int x = 0; x < width; ++x)
                    expanded[x] = (unsigned char)(fileRow[x / perByte] >> (8 - bits * (x % perByte + 1)) &
                                                  ((1 << bits) - 1));
                row = expanded;
            }
            unsigned char* out = firstRow + (ptrdiff_t)y * rowStep;
            if (needsConversion)
                ConvertLine(out, row, width);
            else
                memcpy(out, row, (size_t)width * bytesPerPixel);
            if (alphaRow && hasAlpha)
                for (int x = 0; x < width; ++x)
                    alphaRow[(ptrdiff_t)y * alphaStep + x] = row[4 * x + 3];
        }
        delete[] fileRow;
        delete[] expanded;
        currentFrame = 0;
        return result;
    }

    int WriteImage(cOutStream* output, const unsigned char* pixels, int w, int h, int d, int rowStep,
                   LOGPALETTE* pal, const unsigned char* alpha, int alphaStep) override
    {
        int colours = d == 8 ? (pal && pal->palNumEntries ? (pal->palNumEntries > 256 ? 256 : pal->palNumEntries) : 256)
                             : 0;
        int bits = d == 15 ? 16 : d;
        if (d == 8 && packOption == BMP_OPTION_PACK)
            bits = colours <= 2 ? 1 : colours <= 16 ? 4 : 8;
        bool withAlpha = d == 32 && alphaStep != 0;
        bool fields = d == 16 || withAlpha;
        unsigned long infoSize = withAlpha ? 108 : 40;
        unsigned long tableBytes = (unsigned long)colours * 4 + (fields && !withAlpha ? 12 : 0);
        unsigned long rowBytes = ((unsigned long)w * bits + 31) / 32 * 4;
        unsigned long offset = 14 + infoSize + tableBytes;
        unsigned char h8[14 + 108 + 12] = {};
        h8[0] = 'B', h8[1] = 'M';
        Put32(h8 + 2, offset + rowBytes * h);
        Put32(h8 + 10, offset);
        Put32(h8 + 14, infoSize);
        Put32(h8 + 18, (unsigned long)w);
        Put32(h8 + 22, (unsigned long)h);
        Put16(h8 + 26, 1);
        Put16(h8 + 28, (unsigned)bits);
        Put32(h8 + 30, fields ? 3 : 0);
        Put32(h8 + 34, rowBytes * h);
        Put32(h8 + 46, (unsigned long)colours);
        if (fields) {
            unsigned long m[4] = {0xF800, 0x7E0, 0x1F, 0};
            if (withAlpha)
                m[0] = 0xFF0000, m[1] = 0xFF00, m[2] = 0xFF, m[3] = 0xFF000000UL;
            for (int i = 0; i < (withAlpha ? 4 : 3); ++i)
                Put32(h8 + 54 + 4 * i, m[i]);
        }
        if (output->Write(h8, (int)(14 + infoSize + (fields && !withAlpha ? 12 : 0))) != STATUS_OK)
            return IMGERR_CANT_CREATE;
        for (int i = 0; i < colours; ++i) {
            unsigned char q[4] = {0, 0, 0, 0};
            if (pal && i < pal->palNumEntries)
                q[0] = pal->palPalEntry[i].peBlue, q[1] = pal->palPalEntry[i].peGreen, q[2] = pal->palPalEntry[i].peRed;
            else
                q[0] = q[1] = q[2] = (unsigned char)i; // no palette given: a grey ramp
            if (output->Write(q, 4) != STATUS_OK)
                return IMGERR_CANT_CREATE;
        }
        unsigned char* row = new (std::nothrow) unsigned char[rowBytes];
        int result = row ? IMGERR_OK : IMGERR_NO_MEMORY;
        for (int y = h - 1; row && y >= 0 && result == IMGERR_OK; --y) {
            const unsigned char* in = pixels + (ptrdiff_t)y * rowStep;
            memset(row, 0, rowBytes);
            if (bits < 8) {
                for (int x = 0; x < w; ++x)
                    row[x * bits / 8] |= (unsigned char)((in[x] & ((1 << bits) - 1)) << (8 - bits - x * bits % 8));
            } else {
                memcpy(row, in, (size_t)w * (bits / 8));
                if (withAlpha)
                    for (int x = 0; x < w; ++x)
                        row[4 * x + 3] = alpha[(ptrdiff_t)y * alphaStep + x];
            }
            if (output->Write(row, (int)rowBytes) != STATUS_OK)
                result = IMGERR_CANT_CREATE;
        }
        delete[] row;
        return result;
    }
};

const char* kExtensions[] = {"bmp", "dib", nullptr};

}  // namespace

// The contract: three required exports and the optional ones, all __stdcall, looked up by these exact names.
KX_PLUGIN_EXPORT void* KX_STDCALL CreateFilter(long) { return new (std::nothrow) BmpFilter; }
KX_PLUGIN_EXPORT const char* KX_STDCALL GetFilterName() { return "BMP"; }
KX_PLUGIN_EXPORT unsigned long KX_STDCALL GetFilterID() { return FILTER_ID_BMP; }
KX_PLUGIN_EXPORT const char** KX_STDCALL GetFilterExts() { return kExtensions; }
KX_PLUGIN_EXPORT int KX_STDCALL CanReadFile(cInStream* input)
{
    unsigned char magic[2];
    return input->ReadExact(magic, 2) == STATUS_OK && magic[0] == 'B' && magic[1] == 'M';
}
