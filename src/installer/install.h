// The installer's walk: the shared block's entries, each payload verified, unpacked and written under the install
// folder of the system directory.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace fw {

extern const char kSharedBlockName[];   // "OUShFile4a"
extern const char kInstallFolder[];     // "Harrowfen\\Ostrelin\\", under the system directory

// Opens the shared block, copies it and installs its entries. Does nothing when there is no block.
void InstallExtensions();

// Installs the entries of a block that the caller owns (nobody else can change it).
void InstallFromBlock(const uint8_t* block, size_t size);

// The full destination path for a name from the block, into path (PATH_BUFFER bytes): the install folder with
// the name behind it. False, with path empty, when the name is not a plain relative name, the whole path would
// not fit, or the path the system resolves does not lie inside the install folder.
bool MakeDestinationPath(const char* name, char* path);

}  // namespace fw
