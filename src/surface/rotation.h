// The angle arithmetic that rotated surfaces and their sizes share: whole degrees, counter-clockwise on the screen.
#pragma once

#include <math.h>

namespace kx {

constexpr double kRadiansPerDegree = 0.01745329251993889;
constexpr double kDegreesPerRadian = 57.29577951309679;

// The angle in 0..359.
inline int NormaliseDegrees(int angle)
{
    int a = angle % 360;
    return a < 0 ? a + 360 : a;
}

// Radians to whole degrees, truncated toward zero and reduced to -359..359 before they become an int, so that no
// finite value overflows; false for infinities and NaN.
inline bool DegreesFromRadians(double radians, int* degrees)
{
    double whole = trunc(radians * kDegreesPerRadian);
    if (!isfinite(whole))
        return false;
    *degrees = (int)fmod(whole, 360.0);
    return true;
}

// Cosine and sine in single precision, except at the quarter turns where they are exact.
struct Turn {
    double cosA, sinA;
};

inline Turn TurnOf(double degrees)
{
    if (degrees == 90)
        return Turn{0, 1};
    if (degrees == 270)
        return Turn{0, -1};
    float radians = (float)(degrees * kRadiansPerDegree);
    return Turn{(double)cosf(radians), (double)sinf(radians)};
}

}  // namespace kx
