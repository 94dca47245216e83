// Sample image plug-in: PNG files, decoded and encoded by stb_image and stb_image_write (Debian's libstb-dev)
// rather than by code of our own. Palette images are read as 8-bit images with their palette (and their
// transparency as an alpha plane); grey and colour images as 24 bits, or 32 with alpha. It writes 8-bit images
// as palette PNGs and 24- and 32-bit images as colour PNGs (32 with the caller's alpha plane when one is given).
#include <new>
#include <stdlib.h>
#include <string.h>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb_image.h>
#include <stb_image_write.h>
#pragma GCC diagnostic pop

#include "kalvex2/filters.h"
#include "kalvex2/image_filter.h"

namespace {

const unsigned long FILTER_ID_PNG = KX_FILTER_ID('P', 'N', 'G', ' ');
const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
const int kMaxFileBytes = 64 << 20;
const int kMaxSide = 16384;

unsigned long Big32(const unsigned char* p)
{
    return (unsigned long)p[0] << 24 | (unsigned long)p[1] << 16 | (unsigned long)p[2] << 8 | p[3];
}

void PutBig32(unsigned char* p, unsigned long v)
{
    p[0] = (unsigned char)(v >> 24), p[1] = (unsigned char)(v >> 16), p[2] = (unsigned char)(v >> 8);
    p[3] = (unsigned char)v;
}

unsigned long Crc32(const unsigned char* data, size_t n, unsigned long crc = 0)
{
    crc = ~crc & 0xFFFFFFFFUL;
    for (size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320UL : crc >> 1;
    }
    return ~crc & 0xFFFFFFFFUL;
}

// One chunk: length, type, data, CRC of type and data.
bool WriteChunk(cOutStream* output, const char* type, const unsigned char* data, unsigned long length)
{
    unsigned char head[8], tail[4];
    PutBig32(head, length);
    memcpy(head + 4, type, 4);
    PutBig32(tail, Crc32(data, length, Crc32(head + 4, 4)));
    return output->Write(head, 8) == STATUS_OK && (length == 0 || output->Write(data, (int)length) == STATUS_OK) &&
           output->Write(tail, 4) == STATUS_OK;
}

class PngFilter final : public cImageFilter {
public:
    unsigned char* file = nullptr; // the whole file: stb decodes from memory
    int fileBytes = 0;
    int colourType = 0;
    unsigned char paletteAlpha[256];

    ~PngFilter() { free(file); }
    void Release() override { delete this; }
    unsigned long GetID() override { return FILTER_ID_PNG; }
    const char* GetName() override { return "PNG"; }
    unsigned long GetWriteDepths() override { return DEPTH_BIT_8 | DEPTH_BIT_24 | DEPTH_BIT_32; }
    int CanReadImages() override { return 1; }
    int CanWriteImages() override { return 1; }

    int CheckStream(cInStream* input) override
    {
        unsigned char head[8];
        return input->ReadExact(head, 8) == STATUS_OK && memcmp(head, kSignature, 8) == 0;
    }

    int ReadHeader(cInStream* input) override
    {
        free(file);
        file = nullptr;
        int size = input->GetSize() - input->Tell();
        if (size < 33 || size > kMaxFileBytes || !(file = (unsigned char*)malloc((size_t)size)))
            return size > kMaxFileBytes ? IMGERR_NO_MEMORY : IMGERR_UNKNOWN_FORMAT;
        fileBytes = size;
        int channels = 0;
        if (input->ReadExact(file, size) != STATUS_OK || memcmp(file, kSignature, 8) != 0 ||
            !stbi_info_from_memory(file, size, &width, &height, &channels) || width > kMaxSide || height > kMaxSide)
            return IMGERR_UNKNOWN_FORMAT;
        colourType = file[25];
        hasAlpha = channels == 2 || channels == 4;
        depth = hasAlpha ? 32 : 24;
        if (colourType == 3) { // keep the palette: walk the chunks for PLTE and tRNS
            memset(paletteAlpha, 255, sizeof(paletteAlpha));
            hasAlpha = 0;
            for (int at = 8; at + 12 <= size;) {
                unsigned long length = Big32(file + at);
                if (length > (unsigned long)(size - at - 12))
                    return IMGERR_UNKNOWN_FORMAT;
                const unsigned char* data = file + at + 8;
                if (memcmp(file + at + 4, "PLTE", 4) == 0) {
                    if (!SetPaletteCount((int)(length / 3)))
                        return IMGERR_NO_MEMORY;
                    for (int i = 0; i < palette->palNumEntries; ++i)
                        palette->palPalEntry[i] = PALETTEENTRY{data[3 * i], data[3 * i + 1], data[3 * i + 2], 0};
                } else if (memcmp(file + at + 4, "tRNS", 4) == 0) {
                    memcpy(paletteAlpha, data, length < 256 ? length : 256);
                    hasAlpha = 1;
                } else if (memcmp(file + at + 4, "IDAT", 4) == 0) {
                    break;
                }
                at += 12 + (int)length;
            }
            if (!palette)
                return IMGERR_UNKNOWN_FORMAT;
            depth = 8;
        }
        ComputeLineBytes();
        pitch = lineBytes;
        currentFrame = -1;
        return IMGERR_OK;
    }

    int ReadImage(cInStream*, unsigned char* firstRow, int rowStep, unsigned char* alphaRow, int alphaStep) override
    {
        int w, h, channels;
        unsigned char* rgba = stbi_load_from_memory(file, fileBytes, &w, &h, &channels, 4);
        if (!rgba)
            return IMGERR_UNKNOWN_FORMAT; // a damaged or truncated file
        unsigned char* row = new (std::nothrow) unsigned char[(size_t)w * 4];
        if (!row || w != width || h != height) {
            stbi_image_free(rgba);
            delete[] row;
            return row ? IMGERR_UNKNOWN_FORMAT : IMGERR_NO_MEMORY;
        }
        int last = 0; // palette images: stb hands back colours, we look each one up again
        for (int y = 0; y < h; ++y) {
            const unsigned char* in = rgba + (size_t)y * w * 4;
            for (int x = 0; x < w; ++x) {
                const unsigned char* p = in + 4 * x;
                if (depth == 8) {
                    if (!SameEntry(last, p))
                        for (last = 0; last < palette->palNumEntries - 1 && !SameEntry(last, p); ++last) {
                        }
                    row[x] = (unsigned char)last;
                } else {
                    unsigned char* o = row + x * bytesPerPixel;
                    o[0] = p[2], o[1] = p[1], o[2] = p[0];
                    if (depth == 32)
                        o[3] = 0;
                }
                if (alphaRow && hasAlpha)
                    alphaRow[(ptrdiff_t)y * alphaStep + x] = p[3];
            }
            unsigned char* out = firstRow + (ptrdiff_t)y * rowStep;
            if (needsConversion)
                ConvertLine(out, row, w);
            else
                memcpy(out, row, (size_t)w * bytesPerPixel);
        }
        delete[] row;
        stbi_image_free(rgba);
        currentFrame = 0;
        return IMGERR_OK;
    }

    int WriteImage(cOutStream* output, const unsigned char* pixels, int w, int h, int d, int rowStep,
                   LOGPALETTE* pal, const unsigned char* alpha, int alphaStep) override
    {
        if (d != 8 && d != 24 && d != 32)
            return IMGERR_BAD_DEPTH;
        int channels = d == 8 ? 1 : d == 32 && alphaStep ? 4 : 3;
        // Rows as PNG wants them: a filter byte (0) before each row of red, green, blue (and alpha) or indices.
        size_t rowBytes = (size_t)w * channels + 1;
        unsigned char* raw = (unsigned char*)malloc(rowBytes * h);
        if (!raw)
            return IMGERR_NO_MEMORY;
        for (int y = 0; y < h; ++y) {
            unsigned char* o = raw + rowBytes * y;
            const unsigned char* in = pixels + (ptrdiff_t)y * rowStep;
            *o++ = 0;
            for (int x = 0; x < w; ++x) {
                if (d == 8) {
                    *o++ = in[x];
                    continue;
                }
                const unsigned char* p = in + x * (d / 8);
                *o++ = p[2], *o++ = p[1], *o++ = p[0];
                if (channels == 4)
                    *o++ = alpha[(ptrdiff_t)y * alphaStep + x];
            }
        }
        int zipped = 0;
        unsigned char* idat = stbi_zlib_compress(raw, (int)(rowBytes * h), &zipped, 8);
        free(raw);
        if (!idat)
            return IMGERR_NO_MEMORY;
        unsigned char ihdr[13];
        PutBig32(ihdr, (unsigned long)w);
        PutBig32(ihdr + 4, (unsigned long)h);
        ihdr[8] = 8;
        ihdr[9] = d == 8 ? 3 : channels == 4 ? 6 : 2;
        ihdr[10] = ihdr[11] = ihdr[12] = 0;
        unsigned char plte[768];
        int colours = d == 8 ? (pal && pal->palNumEntries ? (pal->palNumEntries > 256 ? 256 : pal->palNumEntries) : 256) : 0;
        for (int i = 0; i < colours; ++i) {
            bool given = pal && i < pal->palNumEntries;
            plte[3 * i] = given ? pal->palPalEntry[i].peRed : (unsigned char)i;
            plte[3 * i + 1] = given ? pal->palPalEntry[i].peGreen : (unsigned char)i;
            plte[3 * i + 2] = given ? pal->palPalEntry[i].peBlue : (unsigned char)i;
        }
        bool ok = output->Write(kSignature, 8) == STATUS_OK && WriteChunk(output, "IHDR", ihdr, 13) &&
                  (d != 8 || WriteChunk(output, "PLTE", plte, (unsigned long)colours * 3)) &&
                  WriteChunk(output, "IDAT", idat, (unsigned long)zipped) && WriteChunk(output, "IEND", nullptr, 0);
        STBIW_FREE(idat);
        return ok ? IMGERR_OK : IMGERR_CANT_CREATE;
    }

private:
    bool SameEntry(int i, const unsigned char* p)
    {
        const PALETTEENTRY& e = palette->palPalEntry[i];
        return e.peRed == p[0] && e.peGreen == p[1] && e.peBlue == p[2] && paletteAlpha[i] == p[3];
    }
};

const char* kExtensions[] = {"png", nullptr};

}  // namespace

KX_PLUGIN_EXPORT void* KX_STDCALL CreateFilter(long) { return new (std::nothrow) PngFilter; }
KX_PLUGIN_EXPORT const char* KX_STDCALL GetFilterName() { return "PNG"; }
KX_PLUGIN_EXPORT unsigned long KX_STDCALL GetFilterID() { return FILTER_ID_PNG; }
KX_PLUGIN_EXPORT const char** KX_STDCALL GetFilterExts() { return kExtensions; }
KX_PLUGIN_EXPORT int KX_STDCALL CanReadFile(cInStream* input)
{
    unsigned char head[8];
    return input->ReadExact(head, 8) == STATUS_OK && memcmp(head, kSignature, 8) == 0;
}
