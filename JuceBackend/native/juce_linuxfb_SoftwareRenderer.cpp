#include "juce_linuxfb_SoftwareRenderer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

namespace juce
{

void LinuxFbSoftwareRenderer::fillPixels (const Image::BitmapData& pixels, Rectangle<int> area, uint32 nativeARGB) noexcept
{
    jassert (pixels.pixelStride == (int) sizeof (nativeARGB));

    area = area.getIntersection ({ pixels.width, pixels.height });

    if (area.isEmpty())
        return;

    // A run of the value copied over each row with the C library's block
    // copy: many pixels a store where a loop of its own would store one.
    constexpr int maxRunPixels = 1024;
    uint32 run[maxRunPixels];
    const auto runPixels = jmin (area.getWidth(), maxRunPixels);
    std::fill_n (run, runPixels, nativeARGB);

    const auto rowBytes = (size_t) area.getWidth() * sizeof (nativeARGB);
    const auto runBytes = (size_t) runPixels * sizeof (nativeARGB);

    for (int y = area.getY(); y < area.getBottom(); ++y)
    {
        auto* row = pixels.getPixelPointer (area.getX(), y);

        for (size_t done = 0; done < rowBytes;)
        {
            const auto bytes = std::min (rowBytes - done, runBytes);
            std::memcpy (row + done, run, bytes);
            done += bytes;
        }
    }
}

namespace
{
    using RectangleListRegion = RenderingHelpers::ClipRegions<RenderingHelpers::SoftwareRendererSavedState>::RectangleListRegion;

    // Pixels of a chunk looked at together: a test the compiler can make with
    // a few vector instructions, small enough to waste little on a short run.
    constexpr int opaqueChunkPixels = 16;

    bool isOpaqueChunk (const PixelARGB* src) noexcept
    {
        uint32 all = 0xff000000;

        for (int i = 0; i < opaqueChunkPixels; ++i)
            all &= src[i].getNativeARGB();

        return all == 0xff000000;
    }

    // A whole number of pixels that a float holds exactly, or nothing.
    std::optional<int> wholePixels (float value) noexcept
    {
        constexpr float limit = 1 << 24;

        if (! (std::abs (value) < limit) || std::floor (value) != value)
            return {};

        return (int) value;
    }

    bool overlaps (const Image::BitmapData& a, const Image::BitmapData& b) noexcept
    {
        return a.data < b.data + b.size && b.data < a.data + a.size;
    }
}

void LinuxFbSoftwareRenderer::blendRow (PixelARGB* dest, const PixelARGB* src, int width) noexcept
{
    for (int x = 0; x < width;)
    {
        auto end = x;

        while (end + opaqueChunkPixels <= width && isOpaqueChunk (src + end))
            end += opaqueChunkPixels;

        while (end < width && src[end].getAlpha() == 0xff)
            ++end;

        if (end > x)
        {
            std::memcpy (dest + x, src + x, (size_t) (end - x) * sizeof (PixelARGB));
            x = end;
        }

        // An all-zero pixel blends to what is there already.
        for (; x < width && src[x].getAlpha() != 0xff; ++x)
            if (src[x].getNativeARGB() != 0)
                dest[x].blend (src[x]);
    }
}

void LinuxFbSoftwareRenderer::drawImage (const Image& sourceImage, const AffineTransform& transform)
{
    auto& state = *stack;
    auto* region = dynamic_cast<RectangleListRegion*> (state.clip.get());
    const auto t = state.transform.getTransformWith (transform);
    const auto x = wholePixels (t.getTranslationX());
    const auto y = wholePixels (t.getTranslationY());

    // JUCE blends each pixel of an image that a whole-pixel move puts on the
    // target with nothing but its own alpha; anything else needs its code.
    if (region == nullptr || ! t.isOnlyTranslation() || ! x.has_value() || ! y.has_value()
        || state.fillType.colour.getAlpha() != 0xff || state.image.getFormat() != Image::ARGB
        || sourceImage.getFormat() != Image::ARGB)
    {
        LowLevelGraphicsSoftwareRenderer::drawImage (sourceImage, transform);
        return;
    }

    const Image::BitmapData to (state.image, Image::BitmapData::readWrite);
    const Image::BitmapData from (sourceImage, Image::BitmapData::readOnly);

    // A picture drawn onto itself would be read where it has been written.
    if (to.pixelStride != (int) sizeof (PixelARGB) || from.pixelStride != (int) sizeof (PixelARGB) || overlaps (to, from))
    {
        LowLevelGraphicsSoftwareRenderer::drawImage (sourceImage, transform);
        return;
    }

    const auto placed = Rectangle<int> (*x, *y, from.width, from.height).getIntersection ({ to.width, to.height });

    for (const auto& clipRectangle : region->clip)
    {
        const auto area = clipRectangle.getIntersection (placed);

        for (int row = area.getY(); row < area.getBottom(); ++row)
            blendRow (reinterpret_cast<PixelARGB*> (to.getPixelPointer (area.getX(), row)),
                      reinterpret_cast<const PixelARGB*> (from.getPixelPointer (area.getX() - *x, row - *y)),
                      area.getWidth());
    }
}

const RectangleList<int>* LinuxFbSoftwareRenderer::getClipIfFillSetsPixels (bool replaceExistingContents)
{
    auto& state = *stack;
    auto* region = dynamic_cast<RectangleListRegion*> (state.clip.get());

    // JUCE sets the pixels of whole rectangles filled with an opaque colour,
    // or with any colour that replaces what is there, and blends everything else.
    if (region == nullptr || ! state.transform.isOnlyTranslated || ! state.fillType.isColour()
        || state.image.getFormat() != Image::ARGB || ! (replaceExistingContents || state.fillType.colour.getAlpha() == 0xff))
        return nullptr;

    return &region->clip;
}

void LinuxFbSoftwareRenderer::fillRect (const Rectangle<int>& area, bool replaceExistingContents)
{
    const auto* clip = getClipIfFillSetsPixels (replaceExistingContents);

    if (clip == nullptr)
    {
        LowLevelGraphicsSoftwareRenderer::fillRect (area, replaceExistingContents);
        return;
    }

    auto& state = *stack;
    const auto target = state.transform.translated (area);
    const Image::BitmapData pixels (state.image, Image::BitmapData::readWrite);

    for (const auto& clipRectangle : *clip)
        fillPixels (pixels, clipRectangle.getIntersection (target), state.fillType.colour.getPixelARGB().getNativeARGB());
}

void LinuxFbSoftwareRenderer::fillRectList (const RectangleList<float>& list)
{
    // A framed rectangle's edges: whole pixels each, which JUCE's edge table
    // covers fully, overlaps included.
    const auto isWhole = [] (const Rectangle<float>& r)
    {
        return wholePixels (r.getX()) && wholePixels (r.getY()) && wholePixels (r.getRight()) && wholePixels (r.getBottom());
    };

    const auto* clip = getClipIfFillSetsPixels (false);

    if (clip == nullptr || ! std::all_of (list.begin(), list.end(), isWhole))
    {
        LowLevelGraphicsSoftwareRenderer::fillRectList (list);
        return;
    }

    auto& state = *stack;
    const Image::BitmapData pixels (state.image, Image::BitmapData::readWrite);
    const auto colour = state.fillType.colour.getPixelARGB().getNativeARGB();

    for (const auto& r : list)
    {
        const auto target = state.transform.translated (r.toNearestInt());

        for (const auto& clipRectangle : *clip)
            fillPixels (pixels, clipRectangle.getIntersection (target), colour);
    }
}

} // namespace juce
