// The format tables and the ten kernel sets: five standard sets and five compressed-source sets, one per format
// index. Slots whose kernels belong to later work (compressed images 12 and 13, and the compressed-source copies 3
// to 6) stay null until that work fills them; nothing calls them before.
#include "kernels/kernel_set.h"

#include "kalvex2/frame.h"
#include "kernels/convert_kernels.h"
#include "kernels/copy_kernels.h"
#include "kernels/ink_kernels.h"
#include "kernels/pixel_kernels.h"

static_assert(kx::KERNEL_CPU_MMX == (unsigned long)CPU_MMX && kx::KERNEL_CPU_SSE2 == (unsigned long)CPU_SSE2);

namespace kx {

const unsigned char kFormatOfDepth[33] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0,                      // 0-8
    1, 1, 1, 1, 1, 1, 1,                            // 9-15
    2,                                              // 16
    3, 3, 3, 3, 3, 3, 3, 3,                         // 17-24
    4, 4, 4, 4, 4, 4, 4, 4,                         // 25-32
};

const int kDepthOfFormat[FORMAT_COUNT] = {8, 15, 16, 24, 32};

int FormatIndexOfDepth(int depth)
{
    // Depths beyond the table only come from odd display prototypes; they take the deepest format.
    if (depth < 0)
        return 0;
    return depth > 32 ? 4 : kFormatOfDepth[depth];
}

namespace {

template <class F>
constexpr BlitKernelSet StandardSet()
{
    return BlitKernelSet{
        SetPixelKernel<F>,              // 0  SetPixel
        GetPixelKernel<F>,              // 1  GetPixel
        FillKernel<F>,                  // 2  Fill
        CopyTransparentKernel<F>,       // 3  CopyTransparent
        CopyTransparentInkKernel<F>,    // 4  CopyTransparentInk
        CopyOpaqueKernel,               // 5  CopyOpaque, one routine for every format
        CopyOpaqueInkKernel<F>,         // 6  CopyOpaqueInk
        CallbackKernel<F, true>,        // 7  CallbackTransparent
        CallbackKernel<F, false>,       // 8  CallbackOpaque
        MirrorRowsKernel<F>,            // 9  MirrorRows
        ReplaceColourKernel<F>,         // 10 ReplaceColour
        ConvertKernel<F>,               // 11 Convert
        nullptr,                        // 12 CompressedSize (compressed-image work)
        nullptr,                        // 13 Compress (compressed-image work)
    };
}

// Only slots 3 to 6 will ever be filled: such a surface is used as a blit source and nothing else.
constexpr BlitKernelSet CompressedSourceSet()
{
    return BlitKernelSet{};
}

const BlitKernelSet kStandard8 = StandardSet<Format8>();
const BlitKernelSet kStandard15 = StandardSet<Format15>();
const BlitKernelSet kStandard16 = StandardSet<Format16>();
const BlitKernelSet kStandard24 = StandardSet<Format24>();
const BlitKernelSet kStandard32 = StandardSet<Format32>();

const BlitKernelSet kCompressedSource8 = CompressedSourceSet();
const BlitKernelSet kCompressedSource15 = CompressedSourceSet();
const BlitKernelSet kCompressedSource16 = CompressedSourceSet();
const BlitKernelSet kCompressedSource24 = CompressedSourceSet();
const BlitKernelSet kCompressedSource32 = CompressedSourceSet();

}  // namespace

const BlitKernelSet* const kStandardKernelSets[FORMAT_COUNT] = {&kStandard8, &kStandard15, &kStandard16,
                                                                &kStandard24, &kStandard32};
const BlitKernelSet* const kCompressedSourceKernelSets[FORMAT_COUNT] = {
    &kCompressedSource8, &kCompressedSource15, &kCompressedSource16, &kCompressedSource24, &kCompressedSource32};

const BlitKernelSet* StandardKernels(int formatIndex)
{
    return formatIndex >= 0 && formatIndex < FORMAT_COUNT ? kStandardKernelSets[formatIndex] : nullptr;
}

const BlitKernelSet* CompressedSourceKernels(int formatIndex)
{
    return formatIndex >= 0 && formatIndex < FORMAT_COUNT ? kCompressedSourceKernelSets[formatIndex] : nullptr;
}

}  // namespace kx
