// The display probe run once at load: which colour format the screen has, and on palette displays which colours
// the system reserves. Also the processor feature word.
#include "frame.h"

#include <cpuid.h>

namespace kx {

int DisplayModeBits(int mode)
{
    static const int bits[] = {0, 1, 4, 8, 24, 4, 15, 16, 32};
    return mode >= 0 && mode <= 8 ? bits[mode] : 0;
}

uint16_t DisplayModeFromProbe(const DisplayProbe& probe)
{
    int bits = probe.bits;
    if (bits == 16) {
        if (probe.settingsKnown)
            return probe.settingsBits == 15 ? DISPLAY_MODE_15 : DISPLAY_MODE_HI16;
        if (probe.pixelProbeBlack)
            bits = 15;
    }
    if (bits <= 4) return DISPLAY_MODE_16;
    if (bits <= 8) return DISPLAY_MODE_256;
    if (bits < 16) return DISPLAY_MODE_15;
    if (bits == 16) return DISPLAY_MODE_HI16;
    if (bits <= 24) return DISPLAY_MODE_24;
    return DISPLAY_MODE_32;
}

void RefreshSystemPalettes(HDC screen)
{
    g_systemPalette16.version = 0x300;
    g_systemPalette16.count = 16;
    g_defaultPalette256.version = 0x300;
    g_defaultPalette256.count = 256;
    if (!screen || !(GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE))
        return;
    int bits = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
    uint16_t colours = (uint16_t)(1u << (bits & 31));
    if (colours == 16) {
        GetSystemPaletteEntries(screen, 0, 16, g_systemPalette16.entries);
        for (PALETTEENTRY& e : g_systemPalette16.entries)
            e.peFlags = 0;
    } else if (colours == 256) {
        GetSystemPaletteEntries(screen, 0, 10, g_defaultPalette256.entries);
        GetSystemPaletteEntries(screen, 246, 10, g_defaultPalette256.entries + 246);
        for (int i = 0; i < 10; i++) {
            g_defaultPalette256.entries[i].peFlags = 0;
            g_defaultPalette256.entries[246 + i].peFlags = 0;
        }
    }
}

// Some 16-bit drivers cannot say whether they pack 5-5-5 or 5-6-5; a green value that only 6 green bits can
// hold tells them apart. The pixel is put back whatever the answer.
bool GreenProbeReadsBlack(HDC screen)
{
    COLORREF saved = GetPixel(screen, 0, 0);
    SetPixel(screen, 0, 0, RGB(0, 4, 0));
    COLORREF seen = GetPixel(screen, 0, 0);
    SetPixel(screen, 0, 0, saved);
    return seen == 0;
}

uint16_t ProbeDisplay()
{
    HDC screen = GetDC(nullptr);
    if (!screen)
        return DISPLAY_MODE_32;
    DisplayProbe probe = {};
    probe.bits = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
    RefreshSystemPalettes(screen);
    if (probe.bits == 16) {
        DEVMODEA mode = {};
        mode.dmSize = sizeof mode;
        if (EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode)) {
            probe.settingsKnown = true;
            probe.settingsBits = (int)mode.dmBitsPerPel;
        } else {
            probe.pixelProbeBlack = GreenProbeReadsBlack(screen);
        }
    }
    ReleaseDC(nullptr, screen);
    return DisplayModeFromProbe(probe);
}

uint32_t CpuFeaturesFrom(uint32_t maxLeaf, uint32_t edx)
{
    if (maxLeaf == 0)
        edx = 0;
    uint32_t word = 0;
    if (edx & (1u << 31))
        word = (edx & (1u << 30)) ? CPU_EXT31 | CPU_EXT30 : CPU_EXT31;
    if (edx & (1u << 23)) {
        word |= CPU_MMX;
        if (edx & (1u << 25)) {
            word |= CPU_SSE;
            if (edx & (1u << 26))
                word |= CPU_SSE2;
        }
    }
    return word;
}

uint32_t ProbeCpuFeatures()
{
    unsigned a = 0, b = 0, c = 0, d = 0;
    __cpuid(0, a, b, c, d);
    unsigned maxLeaf = a;
    unsigned edx = 0;
    if (maxLeaf != 0) {
        __cpuid(1, a, b, c, d);
        edx = d;
    }
    return CpuFeaturesFrom(maxLeaf, edx);
}

}  // namespace kx
