// The prototype canvases from which every new surface is cloned (MakeInstance), and GetPrototype. Only a
// prototype's class and format matter; it has no pixels.
#include "backend.h"
#include "mem_surface.h"
#include "frame/frame.h"
#include "kernels/kernel_set.h"

namespace kx {

enum PrototypeClass { PROTO_MEMORY, PROTO_GREY, PROTO_DIB, PROTO_DIB_KEPT_DC, PROTO_DDRAW, PROTO_DDRAW_SYSTEM };

// Makes the prototype backend of one class. A class that is not in the library yet (the DIB and DirectDraw
// back-ends) leaves its canvases on the empty backend, as a failed construction does.
static cSurfaceBackend* MakePrototype(PrototypeClass cls)
{
    switch (cls) {
    case PROTO_MEMORY: return New<cMemSurface>();
    case PROTO_GREY: return New<cGreySurface>();
    default: return nullptr;
    }
}

static void Build(cCanvas* canvas, PrototypeClass cls, int depth)
{
    cSurfaceBackend* backend = MakePrototype(cls);
    if (!backend)
        return;
    if (!backend->InitFormat(depth)) {
        backend->Destroy(1);
        return;
    }
    AttachBackend(canvas, backend);
}

void BuildPrototypes()
{
    const PrototypeCanvases& p = Prototypes();
    for (int i = 0; i < PROTO_FORMATS; i++)
        Build(p.memory[i], PROTO_MEMORY, kDepthOfFormat[i]);
    Build(p.grey, PROTO_GREY, 8);
    for (int i = 0; i < PROTO_FORMATS; i++)
        Build(p.dib[i], PROTO_DIB, kDepthOfFormat[i]);
    for (int i = 0; i < PROTO_FORMATS; i++)
        Build(p.dibKeptDC[i], PROTO_DIB_KEPT_DC, kDepthOfFormat[i]);
    Build(p.ddraw, PROTO_DDRAW, 8);
    Build(p.ddrawSystem, PROTO_DDRAW_SYSTEM, 8);
}

void ReleasePrototypes()
{
    const PrototypeCanvases& p = Prototypes();
    for (cCanvas* c : p.memory)
        c->Release();
    p.grey->Release();
    for (cCanvas* c : p.dib)
        c->Release();
    for (cCanvas* c : p.dibKeptDC)
        c->Release();
    p.ddrawSystem->Release();
    p.ddraw->Release();
}

}  // namespace kx

using namespace kx;

int GetPrototype(cCanvas** out, int depth, int type, int mode)
{
    int normalised = depth <= 8 ? 8 : depth <= 15 ? 15 : depth == 16 ? 16 : depth <= 24 ? 24 : 32;
    int index = FormatIndexOfDepth(normalised);
    int compared = normalised;
    const PrototypeCanvases& p = Prototypes();
    *out = nullptr;
    if (type == 0) {
        *out = p.memory[index];
    } else if (type >= 1 && type <= 3) {
        if (mode == 0) {
            *out = type == 2 ? p.dibKeptDC[index] : p.dib[index];
        } else if (mode == 2 && DirectDrawUsable()) {
            cCanvas* dd = type == 3 ? p.ddrawSystem : p.ddraw;
            compared = dd->GetDepth();
            if (compared == 0) {
                *out = p.dibKeptDC[index];
                return 0;
            }
            *out = dd;
        } else {
            *out = p.dibKeptDC[index];
        }
    } else {
        return 0;
    }
    return *out != nullptr && compared == depth;
}
