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

// The part of the rectangle (x, y, width, height) that lies inside the surface's clip rectangle, worked out in 64
// bits so that a far-away host rectangle clips to nothing instead of wrapping around into the surface; false when
// nothing is left.
inline bool ClipToClipRect(const SurfaceDesc& d, long long x, long long y, long long width, long long height,
                           RECT& out)
{
    long long left = x > d.clipLeft ? x : d.clipLeft;
    long long top = y > d.clipTop ? y : d.clipTop;
    long long right = x + width < d.clipRight ? x + width : d.clipRight;
    long long bottom = y + height < d.clipBottom ? y + height : d.clipBottom;
    if (left >= right || top >= bottom)
        return false;
    out = RECT{(LONG)left, (LONG)top, (LONG)right, (LONG)bottom};
    return true;
}

// A new surface of the source's class holding the rectangle (sx, sy, w, h), alpha plane and transparent colour
// included; null when it cannot be made or filled.
cSurfaceBackend* CopyOfRect(cSurfaceBackend* src, int sx, int sy, int w, int h);

}  // namespace kx
