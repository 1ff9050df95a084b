#pragma once

#include <juce_graphics/juce_graphics.h>

namespace juce
{

/** JUCE's software renderer, with the fills that make up most of a repaint
    (a window's background, the black where no window is) written a block of
    pixels at a time instead of one pixel at a time.

    A solid colour over whole pixels only sets them, so the result is the same
    to the bit as JUCE's own fill; every other fill goes to JUCE's code. */
class LinuxFbSoftwareRenderer : public LowLevelGraphicsSoftwareRenderer
{
public:
    using LowLevelGraphicsSoftwareRenderer::LowLevelGraphicsSoftwareRenderer;

    using LowLevelGraphicsSoftwareRenderer::fillRect;
    void fillRect (const Rectangle<int>& area, bool replaceExistingContents) override;

    /** Sets every pixel of the area (clipped to the bitmap) of a 32-bit bitmap
        to one native ARGB value.  Writes the pixels without reading them back:
        a scan-out buffer may be uncached memory. */
    static void fillPixels (const Image::BitmapData& pixels, Rectangle<int> area, uint32 nativeARGB) noexcept;
};

} // namespace juce
