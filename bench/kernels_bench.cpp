// Kernel throughput at 1920x1080 for every depth: memcpy of the same bytes (the limit of a copy) against the
// opaque, transparent and alpha-plane copies and the fill, each with no feature bits, MMX and SSE2. Contenders
// run interleaved in rounds so that drift in the machine hits all of them alike; the table shows medians.
#include <windows.h>

#include <algorithm>
#include <functional>
#include <random>
#include <stdio.h>
#include <string.h>
#include <vector>

#include "kalvex2/frame.h"
#include "kernels/kernel_set.h"
#include "surface/palette.h"

using namespace kx;

namespace {

const int kWidth = 1920, kHeight = 1080, kRounds = 15;

struct Surface {
    SurfaceDesc d{};
    std::vector<unsigned char> mem, alpha;
    Surface(int depth, SharedPalette* palette, std::mt19937& rng)
    {
        d.width = kWidth;
        d.height = kHeight;
        d.depth = depth;
        d.formatIndex = FormatIndexOfDepth(depth);
        d.bytesPerPixel = (depth + 7) / 8;
        d.pitch = (kWidth * d.bytesPerPixel + 3) & ~3;
        d.rowStep = d.pitch;
        d.palette = palette;
        d.kernels = StandardKernels(d.formatIndex);
        mem.resize((size_t)d.pitch * kHeight + 8);
        // Runs of key-coloured (zero) pixels and runs of colour, as sprites have.
        for (size_t i = 0; i < mem.size(); i++)
            mem[i] = ((i / 64) % 3 == 0) ? 0 : (unsigned char)(rng() | 1);
        d.rowZero = d.pixelBlock = (unsigned char*)(((uintptr_t)mem.data() + 7) & ~(uintptr_t)7);
    }
    void AddAlpha(std::mt19937& rng)
    {
        d.alphaPitch = d.alphaRowStep = (kWidth + 3) & ~3;
        alpha.resize((size_t)d.alphaPitch * kHeight);
        // Mostly opaque or clear, with soft edges.
        for (size_t i = 0; i < alpha.size(); i++) {
            unsigned r = (unsigned)(i / 16) % 4;
            alpha[i] = r == 0 ? 0 : r == 1 ? (unsigned char)(rng() | 1) : 255;
        }
        d.alphaBlock = d.alphaRowZero = alpha.data();
    }
};

double Now()
{
    LARGE_INTEGER c, f;
    QueryPerformanceCounter(&c);
    QueryPerformanceFrequency(&f);
    return (double)c.QuadPart * 1000.0 / (double)f.QuadPart;
}

struct Contender {
    const char* name;
    std::function<void()> run;
    std::vector<double> times;
};

}  // namespace

int main()
{
    static SharedPalette palette{};
    palette.version = 0x300;
    palette.count = 256;
    std::mt19937 rng(42);
    for (int i = 1; i < 256; i++)
        palette.entries[i] = {(BYTE)rng(), (BYTE)rng(), (BYTE)rng(), 0};

    printf("%-5s %-22s %10s %10s %12s\n", "depth", "kernel", "median ms", "x memcpy", "Mpixel/s");
    const int depths[5] = {8, 15, 16, 24, 32};
    const unsigned long features[3] = {0, CPU_MMX, CPU_MMX | CPU_SSE | CPU_SSE2};
    const char* featureNames[3] = {"plain", "mmx", "sse2"};
    for (int depth : depths) {
        Surface src(depth, &palette, rng), dst(depth, &palette, rng), alphaSrc(depth, &palette, rng);
        alphaSrc.AddAlpha(rng);
        const BlitKernelSet* k = src.d.kernels;
        std::vector<Contender> cs;
        cs.push_back({"memcpy", [&] {
                          size_t bytes = (size_t)kWidth * src.d.bytesPerPixel;
                          for (int y = 0; y < kHeight; y++)
                              memcpy(dst.d.rowZero + (size_t)y * dst.d.pitch, src.d.rowZero + (size_t)y * src.d.pitch,
                                     bytes);
                      }, {}});
        static char names[4][3][32];
        for (int f = 0; f < 3; f++) {
            unsigned long fl = features[f];
            snprintf(names[0][f], 32, "opaque copy %s", featureNames[f]);
            snprintf(names[1][f], 32, "transparent %s", featureNames[f]);
            snprintf(names[2][f], 32, "alpha copy %s", featureNames[f]);
            snprintf(names[3][f], 32, "fill %s", featureNames[f]);
            cs.push_back({names[0][f], [&, fl] {
                              dst.d.flags = fl;
                              k->copyOpaque(&dst.d, 0, 0, &src.d, 0, 0, kWidth, kHeight);
                          }, {}});
            cs.push_back({names[1][f], [&, fl] {
                              dst.d.flags = fl;
                              k->copyTransparent(&dst.d, 0, 0, &src.d, 0, 0, kWidth, kHeight);
                          }, {}});
            cs.push_back({names[2][f], [&, fl] {
                              dst.d.flags = fl;
                              k->copyTransparent(&dst.d, 0, 0, &alphaSrc.d, 0, 0, kWidth, kHeight);
                          }, {}});
            cs.push_back({names[3][f], [&, fl] {
                              dst.d.flags = fl;
                              k->fill(&dst.d, 0, 0, dst.d.rowStep, kWidth, kHeight, depth == 8 ? 7 : 0x336699);
                          }, {}});
        }
        for (int round = 0; round < kRounds; round++)
            for (auto& c : cs) {
                double t0 = Now();
                c.run();
                c.times.push_back(Now() - t0);
            }
        double base = 0;
        for (auto& c : cs) {
            std::sort(c.times.begin(), c.times.end());
            double median = c.times[c.times.size() / 2];
            if (&c == &cs[0])
                base = median;
            printf("%-5d %-22s %10.3f %10.2f %12.1f\n", depth, c.name, median, median / base,
                   (double)kWidth * kHeight / (median * 1000.0));
        }
    }
    return 0;
}
