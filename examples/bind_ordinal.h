// Binding one export of the library by ordinal, the way a host built by any compiler can.
#pragma once

#include <windows.h>

#include <stdio.h>

// Points fn at export `ordinal` of dll; says so and returns false when the library lacks it.
template <class Fn>
bool BindOrdinal(HMODULE dll, int ordinal, Fn& fn)
{
    fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(dll, MAKEINTRESOURCEA(ordinal))));
    if (!fn)
        printf("  ordinal %d: not exported\n", ordinal);
    return fn != nullptr;
}
