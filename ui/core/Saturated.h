// Layout arithmetic that cannot wrap. Markup numbers reach the edges of int
// (sizes, paddings, insets, positions), so sums and differences of them are
// taken in 64 bits and held within a bound: every position and size of the
// layout stays within kLayoutLimit either way, so that the width or height of
// any rectangle made of them still fits an int.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>

namespace Velora {

constexpr int kLayoutLimit = (1 << 30) - 1;

// The value held within -limit..limit (the layout's bound unless given).
constexpr int Saturated(int64_t value, int64_t limit = kLayoutLimit)
{
    return static_cast<int>(std::clamp<int64_t>(value, -limit, limit));
}

// The rectangle less an inset on each side (left + inset.left, ...).
inline RECT Saturated(const RECT& rect, const RECT& inset)
{
    return {Saturated(int64_t{rect.left} + inset.left), Saturated(int64_t{rect.top} + inset.top),
            Saturated(int64_t{rect.right} - inset.right), Saturated(int64_t{rect.bottom} - inset.bottom)};
}

} // namespace Velora
