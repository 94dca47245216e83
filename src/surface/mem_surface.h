// The backends whose pixels live in plain memory owned by the library: cMemSurface, the general off-screen
// surface, and cGreySurface, the 8-bit surface with the grey palette that also views memory it does not own (an
// alpha plane, for instance).
#pragma once

#include "backend.h"

namespace kx {

class cMemSurface : public cSurfaceBackend {
public:
    cMemSurface() = default;
    ~cMemSurface();
    void Destroy(unsigned flags) override { DestroyBackend(this, flags); }
    cSurfaceBackend* MakeInstance(int width, int height) override;
    int Resize(int width, int height) override;
    int ReadPixels(HANDLE file) override;
    int WritePixels(HANDLE file) override;

    // The allocation as made (rowZero is it rounded up to 8 bytes); null for surfaces that view foreign memory.
    void* block_ = nullptr;
};

class cGreySurface : public cMemSurface {
public:
    cGreySurface() = default;
    void Destroy(unsigned flags) override { DestroyBackend(this, flags); }
    cSurfaceBackend* MakeInstance(int width, int height) override;
    int InitFormat(int depth) override;
    int Resize(int, int) override { return 0; }

    // A view over memory that stays its owner's: rows of |rowStep| bytes, bottom-up when rowStep is negative.
    bool View(unsigned char* data, int width, int height, int rowStep);
};

// Copies the format of `from` (depth, palette reference, transparent colour, kernel set) into `to`. The row order
// is the new surface's own: memory surfaces are always top-down.
void CopyFormat(cSurfaceBackend* to, const cSurfaceBackend* from);

}  // namespace kx
