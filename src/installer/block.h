// The shared block the host leaves for the installer, and the command line that starts it. Plain C++ without
// Windows headers, so that the parser also builds natively for fuzzing.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace fw {

enum {
    PATH_BUFFER = 260,           // every path buffer, terminating zero included
    PATH_LIMIT = PATH_BUFFER - 1,
    BLOCK_HEADER_SIZE = 16,
    ENTRY_RECORD_SIZE = 16,
    HEADER_RESERVED_MASK = 0x0FFFF000,
    NAME_KEY_START = 0x13
};

// True when the arguments after the program's name ask for an install ("-i" or "/I", possibly among other
// switches). Parsing stops at the first bare word.
bool ParseInstallSwitch(const char* arguments);

// The running checksum over length bytes: rotate left by one, add the byte. A length of 0 or less gives 0.
uint32_t BlockChecksum(const uint8_t* bytes, int32_t length);

enum class BlockCheck { Accepted, TooSmall, ReservedBits, LengthOutside, ChecksumDiffers };

// Checks the header word and the checksum of a block of size bytes; the checksum length may not reach past it.
BlockCheck CheckBlock(const uint8_t* block, size_t size);

// The next name key: a left rotation by one bit within five bits.
inline uint8_t NextNameKey(uint8_t key)
{
    key = uint8_t(key << 1);
    return (key & 0x20) ? uint8_t((key & 0x1E) | 1) : key;
}

enum class NameRead { Ok, TooLong, OutsideBlock };

// Unscrambles the name at scrambled (available bytes up to the block's end) into out (limit characters plus the
// terminating zero), advancing the running key by one step per character. A name without its stored zero within
// limit characters is TooLong; one that runs to the end of the block is OutsideBlock. out always ends with a zero.
NameRead UnscrambleName(const uint8_t* scrambled, size_t available, uint8_t* key, char* out, size_t limit);

// Called for every entry whose two names were read whole; the buffers are cleared after the call returns.
typedef void (*EntryHandler)(void* context, const char* source, const char* name);

// Walks the entries of an accepted block (a private copy that nobody else can change). Entries with an overlong
// name are skipped; a record or name that does not lie inside the block, or an entry size below one record, ends
// the walk (the record at hand is still handled). Returns the number of entries handed to the handler.
uint32_t WalkBlock(const uint8_t* block, size_t size, EntryHandler handler, void* context);

// True when every component of a destination name (separated by "\" or "/") is a plain file or folder name: not
// empty, "." or "..", no ":" or <>"|?* or control character, no trailing dot or space, no device name.
bool IsPlainRelativeName(const char* name);

}  // namespace fw
