// What the backend base class's operations between two surfaces share: locking a pair of surfaces, and a private
// copy of a rectangle for operations that must not read what they write (or cannot read a compressed source).
#pragma once

#include "backend.h"

namespace kx {

// Locks the source, then the destination (once when they are the same surface); unlocks what it locked.
class LockedPair {
public:
    LockedPair(cSurfaceBackend* src, cSurfaceBackend* dst) : src_(src), dst_(dst != src ? dst : nullptr)
    {
        srcLocked_ = src_->Lock() != 0;
        dstLocked_ = srcLocked_ && (!dst_ || dst_->Lock() != 0);
    }
    ~LockedPair()
    {
        if (dst_ && dstLocked_)
            dst_->Unlock();
        if (srcLocked_)
            src_->Unlock();
    }
    LockedPair(const LockedPair&) = delete;
    LockedPair& operator=(const LockedPair&) = delete;
    explicit operator bool() const { return srcLocked_ && dstLocked_; }

private:
    cSurfaceBackend* src_;
    cSurfaceBackend* dst_;
    bool srcLocked_ = false, dstLocked_ = false;
};

// A new surface of the source's class holding the rectangle (sx, sy, w, h), alpha plane and transparent colour
// included; null when it cannot be made or filled.
cSurfaceBackend* CopyOfRect(cSurfaceBackend* src, int sx, int sy, int w, int h);

}  // namespace kx
