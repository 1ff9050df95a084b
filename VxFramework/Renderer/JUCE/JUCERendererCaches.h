#pragma once

// The JUCE renderer's caches: scaled bitmaps, paths built from polylines and
// the pixel heights of fonts, each a fixed pool of 256 entries behind a hashed
// index of 256 buckets.  Only the renderer and its tests include this.

#include "VxFramework/Renderer/JUCE/JUCERenderer.h"
#include "VxFramework/Utilities/Graphics/Bitmap.h"
#include "VxFramework/Utilities/Graphics/CTTypes.h"
#include "VxFramework/Utilities/Graphics/Font.h"
#include "VxFramework/Utilities/Storage/PurgableObjectCache.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <juce_graphics/juce_graphics.h>

#include <cstdint>

namespace Vx
{
// A bitmap prepared at the size it is drawn: exactly width x height.
class LJUCERenderer::LCachedBitmap : public virtual LRefCountedObject
{
public:
    explicit LCachedBitmap(const juce::Image& prepared) : image(prepared) {}
    juce::Image image;
};

class LJUCERenderer::LGraphicsPath : public virtual LRefCountedObject
{
public:
    juce::Path path;
    juce::PathStrokeType strokeType{1.0f, juce::PathStrokeType::mitered, juce::PathStrokeType::butt};
    // What the path was built for: a polyline drawn in two ways needs two paths.
    int shape = -1;
};

class LJUCERenderer::LCachedNativeFont : public virtual LRefCountedObject
{
public:
    // Points at 96 pixels per inch.
    explicit LCachedNativeFont(const LFont& font) { pixelHeight = font.GetSize() * 96.0f / 72.0f; }

    // Name, size to three decimals and style: sizes that print alike share a font.
    static StringT<char, unsigned short> GetFontKey(const ConstRCPtr<LFont>& font)
    {
        return StringT<char, unsigned short>::Format("%s, Size:%.3f, Style:0x%.8X", font->GetName().GetCString(),
                                                     static_cast<double>(font->GetSize()),
                                                     static_cast<unsigned int>(font->GetStyle()));
    }
    // Few fonts are in use: one bucket searched in full.
    static std::uint32_t GetFontBucketIndex(const StringT<char, unsigned short>&) noexcept { return 0; }

    float pixelHeight = 12.0f;
};

template <std::uint32_t Bits>
struct LJUCERenderer::CashableBitmapDescriptor
{
    RCPtr<LBitmap> bitmap;
    std::int32_t width = 0;
    std::int32_t height = 0;

    bool operator==(const CashableBitmapDescriptor& other) const noexcept
    {
        return bitmap.Get() == other.bitmap.Get() && width == other.width && height == other.height;
    }

    // Bits of the address of the pixels the bitmap shows (its owner's image,
    // shared by every sub-bitmap), above the allocator's alignment.
    static std::uint32_t GetHashBits(const CashableBitmapDescriptor& descriptor) noexcept
    {
        const juce::Image* image = descriptor.bitmap.IsNull() ? nullptr : descriptor.bitmap->GetImage();
        return GetBits<Bits, 4u>(reinterpret_cast<std::uintptr_t>(image));
    }
};

struct LJUCERenderer::Caches
{
    using BitmapKey = CashableBitmapDescriptor<8u>;

    static std::intptr_t PolylineHandle(const PolylineT<float>& polyline) noexcept { return polyline.GetHandle(); }

    using BitmapCache =
        PurgableObjectCache<LCachedBitmap, BitmapKey, BitmapKey, &GetSelf<BitmapKey>, 8u, &BitmapKey::GetHashBits>;
    using PathCache = PurgableObjectCache<LGraphicsPath, PolylineT<float>, std::intptr_t, &Caches::PolylineHandle, 8u,
                                          &GetBits<8u, 4u, std::intptr_t>>;
    using FontCache = PurgableObjectCache<LCachedNativeFont, ConstRCPtr<LFont>, StringT<char, unsigned short>,
                                          &LCachedNativeFont::GetFontKey, 8u, &LCachedNativeFont::GetFontBucketIndex>;

    // Destroyed in reverse: the fonts first, the bitmaps last.
    BitmapCache bitmaps;
    PathCache paths;
    FontCache fonts;
};
} // namespace Vx
