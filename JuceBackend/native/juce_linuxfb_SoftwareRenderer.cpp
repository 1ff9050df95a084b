#include "juce_linuxfb_SoftwareRenderer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace juce
{

void LinuxFbSoftwareRenderer::fillPixels (const Image::BitmapData& pixels, Rectangle<int> area, uint32 nativeARGB) noexcept
{
    jassert (pixels.pixelStride == (int) sizeof (nativeARGB));

    area = area.getIntersection ({ pixels.width, pixels.height });

    if (area.isEmpty())
        return;

    // Stores of a block of pixels at a time, which the compiler makes single
    // vector stores of where the processor has them; rows of screens are too
    // short for the C library's block copy to pay for its call.
    constexpr int blockPixels = 8;
    uint32 block[blockPixels];
    std::fill_n (block, blockPixels, nativeARGB);
    const auto width = area.getWidth();

    for (int y = area.getY(); y < area.getBottom(); ++y)
    {
        auto* row = pixels.getPixelPointer (area.getX(), y);
        int x = 0;

        for (; x + blockPixels <= width; x += blockPixels)
            std::memcpy (row + (size_t) x * sizeof (nativeARGB), block, sizeof (block));

        for (; x < width; ++x)
            std::memcpy (row + (size_t) x * sizeof (nativeARGB), &nativeARGB, sizeof (nativeARGB));
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

    /** floor (value) of a value well within the int range, without the
        library call that processors without a rounding instruction need. */
    int floorToInt (float value) noexcept
    {
        const auto truncated = (int) value;
        return (float) truncated > value ? truncated - 1 : truncated;
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

bool LinuxFbSoftwareRenderer::isOnWholeImage() const noexcept
{
    const auto& state = *stack;
    const auto* region = dynamic_cast<const RectangleListRegion*> (state.clip.get());

    return region != nullptr && state.transform.isIdentity() && region->clip.getNumRectangles() == 1
           && region->clip.getRectangle (0) == state.image.getBounds();
}

bool LinuxFbSoftwareRenderer::resetOriginAndClip (Point<int> origin, Rectangle<int> clip) noexcept
{
    auto& state = *stack;
    auto* region = dynamic_cast<RectangleListRegion*> (state.clip.get());

    // A renderer made with an origin or clip of its own would lose them.
    if (! beganOnWholeImage || region == nullptr || region->getReferenceCount() != 1)
        return false;

    // What clipToRectangle makes of the whole image's clip, empty included.
    state.transform = RenderingHelpers::TranslationOrTransform (origin);
    region->clip.clear();
    region->clip.add (state.transform.translated (clip).getIntersection (state.image.getBounds()));

    if (region->clip.isEmpty())
        state.clip = nullptr;

    return true;
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

namespace
{
    /** What JUCE's solid-colour fill of an edge table does to each pixel of
        the table's bounds, recorded once so that a draw need not iterate the
        table again.  A pixel holds the opacity JUCE blends the colour with,
        less one: 0 leaves the pixel (untouched, or blended at 1/256, which
        changes nothing), 255 blends the colour whole (sets it, when opaque).

        JUCE blends a single pixel at level a with blend (colour, a), but a run
        at level a with blend (colour.multiplyAlpha (a)), which is
        blend (colour, a + 1): the two are stored apart that way. */
    class CoverageRecorder
    {
    public:
        CoverageRecorder (Rectangle<int> boundsToRecord, std::vector<uint8>& levelsToFill)
            : bounds (boundsToRecord), levels (levelsToFill)
        {
            levels.assign ((size_t) bounds.getWidth() * (size_t) bounds.getHeight(), 0);
        }

        void setEdgeTableYPos (int y) noexcept
        {
            row = y - bounds.getY();

            if (! isPositiveAndBelow (row, bounds.getHeight()))
                valid = false;
        }

        void handleEdgeTablePixel (int x, int level) noexcept { record (x, 1, level - 1); }
        void handleEdgeTablePixelFull (int x) noexcept { record (x, 1, 255); }
        void handleEdgeTableLine (int x, int width, int level) noexcept { record (x, width, level); }

        /** False when the table's fill reached outside its bounds or a pixel
            twice, which one level per pixel cannot repeat. */
        bool isValid() const noexcept { return valid; }

    private:
        Rectangle<int> bounds;
        std::vector<uint8>& levels;
        int row = -1;
        bool valid = true;

        void record (int x, int width, int level) noexcept
        {
            x -= bounds.getX();

            if (! valid || ! isPositiveAndBelow (row, bounds.getHeight()) || x < 0 || width < 0
                || width > bounds.getWidth() - x || ! isPositiveAndBelow (level, 256))
            {
                valid = false;
                return;
            }

            auto* pixel = levels.data() + (size_t) row * (size_t) bounds.getWidth() + (size_t) x;

            for (int i = 0; i < width; ++i)
            {
                // A pixel blended at 1/256 keeps its 0, so only a non-zero
                // level shows that a pixel came twice; JUCE never does that.
                if (pixel[i] != 0)
                    valid = false;

                pixel[i] = (uint8) level;
            }
        }
    };

    /** Glyph coverages as JUCE fills them: made for a font's typeface, height
        and horizontal scale, moved by a fraction of a pixel and brightened for
        the colour.  A draw only blends the colour by them onto the pixels
        where a move by whole pixels puts them.  Shared by every renderer, as
        JUCE's own glyph cache is. */
    class GlyphShapes
    {
    public:
        struct Key
        {
            const Typeface* typeface;
            float height, horizontalScale;
            int glyph;
            int subPixel; // the move's 1/256 pixels beyond whole pixels, 0..255
            int boundsShift; // 0, or -1 where JUCE moves the bounds a pixel further left
            int levelFactor; // JUCE's brightening in 1/256, 0 for none

            bool operator== (const Key& other) const noexcept
            {
                return typeface == other.typeface && height == other.height
                       && horizontalScale == other.horizontalScale && glyph == other.glyph
                       && subPixel == other.subPixel && boundsShift == other.boundsShift
                       && levelFactor == other.levelFactor;
            }
        };

        struct Hash
        {
            size_t operator() (const Key& key) const noexcept
            {
                auto h = std::hash<const void*>() (key.typeface);
                for (auto v : { (int) (key.height * 64.0f), (int) (key.horizontalScale * 256.0f), key.glyph, key.subPixel, key.boundsShift, key.levelFactor })
                    h = h * 1000003u ^ (size_t) (unsigned) v;
                return h;
            }
        };

        struct Shape
        {
            enum class Kind
            {
                empty, // a glyph without a shape: nothing to draw
                coverage, // levels over bounds
                juceOnly // a table whose fill the levels cannot repeat
            };

            Typeface::Ptr typeface; // keeps the address in the key from being reused
            Kind kind = Kind::empty;
            Rectangle<int> bounds; // where JUCE's table lies before the move by whole pixels
            std::vector<uint8> levels; // a row of bounds.getWidth() per line, as CoverageRecorder keeps them
        };

        static GlyphShapes& getInstance()
        {
            // Never destroyed: a renderer may draw while statics are torn down.
            static auto* instance = new GlyphShapes();
            return *instance;
        }

        std::mutex lock;

        /** The shape for the key, made with the font, the move and the
            brightening when missing. */
        const Shape& get (const Key& key, const Font& font, float move, float brightening)
        {
            auto found = shapes.find (key);

            if (found != shapes.end())
                return found->second;

            auto shape = makeShape (key, font, move, brightening);
            const auto bytes = shape.levels.size();

            // Bounded: a new start when full, as text rarely uses this much.
            if (shapes.size() >= maxShapes || levelBytes + bytes > maxLevelBytes)
            {
                shapes.clear();
                levelBytes = 0;
            }

            levelBytes += bytes;
            return shapes.emplace (key, std::move (shape)).first->second;
        }

    private:
        static constexpr size_t maxShapes = 2048;
        static constexpr size_t maxLevelBytes = (size_t) 8 << 20;
        std::unordered_map<Key, Shape, Hash> shapes;
        size_t levelBytes = 0;

        static Shape makeShape (const Key& key, const Font& font, float move, float brightening)
        {
            Shape shape;
            shape.typeface = font.getTypefacePtr();
            const auto height = font.getHeight();
            std::unique_ptr<EdgeTable> table (shape.typeface->getEdgeTableForGlyph (key.glyph,
                                                                                    AffineTransform::scale (height * font.getHorizontalScale(), height),
                                                                                    height));
            if (table == nullptr)
                return shape;

            // JUCE's own steps: the move, then the brightening.
            table->translate (move, 0);

            if (key.levelFactor != 0)
                table->multiplyLevels (brightening);

            shape.bounds = table->getMaximumBounds();

            // JUCE draws the table where the clip lies, at x >= 0, where its
            // division of edge positions into pixels rounds down; so record
            // it there, one pixel clear of 0, and count pixels from its bounds.
            const auto recordingMove = 1 - shape.bounds.getX();
            shape.kind = Shape::Kind::juceOnly;

            if (std::abs (recordingMove) < 32768)
            {
                table->translate ((float) recordingMove, 0);
                CoverageRecorder recorder (table->getMaximumBounds(), shape.levels);
                table->iterate (recorder);

                if (recorder.isValid())
                    shape.kind = Shape::Kind::coverage;
            }

            if (shape.kind != Shape::Kind::coverage)
                shape.levels = {};

            return shape;
        }
    };

    /** Blends a colour onto a row of pixels by levels stored as in
        CoverageRecorder: each pixel as PixelARGB::blend (colour, level + 1).
        Level 0 leaves a pixel as it is and level 255 of an opaque colour sets
        it, so no level needs a case of its own. */
    void blendLevels (PixelARGB* dest, const uint8* levels, int count, PixelARGB colour) noexcept
    {
        int x = 0;

#if defined(__SSE2__)
        // JUCE's packed arithmetic keeps each component in 16 bits of its
        // own: a level times a component never exceeds 256 * 255, so each
        // component blends alone to the same bits,
        //   min (255, (e * c >> 8) + (d * (256 - (e * alpha >> 8)) >> 8)),
        // here for four pixels at a time.
        const auto zero = _mm_setzero_si128();
        const auto one = _mm_set1_epi16 (1);
        const auto full = _mm_set1_epi16 (256);
        const auto colourWords = _mm_unpacklo_epi8 (_mm_set1_epi32 ((int) colour.getNativeARGB()), zero);
        const auto alphaWords = _mm_set1_epi16 ((short) colour.getAlpha());

        // Of an opaque colour, e * 255 >> 8 is e - 1 for every e of 1 to 256.
        const auto opaque = colour.getAlpha() == 0xff;
        const auto fullPlusOne = _mm_set1_epi16 (257);

        // Two pixels' components as words, blended by their levels plus one.
        const auto blendTwo = [&] (__m128i e, __m128i pixel)
        {
            const auto inverse = opaque ? _mm_sub_epi16 (fullPlusOne, e)
                                        : _mm_sub_epi16 (full, _mm_srli_epi16 (_mm_mullo_epi16 (e, alphaWords), 8));
            return _mm_add_epi16 (_mm_srli_epi16 (_mm_mullo_epi16 (e, colourWords), 8),
                                  _mm_srli_epi16 (_mm_mullo_epi16 (pixel, inverse), 8));
        };

        // Four pixels (16 bytes) blended by four levels.
        const auto blendFour = [&] (uint8* bytes, int four)
        {
            // Each pixel's level in each of its four bytes.
            auto spread = _mm_cvtsi32_si128 (four);
            spread = _mm_unpacklo_epi8 (spread, spread);
            spread = _mm_unpacklo_epi16 (spread, spread);

            auto* quad = reinterpret_cast<__m128i*> (bytes);
            const auto pixels = _mm_loadu_si128 (quad);
            const auto low = blendTwo (_mm_add_epi16 (_mm_unpacklo_epi8 (spread, zero), one), _mm_unpacklo_epi8 (pixels, zero));
            const auto high = blendTwo (_mm_add_epi16 (_mm_unpackhi_epi8 (spread, zero), one), _mm_unpackhi_epi8 (pixels, zero));
            // Saturating to bytes is JUCE's clamp: 256 and beyond become 255.
            _mm_storeu_si128 (quad, _mm_packus_epi16 (low, high));
        };

        for (; x + 4 <= count; x += 4)
        {
            int four;
            std::memcpy (&four, levels + x, sizeof (four));

            if (four != 0)
                blendFour (reinterpret_cast<uint8*> (dest + x), four);
        }

        // The last one to three pixels through a copy, with level 0 beyond them.
        if (x < count)
        {
            const auto rest = (size_t) (count - x);
            int four = 0;
            std::memcpy (&four, levels + x, rest);

            if (four != 0)
            {
                uint8 bytes[16];
                std::memcpy (bytes, dest + x, rest * sizeof (PixelARGB));
                blendFour (bytes, four);
                std::memcpy (dest + x, bytes, rest * sizeof (PixelARGB));
            }

            return;
        }
#endif

        for (; x < count; ++x)
            if (levels[x] != 0)
                dest[x].blend (colour, (uint32) levels[x] + 1);
    }

    /** Blends a colour onto each pixel of the area by levels of a coverage
        (a row of the area's width per line), as JUCE's solid-colour fill of
        its table does. */
    void blendCoverage (const Image::BitmapData& pixels, Rectangle<int> area, const uint8* levels, PixelARGB colour) noexcept
    {
        const auto width = area.getWidth();

        for (int row = 0; row < area.getHeight(); ++row, levels += width)
            blendLevels (reinterpret_cast<PixelARGB*> (pixels.getPixelPointer (area.getX(), area.getY() + row)), levels, width, colour);
    }

    /** Where JUCE puts a glyph drawn with a transform, and the key of its
        shape there. */
    struct GlyphPlace
    {
        GlyphShapes::Key key;
        float move; // the move within a pixel that gives the shape
        Point<int> whole; // the move by whole pixels
    };

    std::optional<GlyphPlace> placeGlyph (const Typeface& typeface, const Font& font, int levelFactor, Point<int> offset, int glyphNumber, const AffineTransform& trans) noexcept
    {
        if (! trans.isOnlyTranslation())
            return {};

        auto x = trans.getTranslationX() + (float) offset.x;
        const auto y = roundToInt (trans.getTranslationY() + (float) offset.y);

        if (! (std::abs (x) < 65536.0f))
            return {};

        if (typeface.isHinted())
            x = (float) floorToInt (x + 0.5f);

        // JUCE moves the edges by (int) (x * 256) and the bounds by floor (x):
        // split into whole pixels and a rest of 0..255, and the bounds' share.
        const auto edgeMove = (int) (x * 256.0f);
        const auto wholeMove = edgeMove >> 8; // rounds down, as floor (edgeMove / 256)
        const auto subPixel = edgeMove & 255;
        const auto boundsShift = floorToInt (x) - wholeMove;
        // A move that JUCE would turn into this split of edges and bounds.
        const auto move = boundsShift == 0 ? (float) subPixel / 256.0f : -1.0f / 512.0f;

        return GlyphPlace { { &typeface, font.getHeight(), font.getHorizontalScale(), glyphNumber, subPixel, boundsShift, levelFactor },
                            move,
                            { wholeMove, y } };
    }

    /** Copies a shape's levels into a merged coverage at the place; false
        where both have ink on one pixel. */
    bool mergeLevels (std::vector<uint8>& merged, Rectangle<int> mergedBounds, const GlyphShapes::Shape& shape, Point<int> at) noexcept
    {
        const auto placed = shape.bounds + at;
        const auto width = placed.getWidth();
        const auto* from = shape.levels.data();

        for (int row = 0; row < placed.getHeight(); ++row, from += width)
        {
            auto* to = merged.data() + (size_t) (placed.getY() + row - mergedBounds.getY()) * (size_t) mergedBounds.getWidth()
                       + (size_t) (placed.getX() - mergedBounds.getX());

            for (int x = 0; x < width; ++x)
            {
                if (from[x] == 0)
                    continue;

                if (to[x] != 0)
                    return false;

                to[x] = from[x];
            }
        }

        return true;
    }
}

/** What every glyph drawn in one font and colour shares: the clip, the
    typeface, JUCE's brightening for the colour and the target's pixels. */
struct LinuxFbSoftwareRenderer::GlyphRun
{
    Rectangle<int> clip;
    Typeface::Ptr typeface;
    float brightening = 1.0f;
    int levelFactor = 0;
    std::optional<Image::BitmapData> pixels;
};

bool LinuxFbSoftwareRenderer::beginGlyphRun (GlyphRun& run)
{
    auto& state = *stack;
    auto* region = dynamic_cast<RectangleListRegion*> (state.clip.get());

    if (region == nullptr || region->clip.getNumRectangles() != 1 || ! state.transform.isOnlyTranslated
        || ! state.fillType.isColour() || state.image.getFormat() != Image::ARGB)
        return false;

    run.typeface = state.font.getTypefacePtr();

    if (run.typeface == nullptr)
        return false;

    run.clip = region->clip.getRectangle (0);
    const auto brightness = state.fillType.colour.getBrightness() - 0.5f;
    run.brightening = 1.0f + 1.6f * brightness;
    run.levelFactor = brightness > 0.0f ? (int) (run.brightening * 256.0f) : 0;
    run.pixels.emplace (state.image, Image::BitmapData::readWrite);
    return run.pixels->pixelStride == (int) sizeof (PixelARGB);
}

bool LinuxFbSoftwareRenderer::drawGlyphInRun (const GlyphRun& run, int glyphNumber, const AffineTransform& trans)
{
    auto& state = *stack;
    const auto place = placeGlyph (*run.typeface, state.font, run.levelFactor, state.transform.offset, glyphNumber, trans);

    if (! place.has_value())
        return false;

    const auto& shape = GlyphShapes::getInstance().get (place->key, state.font, place->move, run.brightening);

    if (shape.kind == GlyphShapes::Shape::Kind::empty)
        return true;

    const auto placed = shape.bounds + place->whole;
    const auto& pixels = *run.pixels;

    // Clipped by JUCE, a shape that straddles the clip loses edges.
    if (shape.kind != GlyphShapes::Shape::Kind::coverage || ! run.clip.contains (placed)
        || ! Rectangle<int> (pixels.width, pixels.height).contains (placed))
        return false;

    blendCoverage (pixels, placed, shape.levels.data(), state.fillType.colour.getPixelARGB());
    return true;
}

bool LinuxFbSoftwareRenderer::drawLineInRun (const GlyphRun& run, const PlacedGlyph* glyphs, int count, float dx, float dy, LineCoverage& line)
{
    auto& state = *stack;
    const auto& font = state.font;
    const auto move = AffineTransform::translation (dx, dy);
    const auto placeAt = [&] (int i)
    {
        const auto trans = AffineTransform::translation (glyphs[i].x, glyphs[i].y).followedBy (move);
        return placeGlyph (*run.typeface, font, run.levelFactor, state.transform.offset, glyphs[i].glyph, trans);
    };

    // Where the glyphs land, compared with where the kept coverage has them;
    // listed anew only when they land elsewhere.
    const auto placementsOf = [] (const PlacedGlyph& glyph, const GlyphPlace& place, Point<int> first)
    {
        const auto fromFirst = place.whole - first;
        return std::array<int, 5> { glyph.glyph, fromFirst.x, fromFirst.y, place.key.subPixel, place.key.boundsShift };
    };

    const auto firstPlace = placeAt (0);

    if (! firstPlace.has_value())
        return false;

    const auto first = firstPlace->whole;
    auto same = line.typeface == run.typeface && line.height == font.getHeight() && line.horizontalScale == font.getHorizontalScale()
                && line.levelFactor == run.levelFactor && line.placements.size() == (size_t) count * 5;

    for (int i = 0; i < count; ++i)
    {
        const auto place = i == 0 ? firstPlace : placeAt (i);

        if (! place.has_value())
            return false;

        if (same)
        {
            const auto placement = placementsOf (glyphs[i], *place, first);
            same = std::equal (placement.begin(), placement.end(), line.placements.begin() + i * 5);
        }
    }

    if (! same)
    {
        std::vector<GlyphPlace> places;
        std::vector<int> placements;
        places.reserve ((size_t) count);
        placements.reserve ((size_t) count * 5);

        for (int i = 0; i < count; ++i)
        {
            places.push_back (*placeAt (i));
            const auto placement = placementsOf (glyphs[i], places.back(), first);
            placements.insert (placements.end(), placement.begin(), placement.end());
        }

        line.typeface = run.typeface;
        line.height = font.getHeight();
        line.horizontalScale = font.getHorizontalScale();
        line.levelFactor = run.levelFactor;
        line.placements = std::move (placements);
        line.merged = false;
        line.levels.clear();
        line.bounds = {};

        // The shapes looked up twice: one may be dropped by the next lookup.
        auto& shapes = GlyphShapes::getInstance();

        for (const auto& place : places)
        {
            const auto& shape = shapes.get (place.key, font, place.move, run.brightening);

            if (shape.kind == GlyphShapes::Shape::Kind::juceOnly)
                return false;

            if (shape.kind == GlyphShapes::Shape::Kind::coverage)
            {
                const auto placed = shape.bounds + (place.whole - first);
                line.bounds = line.bounds.isEmpty() ? placed : line.bounds.getUnion (placed);
            }
        }

        // A line larger than a screen's row of text is drawn glyph by glyph,
        // so that a kept line stays small.
        if ((int64) line.bounds.getWidth() * line.bounds.getHeight() > (1 << 18))
            return false;

        line.levels.assign ((size_t) line.bounds.getWidth() * (size_t) line.bounds.getHeight(), 0);

        for (const auto& place : places)
        {
            const auto& shape = shapes.get (place.key, font, place.move, run.brightening);

            if (shape.kind == GlyphShapes::Shape::Kind::coverage
                && ! mergeLevels (line.levels, line.bounds, shape, place.whole - first))
            {
                line.levels.clear();
                return false;
            }
        }

        line.merged = true;
    }

    if (! line.merged)
        return false;

    const auto placed = line.bounds + first;
    const auto& pixels = *run.pixels;

    // Clipped by JUCE, shapes that straddle the clip lose edges.
    if (! run.clip.contains (placed) || ! Rectangle<int> (pixels.width, pixels.height).contains (placed))
        return false;

    blendCoverage (pixels, placed, line.levels.data(), state.fillType.colour.getPixelARGB());
    return true;
}

void LinuxFbSoftwareRenderer::drawGlyph (int glyphNumber, const AffineTransform& trans)
{
    GlyphRun run;

    if (beginGlyphRun (run))
    {
        const std::scoped_lock guard (GlyphShapes::getInstance().lock);

        if (drawGlyphInRun (run, glyphNumber, trans))
            return;
    }

    LowLevelGraphicsSoftwareRenderer::drawGlyph (glyphNumber, trans);
}

bool LinuxFbSoftwareRenderer::getPlacedGlyphs (const Font& font, const String& text, GlyphArrangement& arrangement, std::vector<PlacedGlyph>& glyphs)
{
    glyphs.clear();
    // The arrangement's glyphs in order, their numbers as the font finds them.
    Array<int> numbers;
    Array<float> offsets;
    font.getGlyphPositions (text, numbers, offsets);

    if (numbers.size() != arrangement.getNumGlyphs() || font.isUnderlined())
        return false;

    for (int i = 0; i < numbers.size(); ++i)
    {
        const auto& glyph = arrangement.getGlyph (i);

        if (! glyph.isWhitespace())
            glyphs.push_back ({ numbers[i], glyph.getLeft(), glyph.getBaselineY() });
    }

    return true;
}

void LinuxFbSoftwareRenderer::drawGlyphs (const PlacedGlyph* glyphs, int count, float dx, float dy, LineCoverage* line)
{
    jassert (count >= 0);

    if (count <= 0)
        return;

    GlyphRun run;
    const auto inRun = beginGlyphRun (run);
    std::unique_lock<std::mutex> guard (GlyphShapes::getInstance().lock, std::defer_lock);

    if (inRun)
    {
        guard.lock();

        if (line != nullptr && drawLineInRun (run, glyphs, count, dx, dy, *line))
            return;
    }

    const auto move = AffineTransform::translation (dx, dy);

    for (int i = 0; i < count; ++i)
    {
        // The glyph's transform as GlyphArrangement::draw makes it.
        const auto trans = AffineTransform::translation (glyphs[i].x, glyphs[i].y).followedBy (move);

        if (! inRun || ! drawGlyphInRun (run, glyphs[i].glyph, trans))
            LowLevelGraphicsSoftwareRenderer::drawGlyph (glyphs[i].glyph, trans);
    }
}

} // namespace juce
