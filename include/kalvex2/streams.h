/* Kalvex2 SDK: input and output streams over files and memory, and the file functions beneath them.
 *
 * Image and sound plug-ins receive these objects through their virtual tables, so the order of the virtual
 * members below is binary interface: slot 0 is Destroy(flags), the place where other compilers put the deleting
 * destructor; bit 0 of flags frees the memory with the library's allocator, so Delete (Destroy(1)) is for objects
 * that the library allocated (NewFileInStream, NewMemInStream). Positions, sizes and counts are signed 32-bit
 * byte counts; every call that can fail returns one of the status codes of base.h.
 *
 * Copies made with the copy constructors or assignments never own anything: the original keeps its file handle
 * and its memory block, and the copy stops working once the original has released them. A copy of a file stream
 * gets a buffer of its own. */
#ifndef KALVEX2_STREAMS_H
#define KALVEX2_STREAMS_H

#include <windows.h>
#include "base.h"

enum {
    FILE_BUFFER_SIZE = 16384, /* read-ahead of cFileInStream */
    MEM_GROW_STEP = 512       /* initial growth step of cMemOutStream */
};

/* Seek origins. */
enum { SEEK_FROM_START = 0, SEEK_FROM_CURRENT = 1, SEEK_FROM_END = 2 };

/* Abstract input stream: no data besides the virtual table. */
class KX_API cInStream {
public:
    cInStream();
    cInStream(const cInStream& other);
    ~cInStream();
    cInStream& operator=(const cInStream& other);

    virtual void* Destroy(unsigned flags);                              /* 0 */
    virtual void Delete();                                              /* 1: Destroy(1) unless this is null */
    virtual int Read(void* destination, int count, int* delivered) = 0; /* 2 */
    virtual int ReadExact(void* destination, int count) = 0;            /* 3: ERR_END_OF_DATA when short */
    virtual int ReadByte(unsigned char* value) = 0;                     /* 4 */
    virtual int ReadWord(unsigned short* value);                        /* 5: low byte first */
    virtual int ReadDword(unsigned long* value);                        /* 6: low word first */
    virtual int ReadWordBE(unsigned short* value);                      /* 7 */
    virtual int ReadDwordBE(unsigned long* value);                      /* 8 */
    virtual int ReadLong(long* value);                                  /* 9: calls slot 6 */
    virtual int ReadLongBE(long* value);                                /* 10: calls slot 8 */
    virtual int ReadWords(unsigned short* values, int count);           /* 11 */
    virtual int ReadDwords(unsigned long* values, int count);           /* 12 */
    virtual int ReadLongs(long* values, int count);                     /* 13: calls slot 12 */
    virtual int ReadWordsBE(unsigned short* values, int count);         /* 14 */
    virtual int ReadDwordsBE(unsigned long* values, int count);         /* 15 */
    virtual int ReadLongsBE(long* values, int count);                   /* 16: calls slot 15 */
    virtual int Tell() = 0;                                             /* 17 */
    virtual int GetSize() = 0;                                          /* 18 */
    virtual int Seek(int offset, int origin) = 0;                       /* 19 */
    virtual int AttachHandle(HANDLE file) = 0;                          /* 20 */
    virtual HANDLE DetachHandle() = 0;                                  /* 21 */
    virtual void* ReadAlloc(int count);                                 /* 22: free with FreeAlloc */
    virtual void FreeAlloc(void* block);                                /* 23 */
    virtual const char* GetFileName() = 0;                              /* 24 */
};

/* Buffered reader over a Win32 file handle, optionally restricted to a region of the file. Tell and positions
 * count from the region's first byte. GetSize and Tell share their exported bodies with other classes; call
 * them through the virtual table (a cInStream pointer or reference). */
class KX_API cFileInStream : public cInStream {
public:
    HANDLE handle;            /* INVALID_HANDLE_VALUE when none */
    int position;             /* absolute file offset of the next byte delivered */
    unsigned char* buffer;
    unsigned char* cursor;
    unsigned long buffered;   /* undelivered bytes at cursor */
    int ownsHandle;
    char* fileName;
    int regionStart;
    int regionLength;         /* reads treat 0 as "no bound" */

    cFileInStream();
    cFileInStream(const cFileInStream& other);
    ~cFileInStream();
    cFileInStream& operator=(const cFileInStream& other);

    virtual void* Destroy(unsigned flags);
    virtual int Read(void* destination, int count, int* delivered);
    virtual int ReadExact(void* destination, int count);
    virtual int ReadByte(unsigned char* value);
    virtual int Tell();
    virtual int GetSize();
    virtual int Seek(int offset, int origin);
    /* Presents the file from the handle's current pointer on; the size reported is the whole file's. */
    virtual int AttachHandle(HANDLE file);
    /* Leaves the handle's pointer right after the last byte delivered. */
    virtual HANDLE DetachHandle();
    virtual const char* GetFileName();

    int AttachRegion(HANDLE file, int start, int length);
    int Open(HANDLE file);
    int Open(HANDLE file, int start, int length);
    int Open(const char* path);                        /* ERR_OPEN when the file cannot be opened */
    int Open(const char* path, int start, int length);
};

/* Reader over a memory block (the caller's, or one it allocated with AllocData). */
class KX_API cMemInStream : public cInStream {
public:
    unsigned char* data;
    unsigned char* cursor;
    int position;
    unsigned long remaining;
    int ownsData;

    cMemInStream();
    cMemInStream(const cMemInStream& other);
    ~cMemInStream();
    cMemInStream& operator=(const cMemInStream& other);

    virtual void* Destroy(unsigned flags);
    virtual int Read(void* destination, int count, int* delivered);
    virtual int ReadExact(void* destination, int count);
    virtual int ReadByte(unsigned char* value);
    virtual int Tell();
    virtual int GetSize();
    virtual int Seek(int offset, int origin);
    virtual int AttachHandle(HANDLE file); /* returns 0, does nothing */
    virtual HANDLE DetachHandle();         /* returns INVALID_HANDLE_VALUE */
    virtual void* ReadAlloc(int count);    /* a pointer into the block, no copy */
    virtual void FreeAlloc(void* block);   /* nothing to do */
    virtual const char* GetFileName();     /* null */

    int Open(const void* block, int size); /* the caller's block, not owned; ERR_OPEN for a negative size */
    int AllocData(int size);               /* fill the block through GetData */
    unsigned char* GetData();
};

/* Abstract output stream: no data besides the virtual table. */
class KX_API cOutStream {
public:
    cOutStream();
    cOutStream(const cOutStream& other);
    ~cOutStream();
    cOutStream& operator=(const cOutStream& other);

    virtual void* Destroy(unsigned flags);              /* 0 */
    virtual int Write(const void* source, int count) = 0; /* 1 */
    virtual int Flush() = 0;                            /* 2 */
    virtual int GetSize() = 0;                          /* 3 */
    virtual int Tell() = 0;                             /* 4 */
    virtual int Seek(int offset, int origin) = 0;       /* 5 */
    virtual const char* GetFileName() = 0;              /* 6 */

    int WriteWord(const unsigned short& value);         /* low byte first */
    int WriteDword(const unsigned long& value);         /* least significant byte first */
    int WriteLong(const long& value);
    int WriteWordBE(const unsigned short& value);
    int WriteDwordBE(const unsigned long& value);
};

/* Buffered writer over a Win32 file handle. A seek into the middle of the file writes the pending bytes and then
 * writes straight through until a seek to the end. Flush reports whether the last bytes reached the file. */
class KX_API cFileOutStream : public cOutStream {
public:
    HANDLE handle;
    int ownsHandle;
    unsigned char* buffer;     /* null when it could not be allocated or the size was 0 */
    unsigned char* cursor;
    unsigned long pending;
    unsigned long bufferSize;
    int buffering;
    char* fileName;

    cFileOutStream();
    cFileOutStream(const cFileOutStream& other);
    ~cFileOutStream();          /* flushes; the status of that write is lost, so call Flush first */
    cFileOutStream& operator=(const cFileOutStream& other);

    virtual void* Destroy(unsigned flags);
    virtual int Write(const void* source, int count);
    virtual int Flush();
    virtual int GetSize();
    virtual int Tell();
    virtual int Seek(int offset, int origin);
    virtual const char* GetFileName();

    int Open(HANDLE file, unsigned long bufferSize);       /* the caller's handle, not owned */
    int Create(const char* path, unsigned long bufferSize); /* ERR_CREATE when the file cannot be created */
};

/* Writer into a memory block that grows (library-owned) or stays fixed (a caller's buffer, ERR_BUFFER_FULL). */
class KX_API cMemOutStream : public cOutStream {
public:
    unsigned char* data;
    unsigned char* cursor;
    int capacity;
    int size;       /* bytes written (the highest end of any write) */
    int growStep;
    int ownsData;

    cMemOutStream();
    cMemOutStream(const cMemOutStream& other);
    ~cMemOutStream();
    cMemOutStream& operator=(const cMemOutStream& other);

    virtual void* Destroy(unsigned flags);
    virtual int Write(const void* source, int count);
    virtual int Flush();               /* returns 0 */
    virtual int GetSize();
    virtual int Tell();
    virtual int Seek(int offset, int origin);
    virtual const char* GetFileName(); /* null */

    int AllocBuffer(int size);             /* a new owned block; size is also the growth step */
    int AttachBuffer(void* block, int size);
    unsigned char* TakeBuffer();           /* the caller owns the block; free it with FreeStreamBuffer */
    unsigned char* GetData();
};

KX_API void KX_CDECL FreeStreamBuffer(void* block);
KX_API cFileInStream* KX_CDECL NewFileInStream(); /* null when out of memory; destroy with Delete */
KX_API cMemInStream* KX_CDECL NewMemInStream();

/* File functions over Win32 handles. A failed open or create returns INVALID_HANDLE_VALUE. */
enum {
    FOPEN_WRITE_ONLY = 1,   /* as the whole flags word: write only, no sharing */
    FOPEN_READ_WRITE = 2,   /* as the whole flags word: read and write */
    FOPEN_DENY_ALL = 0x10,  /* otherwise read only, shared as the first of these bits says (none: read) */
    FOPEN_EXCLUSIVE = 0x20,
    FOPEN_SHARE_ALL = 0x40
};
KX_API HANDLE KX_CDECL FileOpen(const char* path, int flags);
KX_API HANDLE KX_CDECL FileCreate(const char* path);
KX_API int KX_CDECL FileRead(HANDLE file, void* destination, int count);
KX_API int KX_CDECL FileReadSome(HANDLE file, void* destination, int count); /* bytes read, or -1 */
/* Length-prefixed blocks: the block is allocated with AllocRetry and stored at once; free it with FreeAndNull
 * even when the call fails. A length that runs past the end of the file is ERR_END_OF_DATA with nothing allocated. */
KX_API int KX_CDECL FileReadBlock16(HANDLE file, void** block);
KX_API int KX_CDECL FileReadText16(HANDLE file, char** text);
KX_API int KX_CDECL FileReadBlock32(HANDLE file, void** block);
KX_API int KX_CDECL FileWrite(HANDLE file, const void* source, int count);
KX_API int KX_CDECL FileTell(HANDLE file);
KX_API int KX_CDECL FileSeek(HANDLE file, int position);
KX_API int KX_CDECL FileSeekCurrent(HANDLE file, int offset);
KX_API int KX_CDECL FileSeekEnd(HANDLE file, int offset);
KX_API int KX_CDECL FileGetSize(HANDLE file);
KX_API int KX_CDECL FileClose(HANDLE file);
KX_API int KX_CDECL FileExists(const char* path); /* wildcards allowed */

#endif
