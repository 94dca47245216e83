// The library's static objects, in the one order that every part relies on: the lock first, then the empty
// backend that every canvas points at, then the prototype canvases. C++ builds members in declaration order before
// DllMain runs and destroys them in reverse after its process detach.
#include "frame.h"
#include "surface/backend.h"
#include "display/window_surface.h"

namespace kx {

void ConstructEmptyBackend();

namespace {

struct EmptyBackendHolder {
    EmptyBackendHolder() { ConstructEmptyBackend(); }
};

struct LibraryStatics {
    LibraryLock lock;
    EmptyBackendHolder empty;
    // The window-surface factory: the prototype of kind 2, holding no device context.
    cWindowSurface windowSurfaces;
    cCanvas memory[PROTO_FORMATS];
    cCanvas grey;
    cCanvas dib[PROTO_FORMATS];
    cCanvas dibKeptDC[PROTO_FORMATS];
    cCanvas ddraw;
    cCanvas ddrawSystem;
    // Then the per-thread DirectDraw registry and the sound statics, in that order.
    PrototypeCanvases prototypes;

    LibraryStatics()
    {
        for (int i = 0; i < PROTO_FORMATS; i++) {
            prototypes.memory[i] = &memory[i];
            prototypes.dib[i] = &dib[i];
            prototypes.dibKeptDC[i] = &dibKeptDC[i];
        }
        prototypes.grey = &grey;
        prototypes.ddraw = &ddraw;
        prototypes.ddrawSystem = &ddrawSystem;
    }
};

LibraryStatics g_statics;

}  // namespace

LibraryLock& TheLibraryLock() { return g_statics.lock; }
const PrototypeCanvases& Prototypes() { return g_statics.prototypes; }

}  // namespace kx
