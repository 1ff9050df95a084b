#include "VxFramework/ControlBase/VisualPart.h"

#include "VxFramework/ControlBase/Colorizer.h"
#include "VxFramework/ControlBase/SkinDescriptors.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Renderer/Renderer.h"
#include "VxFramework/Utilities/Computation/MathUtils.h"
#include "VxFramework/Utilities/Graphics/Bitmap.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace Vx
{
namespace
{
// Two sizes closer than this are the same size.
constexpr float kSameSizeTolerance = 1.1920929e-6f;
// One unit in the last place of a float near 1.
constexpr float kFloatStep = 1.0f / 8388608.0f;

bool IsGradient(const LColorizer& colorizer)
{
    return colorizer.GetType() == LColorizer::kLinearGradient || colorizer.GetType() == LColorizer::kRadialGradient;
}

// Towards zero, kept in the int range; NaN gives 0.
std::int32_t Truncate(float value)
{
    if (std::isnan(value))
        return 0;
    return static_cast<std::int32_t>(std::clamp(value, -2147483520.0f, 2147483520.0f));
}

// Truncated after a nudge up, so that a value a hair below a whole number
// counts as that number.
std::int32_t TruncateNudged(float value)
{
    return Truncate(value * (1.0f + kFloatStep));
}

bool HasAlpha(std::uint32_t argb)
{
    return (argb & 0xFF000000u) != 0;
}

// Half the difference of two ints, truncated towards zero, without overflow.
std::int32_t HalfDifference(std::int32_t a, std::int32_t b)
{
    return static_cast<std::int32_t>((static_cast<std::int64_t>(a) - b) / 2);
}
} // namespace

LVisualPart::LVisualPart(const Text& name, const RCPtr<LBitmap>& bitmap, std::int32_t resizeType, float alphaModulation,
                         const RCPtr<LColorizer>& colorizer, const PointT<std::int32_t>& size,
                         const RCPtr<LBitmap>& mask)
    : mName(name), mBitmap(bitmap), mSize(size), mResizeType(resizeType), mColorizer(colorizer),
      mAlphaModulation(alphaModulation), mMask(mask)
{
    if (!mBitmap.IsNull())
    {
        const PointT<std::int32_t> bitmapSize{mBitmap->GetWidth(), mBitmap->GetHeight()};
        VX_ASSERT(bitmapSize == size);
        mSize = bitmapSize;
    }
    // Colourised once, here: every part ends as a bitmap or a solid colour.
    // A bitmap together with a mask throws out of CreateColorized.
    if (!mColorizer.IsNull() && (!mBitmap.IsNull() || !mMask.IsNull() || IsGradient(*mColorizer)))
        mBitmap = LBitmap::CreateColorized(mColorizer, mSize, mBitmap, mAlphaModulation, mMask);
}

LVisualPart::~LVisualPart() = default;

void LVisualPart::SetDescriptor(const RCPtr<LVisualPartDescriptor>& descriptor)
{
    mDescriptor = descriptor;
}

VxRESULT LVisualPart::RemoveContainedReferences()
{
    if (GetContainedRefCount() < 1)
        return VXR_NOTHING_DONE;
    if (mDescriptor.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_OK;
    }
    RCPtr<LVisualPart> cached = mDescriptor->TakeVisualPart(this);
    if (cached.IsNull())
    {
        // The cache does not hold this part: there is no reference of ours
        // to let go of.
        VX_ASSERT_FALSE();
        return VXR_OK;
    }
    AdjustContainedRefCount(-1);
    cached = nullptr;
    return VXR_OK;
}

std::int32_t LVisualPart::Draw(const RCPtr<LRenderer>& renderer, const PointT<float>& size) const
{
    if (renderer.IsNull())
    {
        VX_ASSERT_FALSE();
        return 0;
    }
    const std::int32_t width = RangeCheckedCast<std::int32_t>(size.x);
    const std::int32_t height = RangeCheckedCast<std::int32_t>(size.y);
    if (!mBitmap.IsNull())
    {
        renderer->DrawBitmap(mBitmap, RectT<std::int32_t>{0, 0, width, height}, mResizeType);
        return 0;
    }
    if (mColorizer.IsNull())
        VX_THROW(std::runtime_error, "");
    // Gradients became bitmaps when the part was built; anything else that is
    // not solid is drawn in its first colour.
    VX_ASSERT(mColorizer->GetType() == LColorizer::kSolid);
    Color color = mColorizer->GetColor();
    color.alpha *= mAlphaModulation;
    if (!(color.alpha > 0.0f))
        return 0;
    if (mResizeType == kCenter)
        renderer->FillRectangle(
            RectT<std::int32_t>{HalfDifference(width, mSize.x), HalfDifference(height, mSize.y), mSize.x, mSize.y},
            color, true);
    else
        renderer->FillRectangle(RectT<std::int32_t>{0, 0, width, height}, color, true);
    return 0;
}

std::uint32_t LVisualPart::GetSourcePixel(const PointT<std::int32_t>& point) const
{
    if (point.x < 0 || point.x >= mSize.x || point.y < 0 || point.y >= mSize.y)
        return kNothing;
    if (!mBitmap.IsNull())
        return LBitmap::GetPixelColor(mBitmap, point.x, point.y).ToARGB();
    if (mColorizer.IsNull())
        VX_THROW(std::runtime_error, "");
    switch (mColorizer->GetType())
    {
    case LColorizer::kSolid:
    {
        Color color = mColorizer->GetColor();
        color.alpha *= mAlphaModulation;
        return color.ToARGB();
    }
    case LColorizer::kLinearGradient:
    case LColorizer::kRadialGradient:
        VX_THROW(std::runtime_error, "");
    default:
        VX_ASSERT_FALSE();
        VX_THROW(std::runtime_error, "");
    }
}

std::uint32_t LVisualPart::GetPixel(const PointT<float>& point, const PointT<float>& size) const
{
    const float partWidth = RangeCheckedCast<float>(mSize.x);
    const float partHeight = RangeCheckedCast<float>(mSize.y);
    if (std::fabs(size.x - partWidth) < kSameSizeTolerance && std::fabs(size.y - partHeight) < kSameSizeTolerance)
        return GetSourcePixel(
            PointT<std::int32_t>{RangeCheckedCast<std::int32_t>(point.x), RangeCheckedCast<std::int32_t>(point.y)});
    if (!(point.x >= 0.0f && point.x < size.x && point.y >= 0.0f && point.y < size.y))
        return kNothing;

    switch (mResizeType)
    {
    case kTile:
    {
        const std::int32_t tileWidth = Truncate(partWidth + 0.5f);
        const std::int32_t tileHeight = Truncate(partHeight + 0.5f);
        std::int32_t x = Truncate(point.x + 0.5f);
        std::int32_t y = Truncate(point.y + 0.5f);
        if (tileWidth != 0)
            x %= tileWidth;
        if (tileHeight != 0)
            y %= tileHeight;
        return GetSourcePixel(PointT<std::int32_t>{x, y});
    }
    case kCenter:
        return GetSourcePixel(
            PointT<std::int32_t>{RangeCheckedCast<std::int32_t>(point.x - (size.x - partWidth) * 0.5f),
                                 RangeCheckedCast<std::int32_t>(point.y - (size.y - partHeight) * 0.5f)});
    case kStretch:
    {
        const float scaleX = partWidth / size.x;
        const float scaleY = partHeight / size.y;
        const float fx = scaleX * point.x;
        const float fy = scaleY * point.y;
        if (size.x >= partWidth && size.y >= partHeight)
            return GetSourcePixel(PointT<std::int32_t>{Truncate(fx), Truncate(fy)});
        // Narrowed: one destination pixel covers a block of source pixels,
        // as many rows as the vertical ratio gives and as many columns.  The
        // first sample that is not fully transparent is the colour.
        const std::int32_t x0 = TruncateNudged(fx);
        const std::int32_t y0 = TruncateNudged(fy);
        const std::int64_t count =
            TruncateNudged(static_cast<float>(y0) + std::max(scaleY, 1.0f)) - TruncateNudged(static_cast<float>(y0));
        if (count <= 0)
            return kNothing;
        // Read column by column; samples beyond the part are transparent, so
        // only those inside it can end the search.
        const std::int64_t right = std::min<std::int64_t>(x0 + count, mSize.x);
        const std::int64_t bottom = std::min<std::int64_t>(y0 + count, mSize.y);
        for (std::int64_t x = std::max<std::int64_t>(x0, 0); x < right; ++x)
        {
            for (std::int64_t y = std::max<std::int64_t>(y0, 0); y < bottom; ++y)
            {
                const std::uint32_t colour =
                    GetSourcePixel(PointT<std::int32_t>{static_cast<std::int32_t>(x), static_cast<std::int32_t>(y)});
                if (HasAlpha(colour))
                    return colour;
            }
        }
        // None showed anything: the last sample read is the colour.
        const std::int64_t lastX = x0 + count - 1;
        const std::int64_t lastY = y0 + count - 1;
        if (lastX > std::numeric_limits<std::int32_t>::max() || lastY > std::numeric_limits<std::int32_t>::max())
            return kNothing;
        return GetSourcePixel(PointT<std::int32_t>{static_cast<std::int32_t>(lastX), static_cast<std::int32_t>(lastY)});
    }
    default:
        VX_THROW(std::runtime_error, "");
    }
}
} // namespace Vx
