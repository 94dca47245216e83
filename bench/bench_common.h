// What the benchmark programs share: the timer and the random palette their 8-bit surfaces use.
#pragma once

#include <windows.h>

#include <random>

#include "surface/palette.h"

namespace bench {

// Milliseconds. Under Wine the performance counter runs at 10 MHz; the tick count moves in steps of 4 to 13 ms.
inline double Now()
{
    LARGE_INTEGER c, f;
    QueryPerformanceCounter(&c);
    QueryPerformanceFrequency(&f);
    return (double)c.QuadPart * 1000.0 / (double)f.QuadPart;
}

// Entry 0 black, the rest random; the same for every run (seed 42).
inline void FillRandomPalette(SharedPalette& palette)
{
    palette.version = 0x300;
    palette.count = 256;
    std::mt19937 rng(42);
    for (int i = 1; i < 256; i++)
        palette.entries[i] = {(BYTE)rng(), (BYTE)rng(), (BYTE)rng(), 0};
}

}  // namespace bench
