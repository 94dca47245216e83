/* Kalvex2 SDK: zlib compression between streams, file handles and memory.
 *
 * What these functions write and read is a plain zlib stream (two-byte header, deflate data, Adler-32 trailer),
 * nothing around it. A length of -1 means the input's whole size (cInStream::GetSize; for a file handle the
 * whole file's size, even when the handle does not stand at its start); other negative lengths are refused with
 * ERR_READ. Level -1 is zlib's default; others are taken into 0 to 9.
 *
 * Results: 0; ERR_NO_MEMORY; ERR_BAD_DATA for corrupt or truncated compressed data; otherwise the failing status
 * of the input's ReadExact or the output's Write (ERR_END_OF_DATA when the input is shorter than length,
 * ERR_DISK_FULL, ERR_BUFFER_FULL, ...). The file-handle variants write every byte before they return and report
 * the status of the last write. Handles stay open.
 *
 * The library also exports zlib's own functions (adler32, crc32, deflate, inflate, ...; zlibVersion answers
 * "1.1.3"): include zlib.h and link the import library instead of zlib. */
#ifndef KALVEX2_COMPRESS_H
#define KALVEX2_COMPRESS_H

#include "streams.h"

enum { COMPRESS_CHUNK = 8192 };

KX_API int KX_CDECL InflateStream(cOutStream* output, cInStream* input, int length);
KX_API int KX_CDECL InflateFileToFile(HANDLE output, HANDLE input, int length);
KX_API int KX_CDECL InflateMemToFile(HANDLE output, const void* source, int length);
/* The destination must hold the whole decompressed data: nothing here knows its size. */
KX_API int KX_CDECL InflateFileToMem(void* destination, HANDLE input, int length);
KX_API int KX_CDECL DeflateStream(cOutStream* output, cInStream* input, int length, int level);
KX_API int KX_CDECL DeflateFileToFile(HANDLE output, HANDLE input, int length, int level);
KX_API int KX_CDECL DeflateMemToFile(HANDLE output, const void* source, int length, int level);

/* Kept for binding only: does nothing and returns 0. */
KX_API int KX_CDECL CompressReserved();

#endif
