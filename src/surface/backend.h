// Internal view of the surface backends: the empty backend, destruction through slot 0, the prototype canvases.
#pragma once

#include "kalvex2/canvas.h"
#include "core/alloc.h"

// Inside the library the backend slots are always called by their own names.
#undef DrawText
#undef DrawTextEx

#if KX_ABI32
static_assert(sizeof(SurfaceDesc) == 23 * 4);
static_assert(offsetof(SurfaceDesc, depth) == 24);
static_assert(offsetof(SurfaceDesc, flags) == 40);
static_assert(offsetof(SurfaceDesc, rowZero) == 52);
static_assert(offsetof(SurfaceDesc, rowStep) == 60);
static_assert(offsetof(SurfaceDesc, alphaRowStep) == 84);
static_assert(offsetof(SurfaceDesc, kernels) == 88);
static_assert(sizeof(cCanvas) == 16);
static_assert(offsetof(cCanvas, lastError) == 12);
static_assert(sizeof(cSurfaceBackend) == 4 + 23 * 4);
#endif

namespace kx {

// Slot 0 of every concrete backend: run the destructor chain, then give the memory back when asked to.
template <class T>
void DestroyBackend(T* self, unsigned flags)
{
    self->~T();
    if (flags & 1) {
        void* block = self;
        FreeAndNull(&block);
    }
}

// Frees the alpha plane when the surface owns it and forgets it either way.
void ForgetAlphaPlane(SurfaceDesc& d);
// Replaces any alpha plane by a new zero-filled, owned one of the surface's size; null when none can be had.
unsigned char* NewAlphaPlane(SurfaceDesc& d);

// The static empty backend: 0 x 0, depth 0, every operation fails quietly. Never destroyed by a canvas.
cSurfaceBackend* EmptyBackend();
inline bool IsEmptyBackend(const cSurfaceBackend* b) { return b == EmptyBackend(); }

// Prototype canvases (static objects of the library frame).
enum { PROTO_FORMATS = 5 };
struct PrototypeCanvases {
    cCanvas* memory[PROTO_FORMATS];   // set A
    cCanvas* grey;                    // B
    cCanvas* dib[PROTO_FORMATS];      // set C
    cCanvas* dibKeptDC[PROTO_FORMATS]; // set D
    cCanvas* ddraw;                   // E
    cCanvas* ddrawSystem;             // F
};
const PrototypeCanvases& Prototypes();

// The DirectDraw state that canvas creation and prototype choice consult.
bool DirectDrawUsable();
bool DirectDrawModeInForce();
// Bits per pixel of the DirectDraw screen once a DirectDraw backend has recorded it; 0 until then.
int DirectDrawScreenDepth();

}  // namespace kx
