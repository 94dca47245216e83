// Per-thread palette registry hooks of the library frame. The frame calls them at load, at thread attach and
// detach and around InitLibrary/TermLibrary.
//
// Shared palettes (and with them the per-thread records) are not in the library yet: the attach hook refreshes the
// built-in palettes from the system, and no shared palette can be made, so 8-bit surfaces cannot be initialised.
#include "frame/frame.h"
#include "surface/palette.h"

void AttachThreadPalettes()
{
    HDC screen = GetDC(nullptr);
    kx::RefreshSystemPalettes(screen);
    if (screen)
        ReleaseDC(nullptr, screen);
}

void DetachThreadPalettes() {}

namespace kx {

void FreeAllThreadPalettes() {}

SharedPalette* DefaultSharedPalette() { return nullptr; }

void ReleaseSharedPalette(SharedPalette*) {}

}  // namespace kx
