#pragma once

#include <juce_graphics/juce_graphics.h>

#include <vector>

namespace juce
{

/** JUCE's software renderer, with what makes up most of a repaint written a
    block of pixels at a time instead of one pixel at a time: the fills (a
    window's background, a frame's edges, the black where no window is) and
    the copies of whole images (a window's back surface, bitmaps drawn at their
    size).

    A solid colour over whole pixels only sets them, and an image moved by whole
    pixels at full opacity only blends each of its pixels onto the one below,
    which for an opaque pixel is a copy; so the result is the same to the bit
    as JUCE's own drawing.  Everything else goes to JUCE's code. */
class LinuxFbSoftwareRenderer : public LowLevelGraphicsSoftwareRenderer
{
public:
    using LowLevelGraphicsSoftwareRenderer::LowLevelGraphicsSoftwareRenderer;

    using LowLevelGraphicsSoftwareRenderer::fillRect;
    void fillRect (const Rectangle<int>& area, bool replaceExistingContents) override;
    void fillRectList (const RectangleList<float>& list) override;

    /** Sets every pixel of the area (clipped to the bitmap) of a 32-bit bitmap
        to one native ARGB value.  Writes the pixels without reading them back:
        a scan-out buffer may be uncached memory. */
    static void fillPixels (const Image::BitmapData& pixels, Rectangle<int> area, uint32 nativeARGB) noexcept;

    using LowLevelGraphicsSoftwareRenderer::drawImage;
    void drawImage (const Image& sourceImage, const AffineTransform& transform) override;

    /** Blends a row of premultiplied pixels onto another as JUCE's blend does,
        with each run of opaque pixels copied as a block and transparent ones
        skipped: the target is read only under translucent pixels. */
    static void blendRow (PixelARGB* dest, const PixelARGB* src, int width) noexcept;

    /** A glyph at a translation that lies wholly inside a single clip
        rectangle is drawn from a coverage kept per pixel: what JUCE's fill of
        the glyph's shape, moved to its sub-pixel position and brightened for
        its colour, does to each pixel, recorded once.  JUCE copies, moves and
        brightens the shape at every draw, clips the copy and walks its edges;
        here the colour is blended by the recorded levels exactly as JUCE's
        fill blends it, so the pixels are JUCE's. */
    void drawGlyph (int glyphNumber, const AffineTransform& transform) override;

    /** A glyph of the current font at its place on a line. */
    struct PlacedGlyph
    {
        int glyph;
        float x, y;
    };

    /** The glyphs that GlyphArrangement::draw draws of a line of the text
        laid out in the font (by addLineOfText), in order, whitespace left
        out; false, and glyphs left empty, when the arrangement draws more than
        them (an underline) or its glyphs are not the text's. */
    static bool getPlacedGlyphs (const Font& font, const String& text, GlyphArrangement& arrangement, std::vector<PlacedGlyph>& glyphs);

    /** What drawGlyphs keeps of a line of glyphs between its draws: their
        coverages merged into one, for the places within pixels and the
        brightening it was made for.  Glyphs whose coverages meet on a pixel
        are not merged: JUCE blends such a pixel once per glyph. */
    struct LineCoverage
    {
        Typeface::Ptr typeface;
        float height = 0.0f, horizontalScale = 0.0f;
        int levelFactor = -1;
        std::vector<int> placements; // per glyph: number, whole-pixel place from the first, sub-pixel move, bounds shift
        bool merged = false;
        Rectangle<int> bounds; // of levels, from the first glyph's whole-pixel place
        std::vector<uint8> levels;
    };

    /** Draws glyphs of the current font as GlyphArrangement::draw draws a
        line of them (without whitespace or underlines) moved by (dx, dy), with
        what they share looked up once; with a line's coverage kept, as one
        blend where it can. */
    void drawGlyphs (const PlacedGlyph* glyphs, int count, float dx, float dy, LineCoverage* line = nullptr);

    /** Sets the current state's origin and clip as restoring the state saved
        when drawing began (the whole image, no transform), then setOrigin
        (origin) and clipToRectangle (clip) would, keeping the clip's storage:
        a pair of save and restore costs a state and a clip allocated and
        freed.  The fill, font and other settings stay as they are.  False,
        and nothing changed, when the current clip is empty or shared with a
        saved state, or drawing began on part of the image or moved: then
        JUCE's own calls must do it. */
    bool resetOriginAndClip (Point<int> origin, Rectangle<int> clip) noexcept;

private:
    struct GlyphRun;

    /** Whether the current state is the whole image without a move. */
    bool isOnWholeImage() const noexcept;

    /** What resetOriginAndClip takes the state saved at the start to be. */
    const bool beganOnWholeImage = isOnWholeImage();

    /** Prepares what glyphs drawn in the current state share; false when
        they must go to JUCE's code. */
    bool beginGlyphRun (GlyphRun& run);

    /** Draws a glyph from its recorded coverage, with the shapes' lock held;
        false, and nothing drawn, when JUCE's code must draw it. */
    bool drawGlyphInRun (const GlyphRun& run, int glyphNumber, const AffineTransform& transform);

    /** Draws the glyphs from the line's merged coverage, made again when
        the glyphs lie differently within pixels or are brightened
        differently, with the shapes' lock held; false, and nothing drawn,
        when they must be drawn one by one. */
    bool drawLineInRun (const GlyphRun& run, const PlacedGlyph* glyphs, int count, float dx, float dy, LineCoverage& line);

    /** The clip's rectangles when a fill of the current colour over whole
        pixels only sets them; null when JUCE's code must draw it. */
    const RectangleList<int>* getClipIfFillSetsPixels (bool replaceExistingContents);
};

} // namespace juce
