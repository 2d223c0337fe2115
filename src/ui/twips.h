#pragma once

#include <QRect>

#include <cmath>

namespace kelmor {

// Layout is written in twips (1/1440 inch); at 96 logical dots per inch 15 twips make
// one logical pixel. This is the only place the two meet.
inline constexpr double kTwipsPerPixel = 15.0;

inline int twipsToPixels(double twips)
{
    return static_cast<int>(std::lround(twips / kTwipsPerPixel));
}

inline QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                 twipsToPixels(height));
}

} // namespace kelmor
