// Small helpers of the filter code: palette counts as the rest of the library may trust them.
#pragma once

#include <windows.h>

namespace kx {

// The number of entries of a logical palette that may be read: its count, never more than the 256 entries a
// palette block holds, 0 without a palette.
inline int PaletteCount(const LOGPALETTE* palette)
{
    if (!palette)
        return 0;
    return palette->palNumEntries > 256 ? 256 : palette->palNumEntries;
}

}  // namespace kx
