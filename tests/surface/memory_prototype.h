// The memory prototype of a depth, from which the surface tests make their canvases.
#pragma once

#include "kalvex2/canvas.h"

inline cCanvas* Prototype(int depth)
{
    cCanvas* proto = nullptr;
    GetPrototype(&proto, depth, 0, 0);
    return proto;
}
