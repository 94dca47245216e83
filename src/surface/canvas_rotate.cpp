// Canvas members that mirror and rotate, the rotated size of a surface, and rotated copies made to measure. The
// pixel work is the backend base class's (backend_rotate.cpp); here angles are reduced and routed to it.
#include "backend.h"

#include <limits.h>

#include <algorithm>

#include "surface/rotation.h"

using namespace kx;

int cCanvas::MirrorHorizontal(int x, int y, int width, int height)
{
    return backend->MirrorHorizontal(x - originX, y - originY, width, height);
}

int cCanvas::MirrorHorizontalAll()
{
    return backend->MirrorHorizontal(-originX, -originY, backend->d.width, backend->d.height);
}

int cCanvas::MirrorVertical(int x, int y, int width, int height)
{
    return backend->MirrorVertical(x - originX, y - originY, width, height);
}

int cCanvas::MirrorVerticalAll()
{
    return backend->MirrorVertical(-originX, -originY, backend->d.width, backend->d.height);
}

int cCanvas::Rotate90(cCanvas* destination, int clockwise)
{
    return destination ? backend->Rotate90(destination->backend, clockwise) : 0;
}

int cCanvas::RotateTo(cCanvas* destination, int angle, int quality, COLORREF fill, int flag)
{
    if (!destination)
        return 0;
    switch (int turned = NormaliseDegrees(angle)) {
    case 90: return backend->Rotate90(destination->backend, 0);
    case 270: return backend->Rotate90(destination->backend, 1);
    case 180:
        // Nothing copied is nothing turned: mirroring whatever the destination held would be no rotation.
        if (!CopyTo(destination))
            return 0;
        destination->MirrorHorizontalAll();
        destination->MirrorVerticalAll();
        return 1;
    default: return backend->Rotate(destination->backend, turned, quality, fill, flag);
    }
}

int cCanvas::RotateToRadians(cCanvas* destination, double angle, int quality, COLORREF fill)
{
    int degrees;
    return DegreesFromRadians(angle, &degrees) ? RotateTo(destination, degrees, quality, fill, 1) : 0;
}

void GetRotatedSize(int* width, int* height, int angle)
{
    if (!width || !height)
        return;
    int turned = NormaliseDegrees(angle);
    if (turned == 180)
        return;
    if (turned == 90 || turned == 270) {
        int w = *width;
        *width = *height;
        *height = w;
        return;
    }
    // Corners of the turned rectangle, truncated toward zero; the fourth is the third less the second.
    Turn t = TurnOf(turned);
    double w = *width, h = *height;
    long long x[4] = {0, (long long)(w * t.cosA), (long long)(w * t.cosA + h * t.sinA), 0};
    long long y[4] = {0, (long long)(-w * t.sinA), (long long)(h * t.cosA - w * t.sinA), 0};
    x[3] = x[2] - x[1];
    y[3] = y[2] - y[1];
    long long across = *std::max_element(x, x + 4) - *std::min_element(x, x + 4);
    long long down = *std::max_element(y, y + 4) - *std::min_element(y, y + 4);
    *width = across < INT_MAX ? (int)across : INT_MAX;
    *height = down < INT_MAX ? (int)down : INT_MAX;
}

int cCanvas::CreateRotated(cCanvas* destination, int angle, int quality, COLORREF fill)
{
    if (!destination)
        return 0;
    // Made into this canvas, the copy is built beside it first: a canvas re-created in place has lost its picture
    // before the picture could be read.
    cCanvas beside;
    cCanvas* target = destination == this ? &beside : destination;
    cSurfaceBackend* from = backend;
    int w = from->d.width, h = from->d.height, turned = NormaliseDegrees(angle), done;
    if (turned == 90 || turned == 270) {
        done = target->CreateLike(h, w, this) && from->Rotate90(target->backend, turned == 270);
    } else if (turned == 180) {
        done = target->CreateLike(w, h, this) &&
               from->Blit(target->backend, 0, 0, 0, 0, w, h, BLIT_OPAQUE, 0, 0, BLIT_COPY_ALPHA) &&
               target->backend->MirrorHorizontal(0, 0, w, h) && target->backend->MirrorVertical(0, 0, w, h);
    } else {
        int across = w, down = h;
        GetRotatedSize(&across, &down, turned);
        if (across <= 0 || down <= 0)
            return 0;
        done = target->CreateLike(across, down, this);
        if (done) {
            target->backend->FillRect(0, 0, across, down, fill);
            done = RotateTo(target, turned, quality, fill, 1);
        }
    }
    if (done && target == &beside) {
        AttachBackend(this, beside.backend);
        beside.backend = EmptyBackend();
    }
    return done;
}

int cCanvas::CreateRotatedRadians(cCanvas* destination, double angle, int quality, COLORREF fill)
{
    int degrees;
    return DegreesFromRadians(angle, &degrees) ? CreateRotated(destination, degrees, quality, fill) : 0;
}
