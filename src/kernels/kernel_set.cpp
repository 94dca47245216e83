// The format tables and the standard kernel sets by format index.
#include "kernels/kernel_set.h"

namespace kx {

const int kDepthOfFormat[5] = {8, 15, 16, 24, 32};

int FormatIndexOfDepth(int depth)
{
    if (depth <= 8) return 0;
    if (depth <= 15) return 1;
    if (depth == 16) return 2;
    if (depth <= 24) return 3;
    return 4;
}

// No format has its kernels yet; surfaces with pixels arrive together with them.
const BlitKernelSet* StandardKernels(int) { return nullptr; }

}  // namespace kx
