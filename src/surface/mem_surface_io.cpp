// Raw pixel rows of memory surfaces to and from files: pitch x height bytes at the file's current position, as
// the rows lie in memory.
#include "mem_surface.h"

#include <stdint.h>

#include "kalvex2/streams.h"

namespace kx {

// The lowest address of the rows: row 0 for top-down memory, the last row for a bottom-up view.
static unsigned char* FirstByte(const SurfaceDesc& d)
{
    return d.rowStep < 0 ? d.rowZero + (ptrdiff_t)(d.height - 1) * d.rowStep : d.rowZero;
}

static bool HasRows(const SurfaceDesc& d)
{
    return d.rowZero && d.width > 0 && d.height > 0 && d.pitch > 0 && (int64_t)d.pitch * d.height <= INT32_MAX;
}

int cMemSurface::ReadPixels(HANDLE file)
{
    if (!HasRows(d))
        return 0;
    return FileRead(file, FirstByte(d), d.pitch * d.height) == STATUS_OK;
}

int cMemSurface::WritePixels(HANDLE file)
{
    if (!HasRows(d))
        return 0;
    return FileWrite(file, FirstByte(d), d.pitch * d.height) == STATUS_OK;
}

}  // namespace kx
