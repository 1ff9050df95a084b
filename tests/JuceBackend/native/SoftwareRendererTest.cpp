// The screens' renderer against JUCE's own: every drawing comes out the same
// to the bit, whether its fast fills and image copies or JUCE's code draw it.

#include "JuceBackend/native/juce_linuxfb_SoftwareRenderer.h"
#include "tests/support/CaptureStderr.h"

#include <juce_graphics/juce_graphics.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace
{
// Wider than the renderer's run of pixels, so that rows take several copies.
constexpr int imageWidth = 1100;
constexpr int imageHeight = 48;

// Premultiplied pixels of every sort, so that a blend differs from a set.
juce::Image Background()
{
    juce::Image image(juce::Image::ARGB, imageWidth, imageHeight, false, juce::SoftwareImageType());
    juce::Random random(1234);
    const juce::Image::BitmapData pixels(image, juce::Image::BitmapData::writeOnly);

    for (int y = 0; y < imageHeight; ++y)
        for (int x = 0; x < imageWidth; ++x)
            reinterpret_cast<juce::PixelARGB*>(pixels.getPixelPointer(x, y))
                ->set(juce::Colour((juce::uint32)random.nextInt()).getPixelARGB());

    return image;
}

// Where the screens draw a window: at its origin, through the list of what is dirty.
// Pictures to draw: opaque throughout, or with runs of opaque pixels (longer
// and shorter than the renderer looks at together) between translucent,
// transparent and empty ones, so that a blend differs from a copy.
juce::Image Picture(bool opaque)
{
    constexpr int width = 700;
    constexpr int height = 30;
    juce::Image image(juce::Image::ARGB, width, height, false, juce::SoftwareImageType());
    juce::Random random(opaque ? 99 : 98);
    const juce::Image::BitmapData pixels(image, juce::Image::BitmapData::writeOnly);

    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
        {
            auto colour = juce::Colour((juce::uint32)random.nextInt());
            const bool solid = opaque || (x + 7 * y) % 61 < 40;
            if (solid)
                colour = colour.withAlpha((juce::uint8)0xff);
            else if (x % 5 == 0)
                colour = juce::Colours::transparentBlack;
            reinterpret_cast<juce::PixelARGB*>(pixels.getPixelPointer(x, y))->set(colour.getPixelARGB());
        }

    return image;
}

const juce::Image& OpaquePicture()
{
    static const auto image = Picture(true);
    return image;
}

const juce::Image& TranslucentPicture()
{
    static const auto image = Picture(false);
    return image;
}

struct Clip
{
    const char* name;
    juce::Point<int> origin;
    juce::RectangleList<int> rectangles;
};

const Clip clips[] = {
    {"whole image", {0, 0}, juce::RectangleList<int>({0, 0, imageWidth, imageHeight})},
    {"window at an origin through dirty rectangles",
     {37, 5},
     [] {
         juce::RectangleList<int> list({0, 0, 1050, 10});
         list.add({20, 10, 300, 20});
         list.add({700, 25, 400, 23});
         return list;
     }()},
};

// Rows of text in fonts that differ in one thing each, in colours JUCE
// brightens by different amounts or not at all, at fractions of a pixel: the
// shapes kept for glyphs must never be taken for one another's.
void DrawTextRows(juce::Graphics& g)
{
    const juce::Font plain("DejaVu Sans", 13.0f, juce::Font::plain);
    const juce::Font fonts[] = {plain, plain.withHeight(13.5f), plain.boldened(), plain.withHorizontalScale(0.8f),
                                juce::Font("DejaVu Serif", 13.0f, juce::Font::plain)};
    const juce::Colour colours[] = {juce::Colours::white, juce::Colour(0xffc0c0c0), juce::Colour(0xff203040),
                                    juce::Colour(0x80f0f0f0)};
    float x = 2.0f;
    for (const auto& font : fonts)
        for (const auto& colour : colours)
            for (const float fraction : {0.0f, 0.25f, 0.62f})
            {
                juce::GlyphArrangement glyphs;
                glyphs.addLineOfText(font, "Agy 0123 MIDI", x + fraction, 11.0f + x / 40.0f);
                g.setColour(colour);
                glyphs.draw(g);
                x += 17.0f;
            }

    // Large enough for long runs of whole pixels and rows of partly covered ones.
    const juce::Font large("DejaVu Sans", 26.0f, juce::Font::bold);
    float largeX = 2.0f;
    for (const auto& colour : colours)
        for (const float fraction : {0.0f, 0.4f})
        {
            juce::GlyphArrangement glyphs;
            glyphs.addLineOfText(large, "Wm@", largeX + fraction, 40.0f);
            g.setColour(colour);
            glyphs.draw(g);
            largeX += 130.0f;
        }
}

// One line drawn again and again with what the renderer keeps of it, moved
// by whole pixels and by parts of one, in colours JUCE brightens differently;
// JUCE's own renderer draws the line's glyphs each time.
void DrawKeptLine(juce::Graphics& g)
{
    const juce::Font font("DejaVu Sans", 15.0f, juce::Font::plain);
    const juce::String text("Wave MIDI loop");
    juce::GlyphArrangement arrangement;
    arrangement.addLineOfText(font, text, 0.0f, 0.0f);
    std::vector<juce::LinuxFbSoftwareRenderer::PlacedGlyph> glyphs;
    ASSERT_TRUE(juce::LinuxFbSoftwareRenderer::getPlacedGlyphs(font, text, arrangement, glyphs));
    juce::LinuxFbSoftwareRenderer::LineCoverage line;
    auto* kept = dynamic_cast<juce::LinuxFbSoftwareRenderer*>(&g.getInternalContext());
    g.setFont(font);
    const struct
    {
        float dx, dy;
        juce::uint32 colour;
    } draws[] = {{3.0f, 14.0f, 0xffffffff},    {150.0f, 14.0f, 0xffffffff}, {300.25f, 14.0f, 0xffffffff},
                 {450.62f, 20.5f, 0xffffffff}, {600.0f, 30.0f, 0xff203040}, {750.0f, 30.0f, 0x80f0f0f0},
                 {900.0f, 44.0f, 0xffffffff},  {1000.0f, 40.0f, 0xffffffff}};
    for (const auto& draw : draws)
    {
        g.setColour(juce::Colour(draw.colour));
        if (kept != nullptr)
            kept->drawGlyphs(glyphs.data(), static_cast<int>(glyphs.size()), draw.dx, draw.dy, &line);
        else
            arrangement.draw(g, juce::AffineTransform::translation(draw.dx, draw.dy));
    }
}

struct Case
{
    const char* name;
    std::function<void(juce::Graphics&)> draw;
};

const auto orange = juce::Colour(0xfff2a33a);
const auto translucentRed = juce::Colour(0x80ff0000);

const Case cases[] = {
    {"opaque fills",
     [](juce::Graphics& g) {
         g.fillAll(juce::Colour(0xff1f4e79));
         g.setColour(orange);
         g.fillRect(juce::Rectangle<int>(5, 7, 30, 20));
         // Beyond the image and the clip.
         g.fillRect(juce::Rectangle<int>(-20, 40, 1200, 30));
     }},
    {"a translucent fill blends",
     [](juce::Graphics& g) {
         g.setColour(translucentRed);
         g.fillRect(juce::Rectangle<int>(10, 3, 1080, 40));
     }},
    {"opacity blends an opaque colour",
     [](juce::Graphics& g) {
         g.setColour(orange);
         g.setOpacity(0.25f);
         g.fillRect(juce::Rectangle<int>(0, 0, 500, 48));
     }},
    {"a replacing fill sets even a translucent colour",
     [](juce::Graphics& g) {
         auto& context = g.getInternalContext();
         context.setFill(translucentRed);
         context.fillRect({4, 4, 900, 30}, true);
         context.setFill(juce::Colours::transparentBlack);
         context.fillRect({50, 0, 20, 48}, true);
     }},
    {"a transparent colour leaves everything",
     [](juce::Graphics& g) {
         g.setColour(juce::Colours::transparentBlack);
         g.fillRect(juce::Rectangle<int>(0, 0, 1000, 48));
     }},
    {"scaled",
     [](juce::Graphics& g) {
         g.addTransform(juce::AffineTransform::scale(1.5f, 0.75f));
         g.setColour(orange);
         g.fillRect(juce::Rectangle<int>(3, 5, 301, 33));
     }},
    {"rotated",
     [](juce::Graphics& g) {
         g.addTransform(juce::AffineTransform::rotation(0.3f, 200.0f, 20.0f));
         g.setColour(orange);
         g.fillRect(juce::Rectangle<int>(150, 10, 200, 20));
     }},
    {"clipped to a path",
     [](juce::Graphics& g) {
         juce::Path ellipse;
         ellipse.addEllipse(100.0f, 2.0f, 700.0f, 40.0f);
         g.reduceClipRegion(ellipse);
         g.fillAll(orange);
     }},
    {"with rectangles taken out of the clip",
     [](juce::Graphics& g) {
         g.excludeClipRegion({30, 10, 100, 10});
         g.excludeClipRegion({600, 0, 30, 48});
         g.fillAll(orange);
     }},
    {"in a transparency layer",
     [](juce::Graphics& g) {
         g.beginTransparencyLayer(0.5f);
         g.fillAll(orange);
         g.setColour(juce::Colours::white);
         g.fillRect(juce::Rectangle<int>(40, 10, 60, 20));
         g.endTransparencyLayer();
     }},
    {"a gradient",
     [](juce::Graphics& g) {
         g.setGradientFill(juce::ColourGradient(orange, 0.0f, 0.0f, translucentRed, 1000.0f, 40.0f, false));
         g.fillRect(juce::Rectangle<int>(0, 0, 1000, 40));
     }},
    {"moved by an origin and fractional translations",
     [](juce::Graphics& g) {
         g.setOrigin(3, -4);
         g.setColour(orange);
         g.fillRect(juce::Rectangle<int>(0, 0, 64, 64));
         g.addTransform(juce::AffineTransform::translation(0.5f, 0.25f));
         g.setColour(juce::Colours::white);
         g.fillRect(juce::Rectangle<int>(100, 10, 64, 20));
     }},
    {"frames on whole pixels, partly off the image",
     [](juce::Graphics& g) {
         g.setColour(orange);
         g.drawRect(juce::Rectangle<int>(10, 5, 300, 30), 1);
         g.drawRect(juce::Rectangle<int>(-10, 20, 1200, 40), 3);
         g.setOrigin(2, 3);
         g.drawRect(juce::Rectangle<int>(400, 2, 4, 4), 2);
     }},
    {"frames that blend: translucent, off whole pixels, at an opacity",
     [](juce::Graphics& g) {
         g.setColour(translucentRed);
         g.drawRect(juce::Rectangle<int>(10, 5, 300, 30), 2);
         g.setColour(orange);
         g.drawRect(juce::Rectangle<float>(400.5f, 4.0f, 100.0f, 20.25f), 1.0f);
         g.setOpacity(0.5f);
         g.drawRect(juce::Rectangle<int>(600, 10, 50, 20), 1);
     }},
    {"overlapping and empty rectangles filled as one list",
     [](juce::Graphics& g) {
         juce::RectangleList<float> list;
         list.addWithoutMerging({5.0f, 5.0f, 200.0f, 20.0f});
         list.addWithoutMerging({100.0f, 10.0f, 200.0f, 30.0f});
         list.addWithoutMerging({700.0f, 0.0f, 0.0f, 48.0f});
         list.addWithoutMerging({1000.0f, -5.0f, 200.0f, 100.0f});
         g.setColour(orange);
         g.fillRectList(list);
     }},
    {"an opaque picture, whole and partly off the image",
     [](juce::Graphics& g) {
         g.drawImageAt(OpaquePicture(), 20, 3);
         g.drawImageAt(OpaquePicture(), -650, 30);
         g.drawImageAt(OpaquePicture(), 800, -20);
     }},
    {"a picture with translucent pixels blends them",
     [](juce::Graphics& g) {
         g.drawImageAt(TranslucentPicture(), 5, 2);
         g.drawImageAt(TranslucentPicture(), 650, 25);
     }},
    {"part of a picture, moved by an origin",
     [](juce::Graphics& g) {
         g.setOrigin(-9, 4);
         g.drawImage(TranslucentPicture(), 300, 5, 400, 20, 250, 3, 400, 20);
         g.drawImage(OpaquePicture(), 30, -2, 200, 30, 17, 0, 200, 30);
     }},
    {"a picture at less than full opacity",
     [](juce::Graphics& g) {
         g.setOpacity(0.6f);
         g.drawImageAt(OpaquePicture(), 100, 10);
     }},
    {"a picture moved by part of a pixel, or scaled",
     [](juce::Graphics& g) {
         g.setImageResamplingQuality(juce::Graphics::highResamplingQuality);
         g.drawImageTransformed(OpaquePicture(), juce::AffineTransform::translation(10.5f, 3.25f));
         g.drawImageTransformed(TranslucentPicture(), juce::AffineTransform::scale(1.25f).translated(300.0f, 5.0f));
     }},
    {"a picture through a clip with holes",
     [](juce::Graphics& g) {
         g.excludeClipRegion({30, 10, 100, 10});
         g.excludeClipRegion({400, 0, 30, 48});
         g.drawImageAt(OpaquePicture(), 0, 0);
         g.drawImageAt(TranslucentPicture(), 380, 15);
     }},
    {"a picture clipped to a path or in a transparency layer",
     [](juce::Graphics& g) {
         {
             const juce::Graphics::ScopedSaveState save(g);
             juce::Path ellipse;
             ellipse.addEllipse(50.0f, 2.0f, 500.0f, 40.0f);
             g.reduceClipRegion(ellipse);
             g.drawImageAt(OpaquePicture(), 10, 5);
         }
         g.beginTransparencyLayer(0.5f);
         g.drawImageAt(TranslucentPicture(), 500, 10);
         g.endTransparencyLayer();
     }},
    {"text", [](juce::Graphics& g) { DrawTextRows(g); }},
    {"a line kept between its draws", [](juce::Graphics& g) { DrawKeptLine(g); }},
    {"a line kept between its draws, cut by a clip",
     [](juce::Graphics& g) {
         g.reduceClipRegion(170, 8, 600, 20);
         DrawKeptLine(g);
     }},
    {"text cut by a clip, at an opacity, moved by an origin",
     [](juce::Graphics& g) {
         g.reduceClipRegion(35, 12, 700, 20);
         g.setOrigin(-5, 3);
         g.setOpacity(0.7f);
         DrawTextRows(g);
     }},
    {"text moved by part of a pixel, or scaled",
     [](juce::Graphics& g) {
         g.addTransform(juce::AffineTransform::translation(0.5f, 0.25f));
         DrawTextRows(g);
         g.addTransform(juce::AffineTransform::scale(1.2f));
         DrawTextRows(g);
     }},
};

template <typename Renderer>
juce::Image Drawn(const Case& c, const Clip& clip)
{
    auto image = Background();
    Renderer context(image, clip.origin, clip.rectangles);
    juce::Graphics g(context);
    c.draw(g);
    return image;
}

// The first pixel that differs, or none.
testing::AssertionResult SamePixels(const juce::Image& expected, const juce::Image& actual)
{
    const juce::Image::BitmapData a(expected, juce::Image::BitmapData::readOnly);
    const juce::Image::BitmapData b(actual, juce::Image::BitmapData::readOnly);

    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
        {
            const auto want = reinterpret_cast<const juce::PixelARGB*>(a.getPixelPointer(x, y))->getNativeARGB();
            const auto got = reinterpret_cast<const juce::PixelARGB*>(b.getPixelPointer(x, y))->getNativeARGB();

            if (want != got)
                return testing::AssertionFailure() << "at (" << x << ", " << y << ") " << juce::String::toHexString(got)
                                                   << " instead of " << juce::String::toHexString(want);
        }

    return testing::AssertionSuccess();
}

// Without JUCE's GUI initialiser nobody deletes the typeface cache that every
// graphics context fills.
class SoftwareRenderer : public ::testing::Test
{
protected:
    void TearDown() override { juce::DeletedAtShutdown::deleteAll(); }
};
} // namespace

TEST_F(SoftwareRenderer, DrawsEveryPixelAsJucesRendererDoes)
{
    for (const auto& clip : clips)
        for (const auto& c : cases)
            EXPECT_TRUE(SamePixels(Drawn<juce::LowLevelGraphicsSoftwareRenderer>(c, clip),
                                   Drawn<juce::LinuxFbSoftwareRenderer>(c, clip)))
                << c.name << ", " << clip.name;
}

// Part of an opaque image drawn onto itself, where JUCE's loop reads pixels
// it has already written and a block copy would not: JUCE's code, pixel for
// pixel.
template <typename Renderer>
juce::Image DrawnOntoItself(juce::Point<int> move)
{
    auto image = OpaquePicture().createCopy();
    Renderer context(image);
    juce::Graphics g(context);
    g.drawImage(image, 10 + move.x, 5 + move.y, 400, 20, 10, 5, 400, 20);
    return image;
}

TEST_F(SoftwareRenderer, DrawsAnImageOntoItselfAsJucesRendererDoes)
{
    for (const auto move : {juce::Point<int>(3, 0), {-5, 0}, {2, 1}, {0, -2}})
        EXPECT_TRUE(SamePixels(DrawnOntoItself<juce::LowLevelGraphicsSoftwareRenderer>(move),
                               DrawnOntoItself<juce::LinuxFbSoftwareRenderer>(move)))
            << move.toString();
}

TEST_F(SoftwareRenderer, FillsPixelsOnlyWithinTheBitmap)
{
    juce::Image image(juce::Image::ARGB, 8, 4, true, juce::SoftwareImageType());
    const juce::Image::BitmapData pixels(image, juce::Image::BitmapData::readWrite);

    juce::LinuxFbSoftwareRenderer::fillPixels(pixels, {-3, 2, 5, 10}, 0xff102030);

    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(image.getPixelAt(x, y).getARGB(), x < 2 && y >= 2 ? 0xff102030u : 0u) << x << ", " << y;
}

TEST_F(SoftwareRenderer, ANegativeGlyphCountIsReportedAndDrawsNothing)
{
    juce::Image image(juce::Image::ARGB, 8, 4, true, juce::SoftwareImageType());
    juce::LinuxFbSoftwareRenderer context(image);
    juce::Graphics g(context);
    g.setFont(juce::Font("DejaVu Sans", 12.0f, juce::Font::plain));
    g.setColour(juce::Colours::white);
    const juce::LinuxFbSoftwareRenderer::PlacedGlyph glyph{36, 1.0f, 3.0f};
    juce::LinuxFbSoftwareRenderer::LineCoverage line;

    VxTest::CaptureStderr capture;
    context.drawGlyphs(&glyph, -1, 0.0f, 0.0f, &line);
    EXPECT_NE(capture.Finish().find("JUCE Assertion failure in juce_linuxfb_SoftwareRenderer.cpp:"), std::string::npos);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(image.getPixelAt(x, y).getARGB(), 0u) << x << ", " << y;
}

// A working state above the base one, moved and clipped again and again as a
// pass's clip changes: set in place where it can be, with JUCE's restore,
// save, move and clip otherwise, it clips and places fills as JUCE's calls do.
TEST_F(SoftwareRenderer, ResetsOriginAndClipAsJucesSaveAndRestoreDo)
{
    struct Step
    {
        const char* name;
        juce::Point<int> origin;
        juce::Rectangle<int> clip;
    };
    const Step steps[] = {
        {"whole image", {0, 0}, {0, 0, 64, 32}},
        {"moved and clipped", {10, 5}, {2, 2, 20, 10}},
        {"partly off the image", {-8, -4}, {0, 0, 30, 30}},
        {"off the image", {5, 5}, {100, 100, 10, 10}},
        {"after an empty clip", {3, 2}, {1, 1, 8, 8}},
        {"beyond the image", {0, 0}, {-10, -10, 200, 200}},
        {"empty rectangle", {4, 4}, {2, 2, 0, 5}},
        {"again", {20, 1}, {-4, 0, 12, 40}},
    };

    juce::Image expected(juce::Image::ARGB, 64, 32, true, juce::SoftwareImageType());
    juce::Image actual(juce::Image::ARGB, 64, 32, true, juce::SoftwareImageType());
    juce::LowLevelGraphicsSoftwareRenderer jucesContext(expected);
    juce::LinuxFbSoftwareRenderer context(actual);
    juce::Graphics jucesGraphics(jucesContext);
    juce::Graphics graphics(context);
    const auto reset = [](juce::Graphics& g, const Step& step) {
        g.restoreState();
        g.saveState();
        g.setOrigin(step.origin);
        g.reduceClipRegion(step.clip);
    };
    for (auto* g : {&jucesGraphics, &graphics})
    {
        g->saveState();
        g->saveState();
    }

    int inPlace = 0;
    juce::uint32 shade = 0xff200000;
    for (const auto& step : steps)
    {
        reset(jucesGraphics, step);
        if (context.resetOriginAndClip(step.origin, step.clip))
            ++inPlace;
        else
            reset(graphics, step);

        EXPECT_EQ(graphics.getClipBounds(), jucesGraphics.getClipBounds()) << step.name;
        EXPECT_EQ(graphics.isClipEmpty(), jucesGraphics.isClipEmpty()) << step.name;
        shade += 0x00102030;
        for (auto* g : {&jucesGraphics, &graphics})
        {
            g->setColour(juce::Colour(shade));
            g->fillRect(-100, -100, 300, 300);
            g->setColour(juce::Colours::white);
            g->fillRect(0, 0, 3, 2);
        }
        EXPECT_TRUE(SamePixels(expected, actual)) << step.name;
    }
    EXPECT_GE(inPlace, 4);
}

// Made with an origin and a clip of its own, as a window's paint is, the
// renderer leaves the state to JUCE's calls, which keep them.
TEST_F(SoftwareRenderer, LeavesAStateThatBeganOnPartOfTheImageToJuce)
{
    juce::Image image(juce::Image::ARGB, 64, 32, true, juce::SoftwareImageType());
    for (const auto& [origin, area] : {std::pair{juce::Point<int>(4, 2), juce::Rectangle<int>(0, 0, 64, 32)},
                                       std::pair{juce::Point<int>(), juce::Rectangle<int>(8, 8, 20, 10)}})
    {
        juce::LinuxFbSoftwareRenderer context(image, origin, juce::RectangleList<int>(area));
        juce::Graphics graphics(context);
        graphics.saveState();
        graphics.saveState();
        graphics.reduceClipRegion(0, 0, 40, 20);
        const auto bounds = graphics.getClipBounds();

        EXPECT_FALSE(context.resetOriginAndClip({}, {0, 0, 64, 32})) << area.toString();
        EXPECT_EQ(graphics.getClipBounds(), bounds) << area.toString();
    }
}
