// libFuzzer target: the shared block's checks and walk, and the destination-name rules, on any bytes. The first
// byte chooses whether the harness repairs the header and checksum first, so that the walk itself is reached.
#include <stdint.h>
#include <string.h>

#include <vector>

#include "block.h"

namespace {

void Handle(void* context, const char* source, const char* name)
{
    // Both names must be terminated inside their buffers; strlen would run off otherwise (ASan reports it).
    size_t total = strlen(source) + strlen(name);
    *static_cast<size_t*>(context) += total;
    fw::IsPlainRelativeName(name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    bool repair = data[0] & 1;
    std::vector<uint8_t> block(data + 1, data + size);  // exactly sized: ASan sees every overrun
    if (repair && block.size() >= 16) {
        block[1] &= 0x0F;
        block[2] = 0;
        block[3] &= 0xF0;
        int32_t length;
        memcpy(&length, &block[8], 4);
        if (length > 0 && size_t(length) > block.size() - 8) {
            length = int32_t(block.size() - 8);
            memcpy(&block[8], &length, 4);
        }
        uint32_t sum = fw::BlockChecksum(block.data() + 8, length);
        memcpy(&block[4], &sum, 4);
    }
    size_t seen = 0;
    fw::WalkBlock(block.data(), block.size(), Handle, &seen);
    // The command line parser on the same bytes as text.
    std::vector<char> text(data + 1, data + size);
    text.push_back('\0');
    fw::ParseInstallSwitch(text.data());
    return 0;
}
