#pragma once

#include "VxFramework/Utilities/Computation/MathUtils.h"

#include <algorithm>
#include <cstdint>

namespace Vx
{
// Four floats, nominally 0..1; nothing clamps them on store.
class Color
{
public:
    Color() noexcept = default;
    // 0xAARRGGBB
    Color(std::uint32_t argb) noexcept;
    Color(std::int32_t argb) noexcept;
    // "0x" optional, then 2 (alpha), 6 (red, green, blue) or 8 (alpha, red,
    // green, blue) hexadecimal digits; a null text leaves the colour zero.
    explicit Color(const char* text) noexcept;

    // Reads a text form into this colour: only the channels the text carries
    // change, and text of any other length changes nothing.
    void Assign(const char* text) noexcept;

    // 0xAARRGGBB, each channel rounded half away from zero and clamped.
    std::uint32_t ToARGB() const noexcept;

    bool operator==(const Color& other) const noexcept
    {
        return red == other.red && green == other.green && blue == other.blue && alpha == other.alpha;
    }
    bool operator!=(const Color& other) const noexcept { return !(*this == other); }

    float red = 0.0f;
    float green = 0.0f;
    float blue = 0.0f;
    float alpha = 0.0f;
};

template <class T> struct RectT;

// A point; a size is carried as one too (x = width, y = height).
template <class T>
struct PointT
{
    T x;
    T y;

    static const PointT Zero;
    static const PointT Origin;
    // A scale equal to One means no scaling.
    static const PointT One;

    // Each coordinate through RangeCheckedCast (ints round half away from zero).
    template <class U>
    explicit operator PointT<U>() const noexcept
    {
        return PointT<U>{RangeCheckedCast<U>(x), RangeCheckedCast<U>(y)};
    }
    PointT<std::int32_t> Round() const noexcept { return static_cast<PointT<std::int32_t>>(*this); }

    // A point of another type is converted to this one's type first.
    template <class U>
    PointT& operator+=(const PointT<U>& other) noexcept
    {
        const PointT converted = static_cast<PointT>(other);
        x += converted.x;
        y += converted.y;
        return *this;
    }
    template <class U>
    PointT& operator-=(const PointT<U>& other) noexcept
    {
        const PointT converted = static_cast<PointT>(other);
        x -= converted.x;
        y -= converted.y;
        return *this;
    }
    PointT& operator+=(const PointT& other) noexcept
    {
        x += other.x;
        y += other.y;
        return *this;
    }
    PointT& operator-=(const PointT& other) noexcept
    {
        x -= other.x;
        y -= other.y;
        return *this;
    }
    PointT operator+(const PointT& other) const noexcept { return PointT{T(x + other.x), T(y + other.y)}; }
    PointT operator-(const PointT& other) const noexcept { return PointT{T(x - other.x), T(y - other.y)}; }
    PointT operator-() const noexcept { return PointT{T(-x), T(-y)}; }
    bool operator==(const PointT& other) const noexcept { return x == other.x && y == other.y; }
    bool operator!=(const PointT& other) const noexcept { return !(*this == other); }
};

template <class T> const PointT<T> PointT<T>::Zero{T(0), T(0)};
template <class T> const PointT<T> PointT<T>::Origin{T(0), T(0)};
template <class T> const PointT<T> PointT<T>::One{T(1), T(1)};

// Covers x <= px < x + width and y <= py < y + height: the right and bottom
// edges lie outside.
template <class T>
struct RectT
{
    T x;
    T y;
    T width;
    T height;

    static const RectT Empty;

    // (0, 0, size x, size y)
    static RectT FromSize(const PointT<T>& size) noexcept { return RectT{T(0), T(0), size.x, size.y}; }

    // The four fields each through RangeCheckedCast.
    template <class U>
    explicit operator RectT<U>() const noexcept
    {
        return RectT<U>{RangeCheckedCast<U>(x), RangeCheckedCast<U>(y), RangeCheckedCast<U>(width),
                        RangeCheckedCast<U>(height)};
    }
    RectT<std::int32_t> Round() const noexcept { return static_cast<RectT<std::int32_t>>(*this); }

    T GetRight() const noexcept { return x + width; }
    T GetBottom() const noexcept { return y + height; }
    PointT<T> GetOrigin() const noexcept { return PointT<T>{x, y}; }
    PointT<T> GetSize() const noexcept { return PointT<T>{width, height}; }
    bool IsEmpty() const noexcept { return !(width > T(0)) || !(height > T(0)); }

    bool Contains(const PointT<T>& point) const noexcept
    {
        return point.x >= x && point.x < x + width && point.y >= y && point.y < y + height;
    }

    // Moving changes the position only.
    RectT& operator+=(const PointT<T>& offset) noexcept
    {
        x += offset.x;
        y += offset.y;
        return *this;
    }
    RectT& operator-=(const PointT<T>& offset) noexcept
    {
        x -= offset.x;
        y -= offset.y;
        return *this;
    }
    RectT operator+(const PointT<T>& offset) const noexcept { return RectT{T(x + offset.x), T(y + offset.y), width, height}; }
    RectT operator-(const PointT<T>& offset) const noexcept { return RectT{T(x - offset.x), T(y - offset.y), width, height}; }

    // Clips to (0, 0, w, h); true when something is left.
    bool ClipToSize(const PointT<T>& size) noexcept
    {
        const T left = std::max(x, T(0));
        const T top = std::max(y, T(0));
        const T clippedWidth = std::min(size.x, T(x + width)) - left;
        const T clippedHeight = std::min(size.y, T(y + height)) - top;
        x = left;
        y = top;
        width = clippedWidth;
        height = clippedHeight;
        return width > T(0) && height > T(0);
    }

    bool operator==(const RectT& other) const noexcept
    {
        return x == other.x && y == other.y && width == other.width && height == other.height;
    }
    bool operator!=(const RectT& other) const noexcept { return !(*this == other); }
};

template <class T> const RectT<T> RectT<T>::Empty{T(0), T(0), T(0), T(0)};

} // namespace Vx
