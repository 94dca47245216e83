// Kernel throughput against memcpy and against two peer blitters (SDL2 and pixman, when the build found them).
//
// Cases: whole 640x480 and 1920x1080 surfaces, and sprites (1000 blits of 64x64 at random positions onto 640x480),
// at every depth. Operations: opaque copy, transparent copy by colour key, alpha-plane copy and fill, ours with
// every feature bit and with none, and what the peers offer for the same work:
//   SDL2    same-format blit; colour-key blit, plain and run-length encoded; per-pixel alpha blend from an
//           ARGB8888 source with the same alpha, plain and run-length encoded; fill rectangle.
//   pixman  pixman_blt (or a SRC composite where it has none for the depth); OVER of the same-format source
//           through the alpha plane as an a8 mask, and OVER of the ARGB8888 source; pixman_fill (or a SRC
//           rectangle fill).
// Contenders run interleaved in rounds so that drift in a shared machine hits all of them alike; the table shows
// medians. "x memcpy" is memcpy's time over the contender's (higher is faster): memcpy moves the destination's
// bytes of the same rectangles. "ours/peer" is our speed over the faster peer's.
//
// The surfaces look like sprite sheets: 64x64 cells, each a disc that is opaque inside, clear outside, with a soft
// edge of a few pixels; key-coloured pixels where the alpha is 0.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

#include "bench_common.h"
#include "kalvex2/frame.h"
#include "kernels/kernel_set.h"
#include "surface/palette.h"

#ifdef KX_BENCH_SDL2
#include <SDL.h>
#endif
#ifdef KX_BENCH_PIXMAN
#include <pixman.h>
#endif

using namespace kx;
using bench::Now;

namespace {

const unsigned long kAllFeatures = CPU_MMX | CPU_SSE | CPU_SSE2;

// Alpha of pixel (x, y) of the sprite sheet.
uint8_t SheetAlpha(int x, int y)
{
    double dx = (x % 64) - 31.5, dy = (y % 64) - 31.5;
    double r = std::sqrt(dx * dx + dy * dy);
    if (r < 26)
        return 255;
    if (r >= 30)
        return 0;
    return (uint8_t)std::max(1.0, std::min(254.0, 255.0 * (30 - r) / 4));
}

struct Surface {
    SurfaceDesc d{};
    std::vector<unsigned char> mem, alpha, argb;

    Surface(int depth, int w, int h, SharedPalette* palette)
    {
        d.width = w;
        d.height = h;
        d.depth = depth;
        d.formatIndex = FormatIndexOfDepth(depth);
        d.bytesPerPixel = (depth + 7) / 8;
        d.pitch = d.rowStep = (w * d.bytesPerPixel + 3) & ~3;
        d.palette = palette;
        d.kernels = StandardKernels(d.formatIndex);
        mem.resize((size_t)d.pitch * h + 64);
        d.rowZero = d.pixelBlock = (unsigned char*)(((uintptr_t)mem.data() + 15) & ~(uintptr_t)15);
    }
    void Randomise(std::mt19937& rng)
    {
        for (auto& b : mem)
            b = (unsigned char)rng();
    }
    // Sprite sheet: key (native 0) where clear, other colours elsewhere; an alpha plane and the same picture as
    // ARGB8888 for the peers' per-pixel alpha.
    void MakeSheet(std::mt19937& rng)
    {
        d.alphaPitch = (d.width + 3) & ~3;
        alpha.assign((size_t)d.alphaPitch * d.height, 0);
        argb.assign((size_t)d.width * 4 * d.height, 0);
        for (int y = 0; y < d.height; y++)
            for (int x = 0; x < d.width; x++) {
                uint8_t a = SheetAlpha(x, y);
                alpha[(size_t)y * d.alphaPitch + x] = a;
                uint32_t v = a == 0 ? 0 : (rng() | 1);
                if (d.bytesPerPixel == 4)
                    v &= 0xFFFFFF;  // fourth byte 0, so that key pixels match the key
                memcpy(d.rowZero + (size_t)y * d.pitch + (size_t)x * d.bytesPerPixel, &v, d.bytesPerPixel);
                uint32_t c = (rng() & 0xFFFFFF) | (uint32_t)a << 24;
                memcpy(&argb[((size_t)y * d.width + x) * 4], &c, 4);
            }
        d.transparentNative = 0;
    }
    SurfaceDesc WithAlpha() const
    {
        SurfaceDesc a = d;
        a.alphaBlock = a.alphaRowZero = const_cast<unsigned char*>(alpha.data());
        a.alphaRowStep = a.alphaPitch;
        return a;
    }
    unsigned char* Row(int y) { return d.rowZero + (size_t)y * d.pitch; }
};

// The rectangles of one case: a list of (dx, dy) with the same source rectangle.
struct Blit {
    int sx, sy, dx, dy;
};

struct Job {
    int w, h;
    std::vector<Blit> blits;
};

enum Op { OP_OPAQUE, OP_TRANSPARENT, OP_ALPHA, OP_FILL, OP_COUNT };
const char* const kOpNames[OP_COUNT] = {"opaque", "transparent", "alpha plane", "fill"};
enum Who { OURS, OURS_PLAIN, SDL, PIXMAN, WHO_COUNT };

struct Contender {
    Op op;
    Who who;
    std::string name;
    std::function<void()> run;
    std::vector<double> times;
    double median = 0;
};

#ifdef KX_BENCH_SDL2
Uint32 SdlFormat(int depth)
{
    switch (depth) {
    case 8: return SDL_PIXELFORMAT_INDEX8;
    case 15: return SDL_PIXELFORMAT_RGB555;
    case 16: return SDL_PIXELFORMAT_RGB565;
    case 24: return SDL_PIXELFORMAT_BGR24;  // bytes blue, green, red
    default: return SDL_PIXELFORMAT_RGB888;
    }
}

struct SdlSurfaces {
    SDL_Surface *src = nullptr, *key = nullptr, *keyRle = nullptr, *argb = nullptr, *argbRle = nullptr, *dst = nullptr;
    ~SdlSurfaces()
    {
        for (SDL_Surface* s : {src, key, keyRle, argb, argbRle, dst})
            if (s)
                SDL_FreeSurface(s);
    }
};
#endif

#ifdef KX_BENCH_PIXMAN
pixman_format_code_t PixmanFormat(int depth)
{
    switch (depth) {
    case 8: return PIXMAN_a8;  // copies and fills move bytes; pixman has no faster 8-bit format
    case 15: return PIXMAN_x1r5g5b5;
    case 16: return PIXMAN_r5g6b5;
    case 24: return PIXMAN_r8g8b8;
    default: return PIXMAN_x8r8g8b8;
    }
}

struct PixmanImage {
    pixman_image_t* p = nullptr;
    PixmanImage() = default;
    PixmanImage(pixman_format_code_t f, int w, int h, void* bits, int stride)
        : p(pixman_image_create_bits(f, w, h, (uint32_t*)bits, stride))
    {
    }
    PixmanImage(const PixmanImage&) = delete;
    ~PixmanImage()
    {
        if (p)
            pixman_image_unref(p);
    }
};
#endif

double RatioTarget(Op op, int depth)
{
    switch (op) {
    case OP_OPAQUE: return 0.95;
    case OP_TRANSPARENT: return depth == 32 ? 0.6 : depth == 16 ? 0.5 : depth == 8 ? 0.3 : 0;
    case OP_ALPHA: return depth == 32 ? 0.75 : (depth == 16 || depth == 15) ? 0.5 : 0;
    default: return 0;
    }
}

void RunCase(const char* caseName, bool targets, int depth, Surface& src, Surface& dst, const Job& job, int rounds,
             uint32_t fillColour)
{
    const BlitKernelSet* k = src.d.kernels;
    SurfaceDesc srcAlpha = src.WithAlpha();
    int bpp = src.d.bytesPerPixel;
    std::vector<Contender> cs;
    auto add = [&](Op op, Who who, std::string name, std::function<void()> run) {
        cs.push_back({op, who, std::move(name), std::move(run), {}, 0});
    };
    auto memcpyRun = [&] {
        size_t bytes = (size_t)job.w * bpp;
        for (const Blit& b : job.blits)
            for (int y = 0; y < job.h; y++)
                memcpy(dst.Row(b.dy + y) + (size_t)b.dx * bpp, src.Row(b.sy + y) + (size_t)b.sx * bpp, bytes);
    };
    for (int plain = 0; plain < 2; plain++) {
        unsigned long fl = plain ? 0 : kAllFeatures;
        Who who = plain ? OURS_PLAIN : OURS;
        add(OP_OPAQUE, who, "ours", [&, fl] {
            dst.d.flags = fl;
            for (const Blit& b : job.blits)
                k->copyOpaque(&dst.d, b.dx, b.dy, &src.d, b.sx, b.sy, job.w, job.h);
        });
        add(OP_TRANSPARENT, who, "ours", [&, fl] {
            dst.d.flags = fl;
            for (const Blit& b : job.blits)
                k->copyTransparent(&dst.d, b.dx, b.dy, &src.d, b.sx, b.sy, job.w, job.h);
        });
        add(OP_ALPHA, who, "ours", [&, fl] {
            dst.d.flags = fl;
            for (const Blit& b : job.blits)
                k->copyTransparent(&dst.d, b.dx, b.dy, &srcAlpha, b.sx, b.sy, job.w, job.h);
        });
        add(OP_FILL, who, "ours", [&, fl] {
            dst.d.flags = fl;
            for (const Blit& b : job.blits)
                k->fill(&dst.d, b.dx, b.dy, dst.d.rowStep, job.w, job.h, fillColour);
        });
    }

#ifdef KX_BENCH_SDL2
    SdlSurfaces sdl;
    Uint32 fmt = SdlFormat(depth);
    sdl.src = SDL_CreateRGBSurfaceWithFormatFrom(src.d.rowZero, src.d.width, src.d.height, depth, src.d.pitch, fmt);
    sdl.key = SDL_CreateRGBSurfaceWithFormatFrom(src.d.rowZero, src.d.width, src.d.height, depth, src.d.pitch, fmt);
    sdl.keyRle = SDL_CreateRGBSurfaceWithFormatFrom(src.d.rowZero, src.d.width, src.d.height, depth, src.d.pitch, fmt);
    sdl.dst = SDL_CreateRGBSurfaceWithFormatFrom(dst.d.rowZero, dst.d.width, dst.d.height, depth, dst.d.pitch, fmt);
    if (depth != 8) {
        sdl.argb = SDL_CreateRGBSurfaceWithFormatFrom(src.argb.data(), src.d.width, src.d.height, 32, src.d.width * 4,
                                                      SDL_PIXELFORMAT_ARGB8888);
        sdl.argbRle = SDL_CreateRGBSurfaceWithFormatFrom(src.argb.data(), src.d.width, src.d.height, 32,
                                                         src.d.width * 4, SDL_PIXELFORMAT_ARGB8888);
    }
    if (!sdl.src || !sdl.key || !sdl.keyRle || !sdl.dst) {
        fprintf(stderr, "SDL2: %s\n", SDL_GetError());
    } else {
        if (depth == 8) {
            SDL_Color colours[256];
            for (int i = 0; i < 256; i++)
                colours[i] = {src.d.palette->entries[i].peRed, src.d.palette->entries[i].peGreen,
                              src.d.palette->entries[i].peBlue, 255};
            for (SDL_Surface* s : {sdl.src, sdl.key, sdl.keyRle, sdl.dst})
                SDL_SetPaletteColors(s->format->palette, colours, 0, 256);
        }
        SDL_SetSurfaceBlendMode(sdl.src, SDL_BLENDMODE_NONE);
        SDL_SetColorKey(sdl.key, SDL_TRUE, 0);
        SDL_SetColorKey(sdl.keyRle, SDL_TRUE, 0);
        SDL_SetSurfaceRLE(sdl.keyRle, 1);
        if (sdl.argb) {
            SDL_SetSurfaceBlendMode(sdl.argb, SDL_BLENDMODE_BLEND);
            SDL_SetSurfaceBlendMode(sdl.argbRle, SDL_BLENDMODE_BLEND);
            SDL_SetSurfaceRLE(sdl.argbRle, 1);
        }
        auto sdlBlit = [&job](SDL_Surface* from, SDL_Surface* to) {
            for (const Blit& b : job.blits) {
                SDL_Rect s{b.sx, b.sy, job.w, job.h}, d{b.dx, b.dy, job.w, job.h};
                SDL_BlitSurface(from, &s, to, &d);
            }
        };
        add(OP_OPAQUE, SDL, "SDL2 blit", [&, sdlBlit] { sdlBlit(sdl.src, sdl.dst); });
        add(OP_TRANSPARENT, SDL, "SDL2 colour key", [&, sdlBlit] { sdlBlit(sdl.key, sdl.dst); });
        add(OP_TRANSPARENT, SDL, "SDL2 colour key RLE", [&, sdlBlit] { sdlBlit(sdl.keyRle, sdl.dst); });
        if (sdl.argb) {
            add(OP_ALPHA, SDL, "SDL2 ARGB blend", [&, sdlBlit] { sdlBlit(sdl.argb, sdl.dst); });
            add(OP_ALPHA, SDL, "SDL2 ARGB blend RLE", [&, sdlBlit] { sdlBlit(sdl.argbRle, sdl.dst); });
        }
        Uint32 native = depth == 8 ? fillColour : 0;
        if (depth != 8)
            native = SDL_MapRGB(sdl.dst->format, fillColour & 0xFF, (fillColour >> 8) & 0xFF, (fillColour >> 16) & 0xFF);
        add(OP_FILL, SDL, "SDL2 fill", [&, native] {
            for (const Blit& b : job.blits) {
                SDL_Rect d{b.dx, b.dy, job.w, job.h};
                SDL_FillRect(sdl.dst, &d, native);
            }
        });
    }
#endif

#ifdef KX_BENCH_PIXMAN
    pixman_format_code_t pf = PixmanFormat(depth);
    PixmanImage pSrc(pf, src.d.width, src.d.height, src.d.rowZero, src.d.pitch);
    PixmanImage pDst(pf, dst.d.width, dst.d.height, dst.d.rowZero, dst.d.pitch);
    PixmanImage pMask(PIXMAN_a8, src.d.width, src.d.height, src.alpha.data(), src.d.alphaPitch);
    PixmanImage pArgb(PIXMAN_a8r8g8b8, src.d.width, src.d.height, src.argb.data(), src.d.width * 4);
    int bits = bpp * 8;
    const Blit& first = job.blits[0];
    bool blt = bpp != 3 && pixman_blt((uint32_t*)src.d.rowZero, (uint32_t*)dst.d.rowZero, src.d.pitch / 4,
                                      dst.d.pitch / 4, bits, bits, first.sx, first.sy, first.dx, first.dy, job.w,
                                      job.h);
    add(OP_OPAQUE, PIXMAN, blt ? "pixman blt" : "pixman SRC", [&, blt, bits] {
        for (const Blit& b : job.blits) {
            if (blt)
                pixman_blt((uint32_t*)src.d.rowZero, (uint32_t*)dst.d.rowZero, src.d.pitch / 4, dst.d.pitch / 4, bits,
                           bits, b.sx, b.sy, b.dx, b.dy, job.w, job.h);
            else
                pixman_image_composite32(PIXMAN_OP_SRC, pSrc.p, nullptr, pDst.p, b.sx, b.sy, 0, 0, b.dx, b.dy, job.w,
                                         job.h);
        }
    });
    if (depth != 8) {
        add(OP_ALPHA, PIXMAN, "pixman OVER a8 mask", [&] {
            for (const Blit& b : job.blits)
                pixman_image_composite32(PIXMAN_OP_OVER, pSrc.p, pMask.p, pDst.p, b.sx, b.sy, b.sx, b.sy, b.dx, b.dy,
                                         job.w, job.h);
        });
        add(OP_ALPHA, PIXMAN, "pixman OVER ARGB", [&] {
            for (const Blit& b : job.blits)
                pixman_image_composite32(PIXMAN_OP_OVER, pArgb.p, nullptr, pDst.p, b.sx, b.sy, 0, 0, b.dx, b.dy,
                                         job.w, job.h);
        });
    }
    // The native value replicated (pixman_fill takes the pixel as stored).
    uint32_t filler = 0;
    if (depth == 8) {
        filler = fillColour & 0xFF;
    } else {
        SurfaceDesc one = dst.d;
        unsigned char pixel[4] = {};
        one.rowZero = pixel;
        one.width = one.height = 1;
        dst.d.kernels->fill(&one, 0, 0, 4, 1, 1, fillColour);
        memcpy(&filler, pixel, bpp);
    }
    bool fill = bpp != 3 && pixman_fill((uint32_t*)dst.d.rowZero, dst.d.pitch / 4, bits, first.dx, first.dy, job.w,
                                        job.h, filler);
    uint32_t rgb = fillColour;
    pixman_color_t colour{(uint16_t)((rgb & 0xFF) * 257), (uint16_t)(((rgb >> 8) & 0xFF) * 257),
                          (uint16_t)(((rgb >> 16) & 0xFF) * 257), 0xFFFF};
    add(OP_FILL, PIXMAN, fill ? "pixman fill" : "pixman SRC fill", [&, fill, filler, bits, colour] {
        for (const Blit& b : job.blits) {
            if (fill) {
                pixman_fill((uint32_t*)dst.d.rowZero, dst.d.pitch / 4, bits, b.dx, b.dy, job.w, job.h, filler);
            } else {
                pixman_rectangle16_t r{(int16_t)b.dx, (int16_t)b.dy, (uint16_t)job.w, (uint16_t)job.h};
                pixman_image_fill_rectangles(PIXMAN_OP_SRC, pDst.p, &colour, 1, &r);
            }
        }
    });
#endif

    // Warm up once (run-length encodings are made on the first blit), then interleave.
    memcpyRun();
    for (auto& c : cs)
        c.run();
    std::vector<double> memcpyTimes;
    for (int round = 0; round < rounds; round++) {
        double t0 = Now();
        memcpyRun();
        memcpyTimes.push_back(Now() - t0);
        for (auto& c : cs) {
            t0 = Now();
            c.run();
            c.times.push_back(Now() - t0);
        }
    }
    auto median = [](std::vector<double>& v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    double base = median(memcpyTimes);
    for (auto& c : cs)
        c.median = median(c.times);

    for (int op = 0; op < OP_COUNT; op++) {
        const Contender* best[WHO_COUNT] = {};
        for (auto& c : cs)
            if (c.op == op && (!best[c.who] || c.median < best[c.who]->median))
                best[c.who] = &c;
        auto speed = [&](Who w) { return best[w] ? base / best[w]->median : 0.0; };
        char sdlCell[16] = "-", pixmanCell[16] = "-", vsPeer[24] = "-", target[24] = "";
        if (best[SDL])
            snprintf(sdlCell, sizeof sdlCell, "%.2f", speed(SDL));
        if (best[PIXMAN])
            snprintf(pixmanCell, sizeof pixmanCell, "%.2f", speed(PIXMAN));
        double peer = std::max(speed(SDL), speed(PIXMAN));
        if (peer > 0)
            snprintf(vsPeer, sizeof vsPeer, "%.2f%s", speed(OURS) / peer, speed(OURS) / peer >= 1.25 ? "" : " *");
        double t = targets ? RatioTarget((Op)op, depth) : 0;
        if (t > 0)
            snprintf(target, sizeof target, ">=%.2f%s", t, speed(OURS) >= t ? "" : " MISSED");
        std::string peers;
        for (Who w : {SDL, PIXMAN})
            if (best[w])
                peers += (peers.empty() ? "" : ", ") + best[w]->name;
        printf("| %-9s | %5d | %-11s | %8.3f | %5.2f | %5.2f | %5s | %6s | %8s | %-13s | %s |\n", caseName, depth,
               kOpNames[op], base, speed(OURS), speed(OURS_PLAIN), sdlCell, pixmanCell, vsPeer, target,
               peers.c_str());
    }
    fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    // bench [rounds]: the number of interleaved rounds for the large case; the small cases take three times as many.
    int rounds = argc > 1 ? std::max(3, atoi(argv[1])) : 11;
    static SharedPalette palette{};
    bench::FillRandomPalette(palette);
    std::mt19937 rng(42);
    // A colour cache, as shared palettes in use have: 8-bit blends look their results up there.
    static std::vector<unsigned char> inverse(32768, 0);
    palette.inverseTable = inverse.data();

    printf("Medians of interleaved rounds; x memcpy = memcpy time / contender time (higher is faster).\n");
    printf("ours = every feature bit, plain = none; ours/peer = ours over the faster peer (* below 1.25);\n");
    printf("memcpy ms = memcpy of the same destination bytes.\n\n");
    printf("| case      | depth | operation   | memcpy ms | ours  | plain | SDL2  | pixman | ours/peer | target        "
           "| peer variants |\n");
    printf("|---|---|---|---|---|---|---|---|---|---|---|\n");
    const int depths[5] = {8, 15, 16, 24, 32};
    struct Size {
        const char* name;
        int w, h;
        bool targets;
    };
    const Size sizes[2] = {{"640x480", 640, 480, false}, {"1920x1080", 1920, 1080, true}};
    for (const Size& size : sizes)
        for (int depth : depths) {
            Surface src(depth, size.w, size.h, &palette), dst(depth, size.w, size.h, &palette);
            src.MakeSheet(rng);
            dst.Randomise(rng);
            Job job{size.w, size.h, {{0, 0, 0, 0}}};
            RunCase(size.name, size.targets, depth, src, dst, job, size.targets ? rounds : 3 * rounds,
                    depth == 8 ? 7 : 0x336699);
        }
    for (int depth : depths) {
        Surface src(depth, 64, 64, &palette), dst(depth, 640, 480, &palette);
        src.MakeSheet(rng);
        dst.Randomise(rng);
        Job job{64, 64, {}};
        std::mt19937 place(7);
        for (int i = 0; i < 1000; i++)
            job.blits.push_back({0, 0, (int)(place() % (640 - 64 + 1)), (int)(place() % (480 - 64 + 1))});
        RunCase("sprites", false, depth, src, dst, job, 3 * rounds, depth == 8 ? 7 : 0x336699);
    }
    return 0;
}
