// A display mode set for one window through its drawing canvas. One is in force at a time, process-wide; the
// window that set it (the holder) is the one whose canvas puts the old mode back. The holder is claimed and
// cleared by interlocked exchanges, so that no lock is held while the system changes the mode (which sends
// messages to windows of other threads).
#include "frame_window.h"
#include "kalvex2/canvas.h"

namespace kx {

static void* volatile g_displayModeHolder = nullptr;

void ForgetDisplayModeHolder(cFrameWindow* record)
{
    InterlockedCompareExchangePointer(const_cast<void**>(&g_displayModeHolder), nullptr, record);
}

}  // namespace kx

using namespace kx;

int SetFrameDisplayMode(cFrameWindow* record, int width, int height, int depth)
{
    if (!record || !record->window || !record->drawingCanvas)
        return 0;
    if (InterlockedCompareExchangePointer(const_cast<void**>(&g_displayModeHolder), record, nullptr))
        return 0;
    if (!record->drawingCanvas->SetDisplayMode(record->window, width, height, depth)) {
        ForgetDisplayModeHolder(record);
        return 0;
    }
    return depth;
}

int RestoreFrameDisplayMode()
{
    auto* holder =
        static_cast<cFrameWindow*>(InterlockedExchangePointer(const_cast<void**>(&g_displayModeHolder), nullptr));
    if (!holder || !holder->window || !holder->drawingCanvas)
        return 0;
    holder->drawingCanvas->RestoreDisplayMode(holder->window);
    return 1;
}
