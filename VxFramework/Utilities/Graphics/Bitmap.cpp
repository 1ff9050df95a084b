#include "VxFramework/Utilities/Graphics/Bitmap.h"

#include "VxFramework/ControlBase/Colorizer.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/ObjectBase/NoDestructor.h"
#include "VxFramework/Utilities/Computation/MathUtils.h"

#include <juce_graphics/juce_graphics.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <stdexcept>

namespace Vx
{
namespace
{
using Text = LBitmap::Text;
using PathCache = std::map<Text, RCPtr<LBitmap>>;

// Main thread only, like every bitmap.
PathCache& GetPathCache()
{
    static NoDestructor<PathCache> cache;
    return *cache;
}

std::unique_ptr<juce::Image> LoadImageFile(const Text& path)
{
    const juce::File file =
        juce::File::getCurrentWorkingDirectory().getChildFile(juce::String::fromUTF8(path.GetCString()));
    juce::Image image = juce::ImageFileFormat::loadFrom(file);
    if (!image.isValid())
        return nullptr;
    // JPEG and PNG files without alpha load as 3-byte RGB; pixel access reads
    // 4-byte ARGB pixels, which would run past such an image.
    if (image.getFormat() != juce::Image::ARGB)
        image = image.convertedToFormat(juce::Image::ARGB);
    return std::make_unique<juce::Image>(image);
}

bool IsSolid(const LColorizer& colorizer)
{
    return colorizer.GetType() == LColorizer::kSolid || colorizer.GetColor() == colorizer.GetEndColor();
}

bool IsGradient(const LColorizer& colorizer)
{
    return colorizer.GetType() == LColorizer::kLinearGradient || colorizer.GetType() == LColorizer::kRadialGradient;
}

// Recolouring an image by a gradient between two colours is not supported.
void RequireSolid(const LColorizer& colorizer)
{
    if (!IsSolid(colorizer))
        VX_THROW(std::domain_error, "");
}

// A new, cleared ARGB image of the size.  Cleared, because filling blends and
// a colour that is not opaque must not pick up whatever the new memory held.
std::unique_ptr<juce::Image> NewImage(const PointT<std::int32_t>& size)
{
    if (size.x <= 0 || size.y <= 0)
        VX_THROW(std::runtime_error, "");
    // JUCE computes an image's byte size in int.
    if (static_cast<std::int64_t>(size.x) * size.y > std::numeric_limits<std::int32_t>::max() / 4)
        VX_THROW(std::runtime_error, "image too large");
    return std::make_unique<juce::Image>(juce::Image::ARGB, size.x, size.y, true);
}

// 0..1; NaN counts as 0.
double Unit(double value)
{
    return std::isnan(value) ? 0.0 : std::clamp(value, 0.0, 1.0);
}

// A colour as JUCE stores it, premultiplied by its alpha, with the alpha
// scaled by amount first.
struct Premultiplied
{
    Premultiplied(const Color& color, float amount)
        : alpha(Unit(static_cast<double>(color.alpha) * amount)), red(Unit(color.red) * alpha),
          green(Unit(color.green) * alpha), blue(Unit(color.blue) * alpha)
    {
    }

    double alpha;
    double red;
    double green;
    double blue;
};

std::uint8_t ToByte(double unit)
{
    return static_cast<std::uint8_t>(RoundHalfAwayFromZero(Unit(unit) * 255.0));
}

// Fills the image with the colorizer's gradient.  The points are relative to
// the size; each pixel takes the colour at its centre, so that a gradient
// turned round gives the mirror image and a single pixel the middle colour.
// Computed here rather than by JUCE's gradient fill, which samples pixel
// corners through a table of at most 256 steps in fixed-point arithmetic that
// overflows for very short gradients.  The colours are interpolated
// premultiplied, so that a fade into transparency does not darken.
void FillGradient(juce::Image& image, const LColorizer& colorizer, float amount)
{
    const double width = image.getWidth();
    const double height = image.getHeight();
    const double startX = static_cast<double>(colorizer.GetStartX()) * width;
    const double startY = static_cast<double>(colorizer.GetStartY()) * height;
    const double endX = static_cast<double>(colorizer.GetEndX()) * width;
    const double endY = static_cast<double>(colorizer.GetEndY()) * height;
    if (!std::isfinite(startX) || !std::isfinite(startY) || !std::isfinite(endX) || !std::isfinite(endY))
        VX_THROW(std::domain_error, "Gradient point is not a finite number.");

    const double dx = endX - startX;
    const double dy = endY - startY;
    const double lengthSquared = dx * dx + dy * dy;
    const double length = std::sqrt(lengthSquared);
    const bool radial = colorizer.GetType() == LColorizer::kRadialGradient;
    const Premultiplied from(colorizer.GetColor(), amount);
    const Premultiplied to(colorizer.GetEndColor(), amount);

    juce::Image::BitmapData data(image, juce::Image::BitmapData::writeOnly);
    for (int y = 0; y < data.height; ++y)
    {
        const double py = y + 0.5 - startY;
        for (int x = 0; x < data.width; ++x)
        {
            const double px = x + 0.5 - startX;
            // Start and end in one place: every pixel lies at or beyond the
            // end, so the whole fill takes the end colour.
            double t = 1.0;
            if (lengthSquared > 0.0)
                t = radial ? std::sqrt(px * px + py * py) / length : (px * dx + py * dy) / lengthSquared;
            t = Unit(t);
            const std::uint8_t alpha = ToByte(from.alpha + (to.alpha - from.alpha) * t);
            // Rounding must not leave a channel above its alpha.
            const auto channel = [&](double a, double b) { return std::min(ToByte(a + (b - a) * t), alpha); };
            auto* pixel = reinterpret_cast<juce::PixelARGB*>(data.getPixelPointer(x, y));
            pixel->setARGB(alpha, channel(from.red, to.red), channel(from.green, to.green),
                           channel(from.blue, to.blue));
        }
    }
}

juce::Colour ToJuceColour(const Color& color)
{
    return juce::Colour::fromFloatRGBA(color.red, color.green, color.blue, color.alpha);
}

// Clamps a 64-bit coordinate into the int range.
std::int32_t ToInt32(std::int64_t value)
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                               std::numeric_limits<std::int32_t>::max()));
}

bool LiesInside(const RectT<std::int32_t>& rect, const juce::Image& image)
{
    return rect.x >= 0 && rect.y >= 0 && rect.width > 0 && rect.height > 0
        && static_cast<std::int64_t>(rect.x) + rect.width <= image.getWidth()
        && static_cast<std::int64_t>(rect.y) + rect.height <= image.getHeight();
}
} // namespace

LBitmap::LBitmap() = default;

LBitmap::LBitmap(const Text& path, const Text& key) : mPath(path), mKey(key)
{
    std::unique_ptr<juce::Image> image;
    if (std::strncmp(path.GetCString(), "::", 2) != 0)
        image = LoadImageFile(path);
    if (image == nullptr)
    {
        VX_ASSERT_FALSE();
        return;
    }
    TakeImage(std::move(image));
}

LBitmap::~LBitmap() = default;

void LBitmap::TakeImage(std::unique_ptr<juce::Image> image)
{
    mX = 0;
    mY = 0;
    mWidth = image->getWidth();
    mHeight = image->getHeight();
    mImage = std::move(image);
}

VxRESULT LBitmap::RemoveContainedReferences()
{
    if (mPath.IsEmpty())
    {
        VX_ASSERT_FALSE();
    }
    else
    {
        VX_ASSERT(mParent.IsNull());
        PathCache& cache = GetPathCache();
        const auto found = cache.find(mKey);
        // Only this bitmap's own entry may go: another one under the same key
        // belongs to its holders.
        if (found == cache.end() || found->second.Get() != this)
        {
            VX_ASSERT_FALSE();
        }
        else
        {
            mPath.Empty();
            cache.erase(found);
            AdjustContainedRefCount(-1);
        }
    }
    return LRefCountedObject::RemoveContainedReferences();
}

RCPtr<LBitmap> LBitmap::LoadCached(const Text& path)
{
    PathCache& cache = GetPathCache();
    const auto found = cache.find(path);
    if (found != cache.end())
        return found->second;

    RCPtr<LBitmap> bitmap(new LBitmap(path, path));
    if (!bitmap->IsValid())
        return nullptr;
    cache.emplace(path, bitmap);
    // The cache's reference does not keep the bitmap alive.
    bitmap->AdjustContainedRefCount(1);
    return bitmap;
}

RCPtr<LBitmap> LBitmap::CreateSubBitmap(const RCPtr<LBitmap>& bitmap, RectT<std::int32_t> rect)
{
    if (bitmap.IsNull() || !bitmap->IsValid())
    {
        VX_ASSERT_FALSE();
        return nullptr;
    }
    if (rect.width <= 0 || rect.height <= 0)
        rect = RectT<std::int32_t>{0, 0, bitmap->mWidth, bitmap->mHeight};

    std::int64_t left = static_cast<std::int64_t>(bitmap->mX) + rect.x;
    std::int64_t top = static_cast<std::int64_t>(bitmap->mY) + rect.y;
    std::int64_t right = left + rect.width;
    std::int64_t bottom = top + rect.height;
    VX_ASSERT(left >= 0 && top >= 0);

    const RCPtr<LBitmap>& parent = bitmap->mParent.IsNull() ? bitmap : bitmap->mParent;
    const std::int64_t parentRight = static_cast<std::int64_t>(parent->mX) + parent->mWidth;
    const std::int64_t parentBottom = static_cast<std::int64_t>(parent->mY) + parent->mHeight;
    if (right > parentRight || bottom > parentBottom)
    {
        // Two lines, so that the log tells a sub-bitmap's source from an owner.
        if (!bitmap->mParent.IsNull())
            VX_ASSERT_FALSE();
        else
            VX_ASSERT_FALSE();
    }

    // What lies outside the parent's image is cut off, so that pixel access
    // never reaches beyond it.
    const juce::Image* image = parent->GetImage();
    left = std::max<std::int64_t>(left, 0);
    top = std::max<std::int64_t>(top, 0);
    right = std::min({right, parentRight, static_cast<std::int64_t>(image->getWidth())});
    bottom = std::min({bottom, parentBottom, static_cast<std::int64_t>(image->getHeight())});

    RCPtr<LBitmap> result(new LBitmap());
    result->mX = ToInt32(std::min(left, right));
    result->mY = ToInt32(std::min(top, bottom));
    result->mWidth = ToInt32(std::max<std::int64_t>(right - left, 0));
    result->mHeight = ToInt32(std::max<std::int64_t>(bottom - top, 0));
    result->mParent = parent;
    VX_ASSERT(result->IsValid());
    return result;
}

RCPtr<LBitmap> LBitmap::DuplicateImage(const RCPtr<LBitmap>& bitmap)
{
    const juce::Image* image = bitmap.IsNull() ? nullptr : bitmap->GetImage();
    if (image == nullptr)
    {
        VX_ASSERT_FALSE();
        return nullptr;
    }
    RCPtr<LBitmap> result(new LBitmap());
    result->mImage = std::make_unique<juce::Image>(image->createCopy());
    result->mX = bitmap->mX;
    result->mY = bitmap->mY;
    result->mWidth = bitmap->mWidth;
    result->mHeight = bitmap->mHeight;
    return result;
}

RCPtr<LBitmap> LBitmap::CreateFilled(const PointT<std::int32_t>& size, const Color& color)
{
    std::unique_ptr<juce::Image> image = NewImage(size);
    {
        juce::Graphics graphics(*image);
        graphics.setColour(ToJuceColour(color));
        graphics.fillAll();
    }
    RCPtr<LBitmap> result(new LBitmap());
    result->TakeImage(std::move(image));
    return result;
}

RCPtr<LBitmap> LBitmap::CreateFromColorizer(const RCPtr<LColorizer>& colorizer, const PointT<std::int32_t>& size,
                                            float amount)
{
    if (size.x <= 0 || size.y <= 0 || colorizer.IsNull())
        VX_THROW(std::runtime_error, "");
    if (!IsSolid(*colorizer))
    {
        // Only the two gradient kinds can be drawn.
        if (!IsGradient(*colorizer))
            VX_THROW(std::domain_error, "");
        std::unique_ptr<juce::Image> image = NewImage(size);
        FillGradient(*image, *colorizer, amount);
        RCPtr<LBitmap> result(new LBitmap());
        result->TakeImage(std::move(image));
        return result;
    }
    Color color = colorizer->GetColor();
    color.alpha *= amount;
    return CreateFilled(size, color);
}

RCPtr<LBitmap> LBitmap::Colorize(const RCPtr<LBitmap>& bitmap, const RCPtr<LColorizer>& colorizer, float amount)
{
    juce::Image* image = bitmap.IsNull() ? nullptr : bitmap->GetImage();
    if (image == nullptr || colorizer.IsNull())
        VX_THROW(std::runtime_error, "");
    RequireSolid(*colorizer);

    const float t = amount > 0.0f ? std::min(amount, 1.0f) : 0.0f;
    const RectT<std::int32_t> rect = bitmap->GetRect();
    if (t == 0.0f || !LiesInside(rect, *image) || image->getFormat() != juce::Image::ARGB)
        return bitmap;

    const std::uint32_t argb = colorizer->GetColor().ToARGB();
    const int target[3] = {static_cast<int>((argb >> 16) & 0xFFu), static_cast<int>((argb >> 8) & 0xFFu),
                           static_cast<int>(argb & 0xFFu)};
    juce::Image::BitmapData data(*image, rect.x, rect.y, rect.width, rect.height,
                                 juce::Image::BitmapData::readWrite);
    for (int y = 0; y < data.height; ++y)
    {
        for (int x = 0; x < data.width; ++x)
        {
            auto* pixel = reinterpret_cast<juce::PixelARGB*>(data.getPixelPointer(x, y));
            // The image is premultiplied: interpolate toward the colour at the
            // pixel's own alpha, so that no channel can exceed the alpha.
            const int alpha = pixel->getAlpha();
            const int current[3] = {pixel->getRed(), pixel->getGreen(), pixel->getBlue()};
            juce::uint8 channels[3];
            for (int c = 0; c < 3; ++c)
            {
                const float goal = static_cast<float>(target[c] * alpha) / 255.0f;
                const float value = static_cast<float>(current[c]) + (goal - static_cast<float>(current[c])) * t;
                channels[c] = static_cast<juce::uint8>(std::clamp(static_cast<int>(std::lround(value)), 0, alpha));
            }
            pixel->setARGB(static_cast<juce::uint8>(alpha), channels[0], channels[1], channels[2]);
        }
    }
    return bitmap;
}

RCPtr<LBitmap> LBitmap::CreateColorized(const RCPtr<LColorizer>& colorizer, const PointT<std::int32_t>& size,
                                        const RCPtr<LBitmap>& first, float amount, const RCPtr<LBitmap>& second)
{
    if (!first.IsNull() && !second.IsNull())
        VX_THROW(std::domain_error, "");
    const RCPtr<LBitmap>& source = first.IsNull() ? second : first;
    if (!source.IsNull())
        return Colorize(DuplicateImage(source), colorizer, amount);
    return CreateFromColorizer(colorizer, size, amount);
}

Color LBitmap::GetPixelColor(const RCPtr<LBitmap>& bitmap, std::int32_t x, std::int32_t y)
{
    const juce::Image* image = bitmap.IsNull() ? nullptr : bitmap->GetImage();
    if (image == nullptr)
    {
        VX_ASSERT_FALSE();
        return Color();
    }
    const std::int64_t px = static_cast<std::int64_t>(bitmap->mX) + x;
    const std::int64_t py = static_cast<std::int64_t>(bitmap->mY) + y;
    if (px < 0 || py < 0 || px >= image->getWidth() || py >= image->getHeight())
        return Color();
    const juce::Colour colour = image->getPixelAt(static_cast<int>(px), static_cast<int>(py));
    Color result;
    result.red = colour.getFloatRed();
    result.green = colour.getFloatGreen();
    result.blue = colour.getFloatBlue();
    result.alpha = colour.getFloatAlpha();
    return result;
}

juce::Image* LBitmap::GetImage() const
{
    const LBitmap* owner = mImage != nullptr ? this : mParent.Get();
    if (owner == nullptr)
        return nullptr;
    VX_ASSERT(owner->mParent.IsNull());
    return owner->mImage.get();
}

RCPtr<LBitmapData> LBitmap::GetPixelBuffer(const RCPtr<LBitmap>& bitmap)
{
    return RCPtr<LBitmapData>(new LBitmapData(bitmap, LBitmapData::kReadOnly, nullptr));
}

RCPtr<LBitmapData> LBitmap::GetWritablePixelBuffer(const RCPtr<LBitmap>& bitmap,
                                                   const RCPtr<LPixelBuffer<std::int32_t>>& external)
{
    return RCPtr<LBitmapData>(new LBitmapData(bitmap, LBitmapData::kReadWrite, external));
}

RCPtr<LBitmapData> LBitmap::GetOwnerPixelBuffer(const RCPtr<LBitmap>& bitmap)
{
    VX_ASSERT(!bitmap.IsNull() && bitmap->IsValid());
    if (!bitmap.IsNull() && !bitmap->mParent.IsNull())
        return GetPixelBuffer(bitmap->mParent);
    return GetPixelBuffer(bitmap);
}

struct LBitmapData::Access
{
    Access(const juce::Image& source, const RectT<std::int32_t>& rect, juce::Image::BitmapData::ReadWriteMode mode)
        : image(source), data(image, rect.x, rect.y, rect.width, rect.height, mode)
    {
    }

    // Holds the pixels for as long as they are accessed.
    juce::Image image;
    juce::Image::BitmapData data;
};

LBitmapData::LBitmapData(const RCPtr<LBitmap>& bitmap, std::int32_t mode,
                         const RCPtr<LPixelBuffer<std::int32_t>>& external)
    : mBitmap(bitmap), mExternal(external)
{
    if (!mExternal.IsNull())
        VX_THROW(std::domain_error, "");
    const juce::Image* image = mBitmap.IsNull() ? nullptr : mBitmap->GetImage();
    VX_ASSERT(image != nullptr);
    if (image == nullptr)
        return;
    VX_ASSERT(image->getFormat() == juce::Image::ARGB);
    const RectT<std::int32_t> rect = mBitmap->GetRect();
    // Without four bytes for every pixel of the rectangle there is nothing to access.
    if (image->getFormat() != juce::Image::ARGB || !LiesInside(rect, *image))
        return;
    auto juceMode = juce::Image::BitmapData::readOnly;
    if (mode == kReadWrite)
        juceMode = juce::Image::BitmapData::readWrite;
    else if (mode != kReadOnly)
        VX_ASSERT_FALSE();
    mAccess = std::make_unique<Access>(*image, rect, juceMode);
}

LBitmapData::~LBitmapData()
{
    mAccess.reset();
}

std::int32_t LBitmapData::GetWidth() const
{
    return mAccess == nullptr ? 0 : mAccess->data.width;
}

std::int32_t LBitmapData::GetHeight() const
{
    return mAccess == nullptr ? 0 : mAccess->data.height;
}

std::int32_t LBitmapData::GetLineStride() const
{
    return mAccess == nullptr ? 0 : mAccess->data.lineStride;
}

std::uint8_t* LBitmapData::PixelAddress(std::int32_t x, std::int32_t y) const
{
    VX_ASSERT(mAccess != nullptr);
    if (mAccess == nullptr)
        return nullptr;
    const juce::Image::BitmapData& data = mAccess->data;
    VX_ASSERT(data.pixelFormat == juce::Image::ARGB);
    return data.data + static_cast<std::ptrdiff_t>(x) * data.pixelStride
        + static_cast<std::ptrdiff_t>(y) * data.lineStride;
}

std::int32_t* LBitmapData::GetPixel(std::int32_t x, std::int32_t y)
{
    return reinterpret_cast<std::int32_t*>(PixelAddress(x, y));
}

const std::int32_t* LBitmapData::GetPixel(std::int32_t x, std::int32_t y) const
{
    return reinterpret_cast<const std::int32_t*>(PixelAddress(x, y));
}
} // namespace Vx
