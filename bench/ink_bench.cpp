// Ink effects and format conversion at 1920x1080, timed against memcpy of the destination's bytes (the limit of
// anything that writes the destination once). Contenders run interleaved in rounds so that drift in the machine
// hits all of them alike; the table shows medians, the ratio to memcpy and the ratio each case is meant to reach.
#include <windows.h>

#include <algorithm>
#include <functional>
#include <random>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

#include "bench_common.h"
#include "kalvex2/frame.h"
#include "kernels/ink_kernels.h"
#include "kernels/kernel_set.h"
#include "surface/palette.h"

using namespace kx;
using bench::Now;

namespace {

const int kWidth = 1920, kHeight = 1080, kRounds = 21;
const unsigned long kAll = CPU_MMX | CPU_SSE | CPU_SSE2;

struct Surface {
    SurfaceDesc d{};
    std::vector<unsigned char> mem;
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
        mem.resize((size_t)d.pitch * kHeight + 16);
        for (auto& b : mem)
            b = (unsigned char)rng();
        d.rowZero = d.pixelBlock = (unsigned char*)(((uintptr_t)mem.data() + 15) & ~(uintptr_t)15);
    }
    size_t RowBytes() const { return (size_t)kWidth * d.bytesPerPixel; }
};

struct Contender {
    std::string name;
    double target;  // ratio to memcpy it should reach; 0 for the baseline and cases without one
    int baseline;   // index of the memcpy contender it is measured against
    std::function<void()> run;
    std::vector<double> times;
};

void MemcpyRows(Surface& dst, const Surface& src)
{
    for (int y = 0; y < kHeight; y++)
        memcpy(dst.d.rowZero + (size_t)y * dst.d.pitch, src.d.rowZero + (size_t)y * src.d.pitch, dst.RowBytes());
}

}  // namespace

int main()
{
    static SharedPalette palette{};
    bench::FillRandomPalette(palette);
    std::mt19937 rng(42);

    Surface src32(32, nullptr, rng), dst32(32, nullptr, rng), copy32(32, nullptr, rng);
    Surface src16(16, nullptr, rng), dst16(16, nullptr, rng), copy16(16, nullptr, rng);
    Surface src8(8, &palette, rng);

    std::vector<Contender> cs;
    auto add = [&](std::string name, double target, int baseline, std::function<void()> run) {
        cs.push_back({std::move(name), target, baseline, std::move(run), {}});
    };
    struct Effect {
        const char* name;
        int code;
        uint32_t parameter;
        double target32, target16;
    } effects[] = {
        {"blend 50%", INK_BLEND, 64, 0.6, 0.5},     {"blend 30%", INK_BLEND, 38, 0.6, 0.5},
        {"add", INK_ADD, 0, 0.85, 0.5},             {"subtract", INK_SUBTRACT, 0, 0.85, 0.5},
        {"xor", INK_XOR, 0, 0.9, 0.9},              {"and", INK_AND, 0, 0.9, 0.9},
        {"or", INK_OR, 0, 0.9, 0.9},                {"and-not", INK_AND_NOT, 0, 0.9, 0.9},
        {"invert", INK_INVERT, 0, 0.9, 0.9},
    };
    for (int depth : {32, 16}) {
        Surface& src = depth == 32 ? src32 : src16;
        Surface& dst = depth == 32 ? dst32 : dst16;
        Surface& copy = depth == 32 ? copy32 : copy16;
        int base = (int)cs.size();
        add(std::to_string(depth) + " memcpy", 0, base, [&] { MemcpyRows(dst, copy); });
        for (const Effect& e : effects) {
            add(std::to_string(depth) + " " + e.name, depth == 32 ? e.target32 : e.target16, base, [&, e] {
                dst.d.flags = kAll;
                src.d.kernels->copyOpaqueInk(&dst.d, 0, 0, &src.d, 0, 0, kWidth, kHeight, e.code, e.parameter);
            });
        }
        // The paths without SSE2, and the transparent kernel, for comparison.
        add(std::to_string(depth) + " blend 50% plain", 0, base, [&] {
            dst.d.flags = 0;
            src.d.kernels->copyOpaqueInk(&dst.d, 0, 0, &src.d, 0, 0, kWidth, kHeight, INK_BLEND, 64);
        });
        if (depth == 32)
            add("32 blend 50% mmx", 0, base, [&] {
                dst.d.flags = CPU_MMX;
                src.d.kernels->copyOpaqueInk(&dst.d, 0, 0, &src.d, 0, 0, kWidth, kHeight, INK_BLEND, 64);
            });
        add(std::to_string(depth) + " blend 50% keyed", 0, base, [&] {
            dst.d.flags = kAll;
            src.d.kernels->copyTransparentInk(&dst.d, 0, 0, &src.d, 0, 0, kWidth, kHeight, INK_BLEND, 64);
        });
    }
    // Conversions, each against memcpy of its destination's bytes.
    int base32 = 0, base16 = (int)(std::find_if(cs.begin(), cs.end(), [](const Contender& c) {
                                       return c.name == "16 memcpy";
                                   }) - cs.begin());
    add("convert 16->32", 0.8, base32, [&] {
        dst32.d.flags = kAll;
        src16.d.kernels->convert(&dst32.d, 0, 0, (int)dst32.RowBytes(), &src16.d, 0, 0, kWidth, kHeight);
    });
    add("convert 32->16", 0.7, base16, [&] {
        dst16.d.flags = kAll;
        src32.d.kernels->convert(&dst16.d, 0, 0, (int)dst16.RowBytes(), &src32.d, 0, 0, kWidth, kHeight);
    });
    add("convert 8->32", 1.0, base32, [&] {
        dst32.d.flags = kAll;
        src8.d.kernels->convert(&dst32.d, 0, 0, (int)dst32.RowBytes(), &src8.d, 0, 0, kWidth, kHeight);
    });

    for (int round = 0; round < kRounds; round++)
        for (auto& c : cs) {
            double t0 = Now();
            c.run();
            c.times.push_back(Now() - t0);
        }

    printf("%-24s %10s %10s %9s %8s %6s\n", "case", "median ms", "Mpixel/s", "x memcpy", "target", "");
    std::vector<double> medians;
    for (auto& c : cs) {
        std::sort(c.times.begin(), c.times.end());
        medians.push_back(c.times[c.times.size() / 2]);
    }
    for (size_t i = 0; i < cs.size(); i++) {
        const Contender& c = cs[i];
        double ratio = medians[c.baseline] / medians[i];
        char target[16] = "";
        if (c.target > 0)
            snprintf(target, sizeof target, "%.2f", c.target);
        const char* verdict = c.target <= 0 ? "" : ratio >= c.target ? "met" : "MISSED";
        printf("%-24s %10.3f %10.0f %9.2f %8s %6s\n", c.name.c_str(), medians[i],
               (double)kWidth * kHeight / (medians[i] * 1000.0), ratio, target, verdict);
    }
    return 0;
}
