#pragma once

#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/ObjectBase/Result.h"
#include "VxFramework/Utilities/Computation/MathUtils.h"
#include "VxFramework/Utilities/Storage/StringT.h"
#include "VxFramework/Utilities/Storage/VxArray.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <type_traits>

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
    explicit Color(const StringT<char, unsigned short>& text) noexcept : Color(text.GetCString()) {}

    // Reads a text form into this colour: only the channels the text carries
    // change, and text of any other length changes nothing.
    void Assign(const char* text) noexcept;

    // "0x" and alpha, red, green, blue in two hexadecimal digits each: every
    // channel times 255, truncated, not clamped (1.5 gives three digits).
    StringT<char, unsigned short> ToString() const;

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

    // A negative width or height is made positive by moving the left or top
    // edge (x + w, w = -w); then the four edges are floored, each with
    // FloorTolerant, so the size is the difference of the snapped edges.
    void NormalizeAndSnap() noexcept requires std::is_floating_point_v<T>
    {
        if (width < T(0))
        {
            x += width;
            width = -width;
        }
        if (height < T(0))
        {
            y += height;
            height = -height;
        }
        const T left = static_cast<T>(FloorTolerant(x));
        const T right = static_cast<T>(FloorTolerant(x + width));
        const T top = static_cast<T>(FloorTolerant(y));
        const T bottom = static_cast<T>(FloorTolerant(y + height));
        x = left;
        y = top;
        width = right - left;
        height = bottom - top;
    }

    bool operator==(const RectT& other) const noexcept
    {
        return x == other.x && y == other.y && width == other.width && height == other.height;
    }
    bool operator!=(const RectT& other) const noexcept { return !(*this == other); }
};

template <class T> const RectT<T> RectT<T>::Empty{T(0), T(0), T(0), T(0)};

// A list of points with a line thickness and a changed flag that the
// renderer's path cache reads and clears.  The array operations that change
// the points set the flag; writing through element pointers does not.
template <class T>
class PolylineT : public Array<PointT<T>>
{
    using Base = Array<PointT<T>>;

public:
    using Point = PointT<T>;

    PolylineT() = default;

    VxRESULT RemoveAll() override
    {
        mThickness = 1.0f;
        return SetCount(0) == 0 ? VXR_OK : VXR_E_FAIL;
    }
    VxRESULT Insert(std::uint32_t index, const Point& item) override
    {
        mChanged = true;
        return Base::Insert(index, item);
    }
    VxRESULT RemoveAt(std::uint32_t index, Point& out) override
    {
        mChanged = true;
        return Base::RemoveAt(index, out);
    }
    VxRESULT SetCount(std::uint32_t count) override
    {
        mChanged = true;
        return Base::SetCount(count);
    }
    VxRESULT InsertSpace(std::uint32_t index, std::uint32_t count) override
    {
        mChanged = true;
        return Base::InsertSpace(index, count);
    }
    VxRESULT RemoveSpace(std::uint32_t index, std::uint32_t count) override
    {
        mChanged = true;
        return Base::RemoveSpace(index, count);
    }

    // The path cache's key: the polyline's address.
    std::intptr_t GetHandle() const noexcept { return reinterpret_cast<std::intptr_t>(this); }

    // With bit 0 of flags, a point in the pixel cell of the last point is dropped.
    void AddPoint(const Point& point, int flags)
    {
        const std::uint32_t count = this->GetCount();
        if ((flags & 1) != 0 && count > 0)
        {
            const Point& last = (*this)[count - 1];
            const T left = static_cast<T>(point.x - 0.5);
            const T top = static_cast<T>(point.y - 0.5);
            if (last.x >= left && last.x < static_cast<T>(left + 1) && last.y >= top && last.y < static_cast<T>(top + 1))
                return;
        }
        this->Add(point);
    }

    // Repeats point 0 at the end; nothing when empty.
    void Close()
    {
        const std::uint32_t count = this->GetCount();
        if (count == 0)
            return;
        if (SetCount(count + 1) != static_cast<VxRESULT>(count + 1))
            return;
        (*this)[count] = (*this)[0];
    }

    void SetPoint(std::uint32_t index, const Point& point)
    {
        if (index >= this->GetCount())
        {
            VX_ASSERT_FALSE();
            return;
        }
        (*this)[index] = point;
        mChanged = true;
    }

    // Inserts other's points moved by offset at index (below 0: at the end).
    void InsertPoints(const IArray<Point>& other, const Point& offset, std::int32_t index)
    {
        if (&other == this)
        {
            // The insertion moves the points being read.
            const Base copy(*this);
            InsertPoints(copy, offset, index);
            return;
        }
        const std::uint32_t at = index < 0 ? this->GetCount() : static_cast<std::uint32_t>(index);
        const std::uint32_t count = other.GetCount();
        if (Failed(InsertSpace(at, count)))
        {
            VX_ASSERT_FALSE();
            return;
        }
        for (std::uint32_t i = 0; i < count; ++i)
            (*this)[at + i] = other[i] + offset;
        mChanged = true;
    }

    // Moves the points from fromIndex to the end.
    void OffsetPoints(const Point& offset, std::uint32_t fromIndex)
    {
        for (std::uint32_t i = this->GetCount(); i > fromIndex; --i)
            (*this)[i - 1] += offset;
        mChanged = true;
    }

    // The smallest and largest coordinates; width and height have no +1.
    RectT<T> GetBounds() const
    {
        const std::uint32_t count = this->GetCount();
        if (count == 0)
            return RectT<T>{T(0), T(0), T(0), T(0)};
        Point low = (*this)[0];
        Point high = low;
        for (std::uint32_t i = 1; i < count; ++i)
        {
            const Point& p = (*this)[i];
            if (p.x < low.x)
                low.x = p.x;
            else if (p.x > high.x)
                high.x = p.x;
            if (p.y < low.y)
                low.y = p.y;
            else if (p.y > high.y)
                high.y = p.y;
        }
        return RectT<T>{low.x, low.y, T(high.x - low.x), T(high.y - low.y)};
    }

    // Appends the arc of a rounded corner from start to end whose sharp corner
    // is corner, as seven points stepped in 16.16 fixed point.
    void AddCorner(const Point& start, const Point& end, const Point& corner)
    {
        const T originX = static_cast<T>(std::trunc(std::min(start.x, end.x)));
        const T originY = static_cast<T>(std::trunc(std::min(start.y, end.y)));
        const std::uint32_t first = this->GetCount();
        const auto fixed = [](T value, T origin) -> std::int64_t {
            const double scaled = static_cast<double>(value - origin) * 65536.0;
            // Saturated: a corner too large for 16.16 must not overflow.
            return static_cast<std::int64_t>(std::clamp(scaled, -2147483648.0, 2147483647.0));
        };
        struct Axis
        {
            std::int64_t v;
            std::int64_t w;
            std::int64_t c;
        };
        const auto setUp = [](std::int64_t s, std::int64_t e, std::int64_t k) {
            const std::int64_t v = k - e;
            const std::int64_t d = k - s;
            return Axis{v, d - (d >> 7) - (d >> 15) - (d >> 22) + (v >> 3), s - v + 0x8000};
        };
        Axis x = setUp(fixed(start.x, originX), fixed(end.x, originX), fixed(corner.x, originX));
        Axis y = setUp(fixed(start.y, originY), fixed(end.y, originY), fixed(corner.y, originY));
        for (int step = 0; step < 7; ++step)
        {
            AddPoint(Point{static_cast<T>(static_cast<double>(x.c + x.v) / 65536.0),
                           static_cast<T>(static_cast<double>(y.c + y.v) / 65536.0)},
                     1);
            for (Axis* axis : {&x, &y})
            {
                axis->w = axis->w - (axis->v >> 2);
                axis->v = axis->v + (axis->w >> 2);
            }
        }
        OffsetPoints(Point{originX, originY}, first);
    }

    // The four corners of the last pixels inside rect, then Close.
    void AddRoundRect(const RectT<T>& rect, T radius)
    {
        const T x0 = rect.x;
        const T y0 = rect.y;
        const T x1 = static_cast<T>(x0 + rect.width - 1);
        const T y1 = static_cast<T>(y0 + rect.height - 1);
        AddCorner(Point{x0, T(y0 + radius)}, Point{T(x0 + radius), y0}, Point{x0, y0});
        AddCorner(Point{T(x1 - radius), y0}, Point{x1, T(y0 + radius)}, Point{x1, y0});
        AddCorner(Point{x1, T(y1 - radius)}, Point{T(x1 - radius), y1}, Point{x1, y1});
        AddCorner(Point{T(x0 + radius), y1}, Point{x0, T(y1 - radius)}, Point{x0, y1});
        Close();
    }

    // Appends this polyline's points, last first, mirrored about x = c (axis
    // 0) or y = c; the target may be this polyline.
    void AppendMirrored(PolylineT& target, int axis, T c) const
    {
        const std::uint32_t count = this->GetCount();
        for (std::uint32_t i = count; i > 0; --i)
        {
            Point p = (*this)[i - 1];
            if (axis == 0)
                p.x = static_cast<T>(2 * c - p.x);
            else
                p.y = static_cast<T>(2 * c - p.y);
            target.AddPoint(p, 0);
        }
    }

    // Point 0, whose successors lie contiguously after it; null when empty.
    const Point* GetPointData() const
    {
        const Point* data = this->GetDataConst();
        if (this->GetCount() >= 2 && &(*this)[1] != data + 1)
            VX_ASSERT_FALSE();
        return data;
    }

    bool TakeChanged() noexcept
    {
        const bool changed = mChanged;
        mChanged = false;
        return changed;
    }

    float GetThickness() const noexcept { return mThickness; }
    void SetThickness(float thickness) noexcept
    {
        if (thickness == mThickness)
            return;
        mThickness = thickness;
        mChanged = true;
    }

private:
    float mThickness = 1.0f;
    bool mChanged = true;
};

} // namespace Vx
