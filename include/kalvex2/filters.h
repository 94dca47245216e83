/* Kalvex2 SDK: plug-in filter sets.
 *
 * A filter set scans a folder for plug-in libraries ("*.ift" for images), keeps the usable ones ordered by
 * priority and makes filter objects from them. A plug-in exports these functions by name (exact, case-sensitive,
 * undecorated), each __stdcall:
 *
 *   void*          CreateFilter(long creationParam)   required: a new filter object, or null
 *   const char*    GetFilterName()                    required: display name of the format
 *   unsigned long  GetFilterID()                      required: four-character code (image_filter.h)
 *   const char**   GetFilterExts()                    optional: null-terminated list of extensions, no dot
 *   int            CanReadFile(cInStream* input)      optional: nonzero when it reads the stream (may move it)
 *   void*          GetDependencies()                  optional: handed on unchanged
 *   unsigned long  GetPriority()                      optional: lower values are asked first; default 8192
 *
 * Filter objects run code of their library: release them before UnloadAll, Remove or a new scan. Destroying a set
 * does not unload its libraries; call UnloadAll first. */
#ifndef KALVEX2_FILTERS_H
#define KALVEX2_FILTERS_H

#include <windows.h>
#include "base.h"
#include "streams.h"

enum { DEFAULT_FILTER_PRIORITY = 8192 };

/* For plug-ins: an export of the contract. Link 32-bit plug-ins with --kill-at (mingw) or a module definition
 * (other compilers) so that the names carry no @n suffix. */
#define KX_PLUGIN_EXPORT extern "C" __declspec(dllexport)

typedef void*(KX_STDCALL* CreateFilterFn)(long creationParam);
typedef const char*(KX_STDCALL* GetFilterNameFn)();
typedef unsigned long(KX_STDCALL* GetFilterIDFn)();
typedef const char**(KX_STDCALL* GetFilterExtsFn)();
typedef int(KX_STDCALL* CanReadFileFn)(cInStream* input);
typedef void*(KX_STDCALL* GetDependenciesFn)();
typedef unsigned long(KX_STDCALL* GetPriorityFn)();

/* One loaded plug-in (ten 32-bit members; other code builds entries of this layout and inserts them). */
struct FilterEntry {
    HMODULE library;          /* null after unloading */
    char* path;               /* heap copy of the path it was loaded from, or null */
    unsigned long priority;
    long creationParam;       /* given to ScanFolder, passed to CreateFilter */
    CreateFilterFn createFilter;
    GetFilterNameFn getFilterName;
    GetFilterIDFn getFilterID;
    GetFilterExtsFn getFilterExts;     /* optional ones are null when absent */
    CanReadFileFn canReadFile;
    GetDependenciesFn getDependencies;
};

/* Entries in ascending priority; among equal priorities the one added later stands first. The pointer block
 * grows and shrinks in steps of 16 (PtrListGrow and friends, memory.h). */
struct FilterList {
    FilterEntry** items;
    int count;
    int capacity;
};

/* Slot 0 is Destroy(flags) as for the streams; Delete is Destroy(1) for sets the library allocated. Every slot
 * that takes an index checks it: an index outside the list gives 0, null, an empty text or an empty array. */
class KX_API cPluginFilterSet {
public:
    FilterList* list; /* null before the first scan and after UnloadAll */

    cPluginFilterSet();
    /* A copy loads its own reference of every library (its own entries), so each set unloads only its own. */
    cPluginFilterSet(const cPluginFilterSet& other);
    ~cPluginFilterSet();
    cPluginFilterSet& operator=(const cPluginFilterSet& other); /* unloads this set's list first */

    virtual void* Destroy(unsigned flags);                                       /* 0 */
    virtual void ScanFolder(const char* folder, const char* pattern, long creationParam); /* 1 */
    virtual cPluginFilterSet* UnloadAll();                                       /* 2: null when there was no list */
    /* 3: the exported body is the streams' Delete (the same work), so a derived set gets this copy. */
    virtual void Delete() { Destroy(1); }                                        /* 3 */
    virtual int GetCount();                                                      /* 4 */
    virtual const char* GetName(int index);                                      /* 5 */
    virtual const char* GetPath(int index);                                      /* 6: never null */
    virtual unsigned long GetID(int index);                                      /* 7 */
    virtual int FindID(unsigned long id);                                        /* 8: -1 when absent */
    virtual const char** GetExts(int index);                                     /* 9: never null */
    virtual void* GetDependencyList(int index);                                  /* 10 */
    virtual int CanRead(int index, cInStream* input);                            /* 11: stream position kept */
    virtual void* CreateForStream(cInStream* input);                             /* 12 */
    virtual void* CreateByID(unsigned long id);                                  /* 13 */
    virtual void* CreateAt(int index);                                           /* 14 */
    virtual void Remove(int index);                                              /* 15 */
};

class KX_API cImageFilterSet : public cPluginFilterSet {
public:
    cImageFilterSet();
    cImageFilterSet(const cImageFilterSet& other);
    ~cImageFilterSet();
    cImageFilterSet& operator=(const cImageFilterSet& other);

    virtual void* Destroy(unsigned flags);
    virtual cPluginFilterSet* UnloadAll();

    void ScanImageFilters(const char* folder, long creationParam); /* the "*.ift" libraries of folder */
    int IsAnimationFilter(int index);
    int IsImageFilter(int index);
};

KX_API cPluginFilterSet* KX_CDECL NewPluginFilterSet(); /* null when out of memory; destroy with Delete */
KX_API cImageFilterSet* KX_CDECL NewImageFilterSet();

#endif
