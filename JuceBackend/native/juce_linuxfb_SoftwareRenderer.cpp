#include "juce_linuxfb_SoftwareRenderer.h"

#include <algorithm>
#include <cstring>

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

void LinuxFbSoftwareRenderer::fillRect (const Rectangle<int>& area, bool replaceExistingContents)
{
    using RectangleListRegion = RenderingHelpers::ClipRegions<RenderingHelpers::SoftwareRendererSavedState>::RectangleListRegion;

    auto& state = *stack;
    auto* region = dynamic_cast<RectangleListRegion*> (state.clip.get());
    const auto colour = state.fillType.colour.getPixelARGB();

    // JUCE sets the pixels of a rectangle filled with an opaque colour, or
    // with any colour that replaces what is there, and blends everything else.
    if (region == nullptr || ! state.transform.isOnlyTranslated || ! state.fillType.isColour()
        || state.image.getFormat() != Image::ARGB || ! (replaceExistingContents || colour.getAlpha() == 0xff))
    {
        LowLevelGraphicsSoftwareRenderer::fillRect (area, replaceExistingContents);
        return;
    }

    const auto target = state.transform.translated (area);
    const Image::BitmapData pixels (state.image, Image::BitmapData::readWrite);

    for (const auto& clipRectangle : region->clip)
        fillPixels (pixels, clipRectangle.getIntersection (target), colour.getNativeARGB());
}

} // namespace juce
