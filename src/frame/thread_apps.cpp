// The per-thread list of application objects, kept in a thread-local slot. The thread that loads the library gets
// no list at attach; the application-object factory makes one when it first needs it.
#include "frame.h"
#include "core/alloc.h"

namespace kx {

void AllocateThreadSlot()
{
    if (g_process.threadSlot == TLS_OUT_OF_INDEXES)
        g_process.threadSlot = TlsAlloc();
}

void FreeThreadSlot()
{
    if (g_process.threadSlot != TLS_OUT_OF_INDEXES) {
        TlsFree(g_process.threadSlot);
        g_process.threadSlot = TLS_OUT_OF_INDEXES;
    }
}

cSlotList* CurrentThreadAppList()
{
    if (g_process.threadSlot == TLS_OUT_OF_INDEXES)
        return nullptr;
    return static_cast<cSlotList*>(TlsGetValue(g_process.threadSlot));
}

cSlotList* CreateThreadAppList()
{
    // A failed allocation stores null: the factory tries again later.
    cSlotList* list = New<cSlotList>();
    AllocateThreadSlot();
    if (g_process.threadSlot != TLS_OUT_OF_INDEXES)
        TlsSetValue(g_process.threadSlot, list);
    else
        Delete(list), list = nullptr;
    return list;
}

void DestroyThreadAppList()
{
    cSlotList* list = CurrentThreadAppList();
    if (!list)
        return;
    list->Free();
    Delete(list);
    TlsSetValue(g_process.threadSlot, nullptr);
}

}  // namespace kx
