// What the installer's tests share: the build's signing key, stored-key strings, scratch folders.
#pragma once

#include <string>
#include <vector>

#include "packing.h"

namespace fwtest {

using fwpack::Bytes;

// The private half of the key compiled into the installer.
const fwpack::Signer& TestSigner();

// The stored (scrambled) form of a string of hexadecimal digits, padded with zeros to slot bytes.
Bytes StoreHex(const std::string& digits, size_t slot);

// The compiled-in modulus and exponent as hexadecimal digits, read from the signing key.
std::string ModulusHex();
std::string ExponentHex();

// n bytes of varied content.
Bytes Content(size_t n, unsigned seed = 1);

// A folder of its own under the temporary folder, removed with everything in it by RemoveTree.
std::string MakeScratchFolder(const char* tag);
void RemoveTree(const std::string& path);

bool FileContentIs(const std::string& path, const Bytes& expected);
bool Exists(const std::string& path);

}  // namespace fwtest
