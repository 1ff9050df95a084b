#pragma once

// The JUCE renderer's caches: scaled bitmaps, paths built from polylines and
// the pixel heights of fonts, each a fixed pool of 256 entries behind a hashed
// index of 256 buckets.  Only the renderer and its tests include this.

#include "JuceBackend/native/juce_linuxfb_SoftwareRenderer.h"
#include "VxFramework/Renderer/JUCE/JUCERenderer.h"
#include "VxFramework/Utilities/Computation/MathUtils.h"
#include "VxFramework/Utilities/Graphics/Bitmap.h"
#include "VxFramework/Utilities/Graphics/CTTypes.h"
#include "VxFramework/Utilities/Graphics/Font.h"
#include "VxFramework/Utilities/Storage/PurgableObjectCache.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <juce_graphics/juce_graphics.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace Vx
{
// A bitmap prepared at the size it is drawn: exactly width x height.
class LJUCERenderer::LCachedBitmap : public virtual LRefCountedObject
{
public:
    explicit LCachedBitmap(const juce::Image& prepared) : image(prepared) {}
    juce::Image image;
    // Rows repeat every this many rows (a tiled bitmap); 0 when they do not.
    int rowPeriod = 0;
    // Every pixel at full alpha.
    bool opaque = false;
};

class LJUCERenderer::LGraphicsPath : public virtual LRefCountedObject
{
public:
    juce::Path path;
    juce::PathStrokeType strokeType{1.0f, juce::PathStrokeType::mitered, juce::PathStrokeType::butt};
    // What the path was built for: a polyline drawn in two ways needs two paths.
    int shape = -1;
};

// A font as the cache tells fonts apart: name, style and size to three
// decimals, so that sizes that print alike share a font.  Not text: a key is
// made for every string drawn or measured.
struct LJUCERenderer::FontKey
{
    StringT<char, unsigned short> name;
    // The size in thousandths of a point as "%.3f" rounds it: a float times
    // 1000 is exact in a double, and nearbyint rounds half to even as printf.
    double thousandths = 0.0;
    std::int32_t style = 0;
    // Of the three fields: unequal keys mostly differ here first.
    std::uint64_t hash = 0;

    static FontKey Of(const LFont& font)
    {
        FontKey key;
        key.name = font.GetName();
        key.thousandths = std::nearbyint(static_cast<double>(font.GetSize()) * 1000.0);
        key.style = font.GetStyle();
        // FNV-1a over the name, then the size's bits and the style.
        std::uint64_t hash = 14695981039346656037u;
        const auto mix = [&hash](std::uint64_t value) {
            hash ^= value;
            hash *= 1099511628211u;
        };
        for (const char* c = key.name.GetCString(); *c != '\0'; ++c)
            mix(static_cast<unsigned char>(*c));
        mix(std::bit_cast<std::uint64_t>(key.thousandths));
        mix(static_cast<std::uint32_t>(key.style));
        key.hash = hash;
        return key;
    }

    bool operator==(const FontKey& other) const
    {
        // Bit for bit, as the printed sizes compared: -0.000 is not 0.000.
        return hash == other.hash && style == other.style &&
               std::bit_cast<std::uint64_t>(thousandths) == std::bit_cast<std::uint64_t>(other.thousandths) &&
               name == other.name;
    }
};

// The JUCE font of a description, its typeface looked up once.
class LJUCERenderer::LCachedNativeFont : public virtual LRefCountedObject
{
public:
    // Points at 96 pixels per inch.
    explicit LCachedNativeFont(const LFont& font)
        : pixelHeight(font.GetSize() * 96.0f / 72.0f),
          native(juce::String::fromUTF8(font.GetName().GetCString()), pixelHeight, font.GetStyle() & 7),
          height(RoundHalfAwayFromZero(static_cast<double>(native.getHeight()) + 0.499)),
          top(RoundHalfAwayFromZero(-static_cast<double>(native.getAscent()) - 0.499)),
          descent(RoundHalfAwayFromZero(static_cast<double>(native.getDescent()) + 0.499))
    {
    }

    static FontKey GetFontKey(const ConstRCPtr<LFont>& font) { return FontKey::Of(*font); }
    // Few fonts are in use: one bucket searched in full.
    static std::uint32_t GetFontBucketIndex(const FontKey&) noexcept { return 0; }

    // A single line of text laid out in the font from (0, 0) on the baseline,
    // as JUCE lays it out, and the glyphs it draws: drawn moved to where the
    // text goes.
    struct Line
    {
        juce::GlyphArrangement arrangement;
        std::vector<juce::LinuxFbSoftwareRenderer::PlacedGlyph> glyphs;
        // Whether glyphs holds every glyph that is drawn.
        bool placed = false;
        // The glyphs' coverage as the last draw left it for the next one.
        mutable juce::LinuxFbSoftwareRenderer::LineCoverage coverage;
    };

    const Line& GetLine(const char* utf8)
    {
        const auto found = lines.find(utf8);
        if (found != lines.end())
            return found->second;
        // Bounded: a new start when full, as a screen shows far fewer texts.
        if (lines.size() >= kMaxLines)
            lines.clear();
        Line& line = lines[utf8];
        const juce::String text = juce::String::fromUTF8(utf8);
        line.arrangement.addLineOfText(native, text, 0.0f, 0.0f);
        line.placed = juce::LinuxFbSoftwareRenderer::getPlacedGlyphs(native, text, line.arrangement, line.glyphs);
        return line;
    }

    float pixelHeight = 12.0f;
    juce::Font native;
    // The metrics of the renderer's GetFontMetrics: height, the top above the
    // baseline (negative) and the descent, each rounded up from JUCE's.
    std::int32_t height = 0;
    std::int32_t top = 0;
    std::int32_t descent = 0;

private:
    static constexpr std::size_t kMaxLines = 512;
    std::unordered_map<std::string, Line> lines;
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
    using FontCache = PurgableObjectCache<LCachedNativeFont, ConstRCPtr<LFont>, FontKey, &LCachedNativeFont::GetFontKey,
                                          8u, &LCachedNativeFont::GetFontBucketIndex>;

    // Destroyed in reverse: the fonts first, the bitmaps last.
    BitmapCache bitmaps;
    PathCache paths;
    FontCache fonts;
};
} // namespace Vx
