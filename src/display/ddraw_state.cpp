// What canvas creation and prototype choice need to know about DirectDraw: whether it can be used here and
// whether a display mode set through it is in force.
#include "surface/backend.h"
#include "frame/frame.h"

namespace kx {

// Depth of the DirectDraw screen once a DirectDraw backend has recorded one; 0 until then.
static int g_ddrawDepth = 0;
static bool g_ddrawModeInForce = false;

bool DirectDrawUsable()
{
    LibraryLock& lock = TheLibraryLock();
    lock.Enter();
    bool ok = g_ddrawDepth != 0;
    if (!ok) {
        // Usable when a small surface of the DirectDraw prototype's class can be made and locked.
        cCanvas probe;
        if (probe.CreateLike(32, 32, Prototypes().ddraw) && probe.backend->Lock()) {
            probe.backend->Unlock();
            ok = true;
        }
    }
    lock.Leave();
    return ok;
}

bool DirectDrawModeInForce() { return g_ddrawModeInForce; }

int DirectDrawScreenDepth() { return g_ddrawDepth; }

}  // namespace kx
