// Process-wide and per-thread state of the library frame, shared by the entry point, the display probe and the
// parts of the library that read the detected display mode or the processor feature word.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "kalvex2/frame.h"
#include "kalvex2/memory.h"

namespace kx {

// Serialises InitLibrary/TermLibrary and the per-thread DirectDraw registry. The first static object of the
// library, so that every later static may rely on it.
class LibraryLock {
public:
    LibraryLock() { InitializeCriticalSection(&cs_); }
    ~LibraryLock() { DeleteCriticalSection(&cs_); }
    void Enter() { EnterCriticalSection(&cs_); }
    void Leave() { LeaveCriticalSection(&cs_); }
    LibraryLock(const LibraryLock&) = delete;
    LibraryLock& operator=(const LibraryLock&) = delete;

private:
    CRITICAL_SECTION cs_;
};

struct ProcessState {
    HINSTANCE module = nullptr;
    char modulePath[264] = {};
    uint16_t displayMode = DISPLAY_MODE_32;
    DWORD threadSlot = TLS_OUT_OF_INDEXES;
    int initCount = 0;
    int platformIsNT = 0;
    uint32_t cpuFeatures = 0;
};

extern ProcessState g_process;
LibraryLock& TheLibraryLock();

// The built-in palettes that the display probe refreshes from the system palette (logical palettes, version 0x300).
struct LogPalette2 {
    WORD version;
    WORD count;
    PALETTEENTRY entries[2];
};
struct LogPalette16 {
    WORD version;
    WORD count;
    PALETTEENTRY entries[16];
};
struct LogPalette256 {
    WORD version;
    WORD count;
    PALETTEENTRY entries[256];
};
extern const LogPalette2 g_monoPalette;
extern LogPalette16 g_systemPalette16;
extern LogPalette256 g_defaultPalette256;

// Bits per pixel of each DisplayMode code; 0 for codes outside the table.
int DisplayModeBits(int mode);

// What the display probe saw, so that the mapping to a display mode can be checked without a display.
struct DisplayProbe {
    int bits;                  // bits per pixel x planes
    bool settingsKnown;        // the current display settings could be read
    int settingsBits;          // their bits per pixel
    bool pixelProbeBlack;      // on a 16-bit screen without settings: RGB(0,4,0) read back as black
};
uint16_t DisplayModeFromProbe(const DisplayProbe& probe);

// Probes the screen (device context, palette, settings) and returns the display mode; refreshes the built-in
// palettes from the system palette on palette displays. Leaves everything at its built-in value without a screen.
uint16_t ProbeDisplay();

// On a 16-bit screen: whether RGB(0,4,0) reads back as black (a 5-5-5 screen). Puts the pixel back.
bool GreenProbeReadsBlack(HDC screen);

// Resets the built-in palettes' headers and, on palette displays, reads the system colours into them.
void RefreshSystemPalettes(HDC screen);

// Processor feature word from the maximum identification leaf and the leaf-1 EDX word.
uint32_t CpuFeaturesFrom(uint32_t maxLeaf, uint32_t leaf1Edx);
uint32_t ProbeCpuFeatures();

// Per-thread list of the application objects a thread created (a slot list, growth step 32).
cSlotList* CurrentThreadAppList();    // null when the slot was never allocated or the thread has no list
cSlotList* CreateThreadAppList();     // for the calling thread; null when no memory
void DestroyThreadAppList();
void AllocateThreadSlot();
void FreeThreadSlot();

// The palette registry frees every thread record at process detach.
void FreeAllThreadPalettes();

// Prototype canvases: built by the first InitLibrary, released by the last TermLibrary.
void BuildPrototypes();
void ReleasePrototypes();

}  // namespace kx
