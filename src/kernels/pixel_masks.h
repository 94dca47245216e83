// Which bits of a native pixel the kernels compare and which hold colour, per format.
#pragma once

#include <stdint.h>

namespace kx {

// Every bit a pixel load gives: a transparent test compares exactly these.
template <class F>
constexpr uint32_t PixelMask()
{
    return F::kBytes == 4 ? 0xFFFFFFFFu : (1u << (8 * F::kBytes)) - 1;
}

// The bits that hold colour: not bit 15 of a 15-bit pixel, not the fourth byte of a 32-bit one.
template <class F>
constexpr uint32_t ColourBits()
{
    return F::kBytes >= 3 ? 0xFFFFFFu : F::kIndex == 1 ? 0x7FFFu : PixelMask<F>();
}

}  // namespace kx
