/* Kalvex2 SDK: what every other header needs - import/export markers, calling conventions, status codes.
 * Plain C++ that old MSVC and mingw compilers accept; no C++11 features in the public headers. */
#ifndef KALVEX2_BASE_H
#define KALVEX2_BASE_H

#include <stddef.h>

/* The library itself is built with KALVEX2_BUILDING; everyone else imports. Every export is bound by ordinal
 * through the import library, so these markers only matter for data and for MSVC's call sequences. */
#if defined(KALVEX2_BUILDING)
#define KX_API
#else
#define KX_API __declspec(dllimport)
#endif

/* The binary interface is that of 32-bit x86 Windows. The library also builds as 64-bit code so that its tests can
 * run on machines that cannot execute 32-bit code; record layouts are only promised for the 32-bit build. */
#if defined(__i386__) || defined(_M_IX86)
#define KX_ABI32 1
#else
#define KX_ABI32 0
#endif

#define KX_CDECL __cdecl
/* For hosts that call members through pointers bound by ordinal: the object goes in ECX, the callee pops. */
#if KX_ABI32
#define KX_THISCALL __thiscall
#else
#define KX_THISCALL
#endif
#define KX_STDCALL __stdcall

/* Status codes, shared by the whole library: 0 is success. */
enum {
    STATUS_OK = 0,
    ERR_NO_MEMORY = 0x40000000,
    ERR_READ = 0x40000001,
    ERR_END_OF_DATA = 0x40000002,
    ERR_WRITE = 0x40000003,
    ERR_DISK_FULL = 0x40000004,
    ERR_OPEN = 0x40000005,
    ERR_CREATE = 0x40000006,
    ERR_BUFFER_FULL = 0x40000007,
    /* 0x40000008 is not assigned */
    ERR_BAD_DATA = 0x40000009,
    ERR_UNSUPPORTED = 0x40010000,
    ERR_BAD_FORMAT = 0x40010002
};

#endif
